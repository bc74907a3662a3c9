/*
 * bxml: the tree store. The tree is kept in its serialised form at the
 * start of the caller's buffer at all times; every call edits those bytes
 * in place, so saving is handing out a pointer and loading is validating.
 *
 * Serialised form, all integers little-endian:
 *
 *   Tree header, 32 bytes
 *     0   4  magic "BXML"
 *     4   2  version, 1
 *     6   2  size of the tree header, 32
 *     8   4  total length of the form, header included
 *    12   4  number of node records (the root has none)
 *    16  16  reserved, zero
 *
 *   Node records, back to back in the order the nodes were added:
 *     0   4  record length: 24 + name and value length rounded up to 4
 *     4   4  the node's handle: its 1-based position among the records
 *     8   4  parent handle; 0 is the root, otherwise an earlier record
 *    12   4  name length, 1 to 255
 *    16   4  value length
 *    20   4  reserved, zero
 *    24      name bytes, then value bytes, then zero bytes up to the
 *            record length
 *
 * Because parents always come before their children and handles are
 * positions, a valid form has no cycles and a handle stays the same for
 * the tree's whole life (nodes are never removed).
 */
#include "bxml.h"

#include <stdint.h>
#include <string.h>

#define TREE_MAGIC "BXML"
#define TREE_VERSION 1u
#define TREE_HEADER_SIZE 32u
#define RECORD_HEADER_SIZE 24u
#define NAME_MAX_LENGTH 255u

/* tree->state of a tree that bxml_new or bxml_load has set up */
#define TREE_LIVE 0x4C4D5842u

/* Offsets of the fields inside the tree header and a node record. */
#define HDR_MAGIC 0u
#define HDR_VERSION 4u
#define HDR_HEADER_SIZE 6u
#define HDR_LENGTH 8u
#define HDR_NODE_COUNT 12u
#define HDR_RESERVED 16u

#define REC_LENGTH 0u
#define REC_HANDLE 4u
#define REC_PARENT 8u
#define REC_NAME_LENGTH 12u
#define REC_VALUE_LENGTH 16u
#define REC_RESERVED 20u

struct NodeRecord {
    uint32_t offset;      /* of the record in the buffer */
    uint32_t length;      /* of the whole record */
    uint32_t parent;
    uint32_t nameLength;
    uint32_t valueLength;
};

static uint32_t GetU16(const unsigned char *p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8);
}

static uint32_t GetU32(const unsigned char *p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) |
           ((uint32_t)p[3] << 24);
}

static void PutU16(unsigned char *p, uint32_t v)
{
    p[0] = (unsigned char)v;
    p[1] = (unsigned char)(v >> 8);
}

static void PutU32(unsigned char *p, uint32_t v)
{
    p[0] = (unsigned char)v;
    p[1] = (unsigned char)(v >> 8);
    p[2] = (unsigned char)(v >> 16);
    p[3] = (unsigned char)(v >> 24);
}

/* Record length for a name and value; both are already bounded by the
   caller so the sum cannot wrap. */
static uint32_t RecordLength(uint32_t nameLength, uint32_t valueLength)
{
    return RECORD_HEADER_SIZE + ((nameLength + valueLength + 3u) & ~3u);
}

/* The most the form may grow to in this tree's buffer. */
static uint32_t LengthLimit(const bxml_tree *tree)
{
    return tree->capacity < BXML_MAX_SERIALISED ? tree->capacity
                                                : BXML_MAX_SERIALISED;
}

static int NameIsValid(const unsigned char *name, uint32_t length)
{
    uint32_t i;

    if (length == 0 || length > NAME_MAX_LENGTH)
        return 0;
    for (i = 0; i < length; i++) {
        if (name[i] == 0 || name[i] == '/' || name[i] >= 0x80)
            return 0;
    }
    return 1;
}

/* True when [p, p + length) shares bytes with the tree's buffer. Copies
   into the buffer move its contents around, so such a source could be
   overwritten half way through being copied. */
static int OverlapsBuffer(const bxml_tree *tree, const void *p, uint32_t length)
{
    uintptr_t start = (uintptr_t)p;
    uintptr_t bufferStart = (uintptr_t)tree->buffer;

    if (length == 0)
        return 0;
    return start < bufferStart + tree->capacity && bufferStart < start + length;
}

/* A tree that bxml_new or bxml_load set up and bxml_free has not released,
   whose buffer still starts with the header this tree wrote. */
static int TreeIsLive(const bxml_tree *tree)
{
    const unsigned char *b;

    if (tree == NULL || tree->state != TREE_LIVE || tree->buffer == NULL)
        return 0;
    if (tree->capacity < TREE_HEADER_SIZE || tree->length < TREE_HEADER_SIZE ||
        tree->length > LengthLimit(tree))
        return 0;
    b = tree->buffer;
    return memcmp(b + HDR_MAGIC, TREE_MAGIC, 4) == 0 &&
           GetU32(b + HDR_LENGTH) == tree->length &&
           GetU32(b + HDR_NODE_COUNT) == tree->nodeCount;
}

/* Reads the record at offset, checking that it lies inside the form. The
   form was validated when it was made, so a failure here means the buffer
   was changed behind the tree's back; callers fail cleanly either way. */
static int ReadRecord(const bxml_tree *tree, uint32_t offset, NodeRecord *record)
{
    const unsigned char *r;
    uint32_t room;

    if (offset > tree->length || tree->length - offset < RECORD_HEADER_SIZE)
        return -1;
    room = tree->length - offset;
    r = tree->buffer + offset;
    record->offset = offset;
    record->length = GetU32(r + REC_LENGTH);
    record->parent = GetU32(r + REC_PARENT);
    record->nameLength = GetU32(r + REC_NAME_LENGTH);
    record->valueLength = GetU32(r + REC_VALUE_LENGTH);
    if (record->nameLength > NAME_MAX_LENGTH ||
        record->valueLength > room - RECORD_HEADER_SIZE)
        return -1;
    if (record->length != RecordLength(record->nameLength, record->valueLength) ||
        record->length > room)
        return -1;
    return 0;
}

/* Finds the record of node handle (1 to nodeCount) by walking the records. */
static int FindNode(const bxml_tree *tree, uint32_t handle, NodeRecord *record)
{
    uint32_t offset = TREE_HEADER_SIZE;
    uint32_t k;

    if (handle == 0 || handle > tree->nodeCount)
        return -1;
    for (k = 1;; k++) {
        if (ReadRecord(tree, offset, record) < 0)
            return -1;
        if (k == handle)
            return 0;
        offset += record->length;
    }
}

/* Handle of the first-added child of parent named name[0..length). */
static int FindChild(const bxml_tree *tree, uint32_t parent, const char *name,
                     uint32_t length, uint32_t *handle)
{
    uint32_t offset = TREE_HEADER_SIZE;
    uint32_t k;
    NodeRecord record;

    for (k = 1; k <= tree->nodeCount; k++) {
        if (ReadRecord(tree, offset, &record) < 0)
            return -1;
        if (record.parent == parent && record.nameLength == length &&
            memcmp(tree->buffer + offset + RECORD_HEADER_SIZE, name, length) == 0) {
            *handle = k;
            return 0;
        }
        offset += record.length;
    }
    return -1;
}

static void WriteTreeHeader(bxml_tree *tree)
{
    PutU32(tree->buffer + HDR_LENGTH, tree->length);
    PutU32(tree->buffer + HDR_NODE_COUNT, tree->nodeCount);
}

static void ReleaseTree(bxml_tree *tree)
{
    tree->buffer = NULL;
    tree->capacity = 0;
    tree->length = 0;
    tree->nodeCount = 0;
    tree->state = 0;
}

int32_t bxml_new(bxml_tree *tree, void *buffer, int32_t size, uint32_t flags)
{
    unsigned char *b = (unsigned char *)buffer;

    if (tree == NULL)
        return BXML_E_FAIL;
    ReleaseTree(tree);
    if (b == NULL || size < (int32_t)TREE_HEADER_SIZE || flags != 0)
        return BXML_E_FAIL;

    memset(b, 0, TREE_HEADER_SIZE);
    memcpy(b + HDR_MAGIC, TREE_MAGIC, 4);
    PutU16(b + HDR_VERSION, TREE_VERSION);
    PutU16(b + HDR_HEADER_SIZE, TREE_HEADER_SIZE);

    tree->buffer = b;
    tree->capacity = (uint32_t)size;
    tree->length = TREE_HEADER_SIZE;
    tree->nodeCount = 0;
    tree->state = TREE_LIVE;
    WriteTreeHeader(tree);
    return 0;
}

/* Checks one record of an untrusted form: k is the handle it must carry,
   room the bytes left in the form from its start. */
static int ValidateRecord(const unsigned char *r, uint32_t room, uint32_t k,
                          uint32_t *recordLength)
{
    uint32_t length, parent, nameLength, valueLength, used, i;

    if (room < RECORD_HEADER_SIZE)
        return -1;
    length = GetU32(r + REC_LENGTH);
    parent = GetU32(r + REC_PARENT);
    nameLength = GetU32(r + REC_NAME_LENGTH);
    valueLength = GetU32(r + REC_VALUE_LENGTH);

    if (GetU32(r + REC_HANDLE) != k || parent >= k ||
        GetU32(r + REC_RESERVED) != 0)
        return -1;
    /* Bound each length by the room before adding them up. */
    if (nameLength > NAME_MAX_LENGTH ||
        valueLength > room - RECORD_HEADER_SIZE)
        return -1;
    if (length != RecordLength(nameLength, valueLength) || length > room)
        return -1;
    if (!NameIsValid(r + RECORD_HEADER_SIZE, nameLength))
        return -1;
    used = RECORD_HEADER_SIZE + nameLength + valueLength;
    for (i = used; i < length; i++) {
        if (r[i] != 0)
            return -1;
    }
    *recordLength = length;
    return 0;
}

int32_t bxml_load(bxml_tree *tree, void *buffer, int32_t size)
{
    const unsigned char *b = (const unsigned char *)buffer;
    uint32_t total, nodeCount, offset, k, i;

    if (tree == NULL)
        return BXML_E_FAIL;
    ReleaseTree(tree);
    if (b == NULL || size < (int32_t)TREE_HEADER_SIZE)
        return BXML_E_FAIL;

    if (memcmp(b + HDR_MAGIC, TREE_MAGIC, 4) != 0 ||
        GetU16(b + HDR_VERSION) != TREE_VERSION ||
        GetU16(b + HDR_HEADER_SIZE) != TREE_HEADER_SIZE)
        return BXML_E_FAIL;
    for (i = HDR_RESERVED; i < TREE_HEADER_SIZE; i++) {
        if (b[i] != 0)
            return BXML_E_FAIL;
    }

    total = GetU32(b + HDR_LENGTH);
    nodeCount = GetU32(b + HDR_NODE_COUNT);
    if (total < TREE_HEADER_SIZE || total > (uint32_t)size ||
        total > BXML_MAX_SERIALISED)
        return BXML_E_FAIL;
    if (nodeCount > (total - TREE_HEADER_SIZE) / RECORD_HEADER_SIZE)
        return BXML_E_FAIL;

    /* Every record advances the offset by at least 24 bytes, and there
       are exactly nodeCount of them, so the walk ends. */
    offset = TREE_HEADER_SIZE;
    for (k = 1; k <= nodeCount; k++) {
        uint32_t recordLength;
        if (ValidateRecord(b + offset, total - offset, k, &recordLength) < 0)
            return BXML_E_FAIL;
        offset += recordLength;
    }
    if (offset != total)
        return BXML_E_FAIL;

    tree->buffer = (unsigned char *)buffer;
    tree->capacity = (uint32_t)size;
    tree->length = total;
    tree->nodeCount = nodeCount;
    tree->state = TREE_LIVE;
    return 0;
}

int32_t bxml_save(bxml_tree *tree, const void **data, int32_t *length)
{
    if (!TreeIsLive(tree) || data == NULL || length == NULL)
        return BXML_E_FAIL;
    *data = tree->buffer;
    *length = (int32_t)tree->length;
    return 0;
}

int32_t bxml_free(bxml_tree *tree)
{
    if (tree == NULL)
        return BXML_E_FAIL;
    /* A second release, or the release of a zeroed tree, changes nothing. */
    if (tree->state == 0) {
        ReleaseTree(tree);
        return 0;
    }
    if (tree->state != TREE_LIVE)
        return BXML_E_FAIL;
    ReleaseTree(tree);
    return 0;
}

int32_t bxml_add_node(bxml_tree *tree, uint32_t parent, uint32_t flags,
                      uint32_t *handle, const char *name, int32_t nameLength,
                      const void *value, int32_t valueLength)
{
    NodeRecord parentRecord;
    uint32_t recordLength, k;
    unsigned char *r;

    if (!TreeIsLive(tree) || flags != 0 || handle == NULL || name == NULL)
        return BXML_E_FAIL;
    if (nameLength <= 0 || valueLength < 0 || (value == NULL && valueLength != 0))
        return BXML_E_FAIL;
    if (!NameIsValid((const unsigned char *)name, (uint32_t)nameLength))
        return BXML_E_FAIL;
    if ((uint32_t)valueLength > LengthLimit(tree))
        return BXML_E_FAIL;
    if (OverlapsBuffer(tree, name, (uint32_t)nameLength) ||
        OverlapsBuffer(tree, value, (uint32_t)valueLength))
        return BXML_E_FAIL;
    if (parent != 0 && FindNode(tree, parent, &parentRecord) < 0)
        return BXML_E_FAIL;

    recordLength = RecordLength((uint32_t)nameLength, (uint32_t)valueLength);
    if (recordLength > LengthLimit(tree) - tree->length)
        return BXML_E_FAIL;

    k = tree->nodeCount + 1;
    r = tree->buffer + tree->length;
    memset(r, 0, recordLength);
    PutU32(r + REC_LENGTH, recordLength);
    PutU32(r + REC_HANDLE, k);
    PutU32(r + REC_PARENT, parent);
    PutU32(r + REC_NAME_LENGTH, (uint32_t)nameLength);
    PutU32(r + REC_VALUE_LENGTH, (uint32_t)valueLength);
    memcpy(r + RECORD_HEADER_SIZE, name, (size_t)nameLength);
    if (valueLength > 0)
        memcpy(r + RECORD_HEADER_SIZE + nameLength, value, (size_t)valueLength);

    tree->length += recordLength;
    tree->nodeCount = k;
    WriteTreeHeader(tree);
    *handle = k;
    return 0;
}

int32_t bxml_convert_name(bxml_tree *tree, const char *path, uint32_t *handle)
{
    uint32_t current = 0;
    const char *p = path;

    if (!TreeIsLive(tree) || path == NULL || handle == NULL || *p != '/')
        return BXML_E_FAIL;

    while (*p == '/') {
        const char *segment = ++p;
        uint32_t length = 0;
        while (*p != '/' && *p != 0) {
            p++;
            length++;
            /* Longer than any name can be: no node matches. */
            if (length > NAME_MAX_LENGTH)
                return BXML_E_FAIL;
        }
        if (length == 0)
            return BXML_E_FAIL;
        if (FindChild(tree, current, segment, length, &current) < 0)
            return BXML_E_FAIL;
    }
    *handle = current;
    return 0;
}

int32_t bxml_read_node(bxml_tree *tree, uint32_t handle, uint32_t flags,
                       uint32_t offset, void *buffer, int32_t size)
{
    NodeRecord record;
    uint32_t count;

    if (!TreeIsLive(tree) || flags != 0 || offset != 0 || size < 0 ||
        (buffer == NULL && size != 0))
        return BXML_E_FAIL;
    if (FindNode(tree, handle, &record) < 0)
        return BXML_E_FAIL;

    count = record.valueLength < (uint32_t)size ? record.valueLength
                                                : (uint32_t)size;
    if (count > 0)
        memmove(buffer,
                tree->buffer + record.offset + RECORD_HEADER_SIZE +
                    record.nameLength,
                count);
    return (int32_t)count;
}

int32_t bxml_write_node(bxml_tree *tree, uint32_t handle, uint32_t flags,
                        uint32_t offset, const void *value, int32_t length)
{
    NodeRecord record;
    uint32_t newRecordLength, newLength, tailStart, tailLength;
    unsigned char *r;

    if (!TreeIsLive(tree) || flags != 0 || offset != 0 || length < 0 ||
        (value == NULL && length != 0))
        return BXML_E_FAIL;
    if ((uint32_t)length > LengthLimit(tree) ||
        OverlapsBuffer(tree, value, (uint32_t)length))
        return BXML_E_FAIL;
    if (FindNode(tree, handle, &record) < 0)
        return BXML_E_FAIL;

    newRecordLength = RecordLength(record.nameLength, (uint32_t)length);
    /* The old record is part of the current length, so this cannot wrap. */
    if (newRecordLength > LengthLimit(tree) - (tree->length - record.length))
        return BXML_E_FAIL;
    newLength = tree->length - record.length + newRecordLength;

    /* Slide the records that follow so they start right after the new
       record, then fill the record in. */
    tailStart = record.offset + record.length;
    tailLength = tree->length - tailStart;
    memmove(tree->buffer + record.offset + newRecordLength,
            tree->buffer + tailStart, tailLength);
    if (newLength < tree->length)
        memset(tree->buffer + newLength, 0, tree->length - newLength);

    r = tree->buffer + record.offset;
    PutU32(r + REC_LENGTH, newRecordLength);
    PutU32(r + REC_VALUE_LENGTH, (uint32_t)length);
    memset(r + RECORD_HEADER_SIZE + record.nameLength, 0,
           newRecordLength - RECORD_HEADER_SIZE - record.nameLength);
    if (length > 0)
        memcpy(r + RECORD_HEADER_SIZE + record.nameLength, value, (size_t)length);

    tree->length = newLength;
    WriteTreeHeader(tree);
    return 0;
}
