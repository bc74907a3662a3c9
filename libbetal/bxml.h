/*
 * bxml: the tree store of libbetal. A tree of named nodes with byte-string
 * values that lives entirely inside one caller-owned buffer (no heap). The
 * buffer's leading bytes are at all times the tree's serialised form, so
 * saving hands out a pointer into the buffer and loading validates bytes
 * in place.
 *
 * Every call returns a signed 32-bit result: negative on failure.
 * Node handles are 32-bit; 0 names the root.
 */
#ifndef LIBBETAL_BXML_H
#define LIBBETAL_BXML_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Held by value by the caller; every field is private to the tree store. */
typedef struct bxml_tree {
    unsigned char *buffer; /* caller's working memory; serialised form at its start */
    uint32_t capacity;     /* size of buffer */
    uint32_t length;       /* bytes of the serialised form in use */
    uint32_t nodeCount;    /* nodes, root excluded */
    uint32_t state;        /* live marker; 0 once released */
} bxml_tree;

#define BXML_E_FAIL ((int32_t)0x80004005)

/* Largest serialised form a tree may reach. */
#define BXML_MAX_SERIALISED 16368u

int32_t bxml_new(bxml_tree *tree, void *buffer, int32_t size, uint32_t flags);
int32_t bxml_load(bxml_tree *tree, void *buffer, int32_t size);
int32_t bxml_save(bxml_tree *tree, const void **data, int32_t *length);
int32_t bxml_free(bxml_tree *tree);

int32_t bxml_add_node(bxml_tree *tree, uint32_t parent, uint32_t flags,
                      uint32_t *handle, const char *name, int32_t nameLength,
                      const void *value, int32_t valueLength);
int32_t bxml_convert_name(bxml_tree *tree, const char *path, uint32_t *handle);
/* Copies at most size bytes of the value; returns the count copied. */
int32_t bxml_read_node(bxml_tree *tree, uint32_t handle, uint32_t flags,
                       uint32_t offset, void *buffer, int32_t size);
int32_t bxml_write_node(bxml_tree *tree, uint32_t handle, uint32_t flags,
                        uint32_t offset, const void *value, int32_t length);

/* 0 when the two NUL-terminated strings are equal ignoring ASCII case. */
int libc_stricmpA(const char *a, const char *b);

#ifdef __cplusplus
}
#endif

#endif
