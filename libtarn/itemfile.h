/*
 * itemfile.h: the item-file layout and the steps that the exported
 * operations are built from. Internal to libtarn.
 *
 * An item file is a 16-byte header ("CLIPBOOK", itemCount, headerSize), the
 * rest of the header area holding the serialised directory tree and zero
 * fill up to headerSize, then one room per entry. All integers on disk are
 * little-endian; the structures below hold host values and are converted
 * when they are read or written.
 */
#ifndef LIBTARN_ITEMFILE_H
#define LIBTARN_ITEMFILE_H

#ifndef LIBTARN_BUILDING
#define LIBTARN_BUILDING
#endif

#include <stdint.h>
#include <stdio.h>

#include "bxml.h"
#include "libtarn.h"

/* Size of the tree store's working memory, and so the largest header area. */
#define TREE_BUFFER_SIZE 16384u

/* The most entries a file can hold: a room's index field has 16 bits. */
#define MAX_ITEM_COUNT 65536u

/* Format names are read into 256-byte buffers, at most 255 bytes. */
#define FORMAT_NAME_SIZE 255

struct ItemFileHeader {
    char magic[8];       /* "CLIPBOOK", no terminator */
    uint32_t itemCount;  /* number of rooms */
    uint32_t headerSize; /* offset of room 0: 16 + tree length, rounded up to 64 */
};
static_assert(sizeof(ItemFileHeader) == 16, "ItemFileHeader is 16 bytes on disk");

struct RoomHeader {
    char magic[4];       /* "ROOM" */
    uint16_t baseFormat; /* clipboard format, or NAMED_FORMAT */
    uint16_t index;      /* position among the rooms */
    uint32_t roomSize;   /* whole room, header included, a multiple of 16 */
    uint32_t dataLength; /* data bytes that follow the header */
};
static_assert(sizeof(RoomHeader) == 16, "RoomHeader is 16 bytes on disk");

/* The working record of one operation; it lives on the caller's stack. */
struct ItemCursor {
    FILE *stream;
    ItemFileHeader header;
    bxml_tree tree;
    uint64_t roomOffset; /* current room, or the append point */
    uint32_t roomIndex;  /* its index, or itemCount at the append point */
    RoomHeader room;
    unsigned char treeBuffer[TREE_BUFFER_SIZE];
};

/* Stream helpers: whole transfers only, offsets checked before the seek. */
int32_t SeekStream(FILE *stream, uint64_t offset);
int32_t StreamLength(FILE *stream, uint64_t *length);
int32_t ReadStream(FILE *stream, void *buffer, size_t size);
int32_t WriteStream(FILE *stream, const void *buffer, size_t size);

/* Reads and checks the header, reads the header area and loads the tree.
 * On success the caller owns the loaded tree and must release it. */
int32_t OpenItemFile(ItemCursor *cursor, FILE *stream);

/* Walks the rooms to entry index, or with -1 to the append point. */
int32_t SeekRoom(ItemCursor *cursor, int32_t index);

/* Fails unless the found room's data lies inside the stream. */
int32_t CheckRoomData(ItemCursor *cursor);

/* Serialises the tree, resizes the header area moving the rooms, and
 * rewrites header, tree and zero fill. Releases the tree on every path. */
int32_t CommitItemFile(ItemCursor *cursor);

/* Moves everything from offset from to the end of the stream to offset to. */
int32_t ShiftRegion(FILE *stream, uint64_t from, uint64_t to);

/* Creates the tree and header of a new, empty item file. On success the
 * caller owns the new tree and must release it. */
int32_t CreateItemTree(ItemCursor *cursor, FILE *stream);

/* Stores name under /body/NNNN for the cursor's room index. An empty name
 * empties a node that a foreign file already holds there and adds none, so
 * that an entry without a name never carries one. */
int32_t WriteFormatName(ItemCursor *cursor, const char *name);

/* Reads the /body/NNNN value of index into buffer, at most size bytes. */
int32_t ReadFormatName(ItemCursor *cursor, uint32_t index, char *buffer, int32_t size);

/* Packs and unpacks the little-endian 16-byte records. */
void EncodeRoomHeader(const RoomHeader *room, unsigned char bytes[16]);

#endif
