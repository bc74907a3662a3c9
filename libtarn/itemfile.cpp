/*
 * itemfile.cpp: reading and writing the item-file layout: the header and
 * its header area with the directory tree, the walk over the rooms, and
 * the move of the rooms when the header area changes size.
 *
 * Nothing here allocates: the cursor and its tree buffer belong to the
 * caller's stack, and every transfer goes through a fixed stack buffer.
 * Offsets are computed in 64 bits and checked against what fseek can
 * reach, so no value from the file can make them wrap.
 */
#include "itemfile.h"

#include <limits.h>
#include <string.h>

namespace {

const char FILE_MAGIC[8] = {'C', 'L', 'I', 'P', 'B', 'O', 'O', 'K'};
const char ROOM_MAGIC[4] = {'R', 'O', 'O', 'M'};

/* Header-area reads go in pieces of this size. */
const uint32_t HEADER_PIECE = 128;

/* Room moves go through one buffer of this size. */
const uint32_t SHIFT_PIECE = 4096;

/* Header size of a new file, before its tree is measured. */
const uint32_t NEW_HEADER_SIZE = 256;

const unsigned char ZERO_BLOCK[64] = {0};

const char SIGN_VALUE[18] = {'.', 'T', 'a', 'r', 'n', '\'', 's', ' ', 'C',
                             'l', 'i', 'p', 'b', 'o', 'a', 'r', 'd', '.'};

/* {5E923EF7-C561-4E90-BE30-E25105A48469} in its in-memory byte order. */
const unsigned char GUID_VALUE[16] = {0xF7, 0x3E, 0x92, 0x5E, 0x61, 0xC5, 0x90, 0x4E,
                                      0xBE, 0x30, 0xE2, 0x51, 0x05, 0xA4, 0x84, 0x69};

uint32_t GetU32(const unsigned char *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

uint16_t GetU16(const unsigned char *p)
{
    return (uint16_t)(p[0] | p[1] << 8);
}

void PutU32(unsigned char *p, uint32_t value)
{
    p[0] = (unsigned char)value;
    p[1] = (unsigned char)(value >> 8);
    p[2] = (unsigned char)(value >> 16);
    p[3] = (unsigned char)(value >> 24);
}

void PutU16(unsigned char *p, uint16_t value)
{
    p[0] = (unsigned char)value;
    p[1] = (unsigned char)(value >> 8);
}

void EncodeFileHeader(const ItemFileHeader *header, unsigned char bytes[16])
{
    memcpy(bytes, header->magic, 8);
    PutU32(bytes + 8, header->itemCount);
    PutU32(bytes + 12, header->headerSize);
}

void DecodeFileHeader(const unsigned char bytes[16], ItemFileHeader *header)
{
    memcpy(header->magic, bytes, 8);
    header->itemCount = GetU32(bytes + 8);
    header->headerSize = GetU32(bytes + 12);
}

void DecodeRoomHeader(const unsigned char bytes[16], RoomHeader *room)
{
    memcpy(room->magic, bytes, 4);
    room->baseFormat = GetU16(bytes + 4);
    room->index = GetU16(bytes + 6);
    room->roomSize = GetU32(bytes + 8);
    room->dataLength = GetU32(bytes + 12);
}

/* The bounds a reader puts on headerSize: the multiples of 64 from 64 to 16384. */
bool HeaderSizeAccepted(uint32_t headerSize)
{
    return headerSize % 64 == 0 && headerSize >= 32 && headerSize <= 65536 &&
           headerSize - 16 <= TREE_BUFFER_SIZE;
}

void MakeEntryPath(char path[16], uint32_t index)
{
    snprintf(path, 16, "/body/%04X", (unsigned)index);
}

} // namespace

int32_t SeekStream(FILE *stream, uint64_t offset)
{
    if (offset > (uint64_t)LONG_MAX)
        return TARN_E_FAIL;
    return fseek(stream, (long)offset, SEEK_SET) == 0 ? TARN_S_OK : TARN_E_FAIL;
}

int32_t StreamLength(FILE *stream, uint64_t *length)
{
    if (fseek(stream, 0, SEEK_END) != 0)
        return TARN_E_FAIL;
    long end = ftell(stream);
    if (end < 0)
        return TARN_E_FAIL;
    *length = (uint64_t)end;
    return TARN_S_OK;
}

/* A transfer of nothing counts as a failure, and so does a short one. */
int32_t ReadStream(FILE *stream, void *buffer, size_t size)
{
    if (size == 0 || fread(buffer, 1, size, stream) != size)
        return TARN_E_FAIL;
    return TARN_S_OK;
}

int32_t WriteStream(FILE *stream, const void *buffer, size_t size)
{
    if (size == 0 || fwrite(buffer, 1, size, stream) != size)
        return TARN_E_FAIL;
    return TARN_S_OK;
}

void EncodeRoomHeader(const RoomHeader *room, unsigned char bytes[16])
{
    memcpy(bytes, room->magic, 4);
    PutU16(bytes + 4, room->baseFormat);
    PutU16(bytes + 6, room->index);
    PutU32(bytes + 8, room->roomSize);
    PutU32(bytes + 12, room->dataLength);
}

int32_t OpenItemFile(ItemCursor *cursor, FILE *stream)
{
    unsigned char bytes[16];

    cursor->stream = stream;
    if (SeekStream(stream, 0) < 0 || ReadStream(stream, bytes, sizeof bytes) < 0)
        return TARN_E_FAIL;
    if (memcmp(bytes, FILE_MAGIC, sizeof FILE_MAGIC) != 0)
        return TARN_E_FAIL;
    DecodeFileHeader(bytes, &cursor->header);
    if (!HeaderSizeAccepted(cursor->header.headerSize))
        return TARN_E_FAIL;
    /* No writer can count more rooms than the index field can number. */
    if (cursor->header.itemCount > MAX_ITEM_COUNT)
        return TARN_E_FAIL;

    uint32_t areaSize = cursor->header.headerSize - 16;
    if (SeekStream(stream, 16) < 0)
        return TARN_E_FAIL;
    for (uint32_t done = 0; done < areaSize;) {
        uint32_t piece = areaSize - done < HEADER_PIECE ? areaSize - done : HEADER_PIECE;
        if (ReadStream(stream, cursor->treeBuffer + done, piece) < 0)
            return TARN_E_FAIL;
        done += piece;
    }
    /* The tree store finds the end of its bytes itself; what follows the
     * header area in the buffer must be defined, not stale stack. */
    memset(cursor->treeBuffer + areaSize, 0, TREE_BUFFER_SIZE - areaSize);

    if (bxml_load(&cursor->tree, cursor->treeBuffer, (int32_t)TREE_BUFFER_SIZE) < 0)
        return TARN_E_FAIL;
    return TARN_S_OK;
}

int32_t SeekRoom(ItemCursor *cursor, int32_t index)
{
    uint32_t count = cursor->header.itemCount;

    /* The walk could never reach such an index; spare it. */
    if (index < -1 || (index >= 0 && (uint32_t)index >= count))
        return TARN_E_FAIL;

    uint64_t offset = cursor->header.headerSize;
    for (uint32_t expected = 0; expected < count; ++expected) {
        unsigned char bytes[16];
        RoomHeader room;
        if (SeekStream(cursor->stream, offset) < 0 ||
            ReadStream(cursor->stream, bytes, sizeof bytes) < 0)
            return TARN_E_FAIL;
        DecodeRoomHeader(bytes, &room);
        if (memcmp(room.magic, ROOM_MAGIC, sizeof ROOM_MAGIC) != 0 || room.index != expected)
            return TARN_E_FAIL;
        if ((int64_t)expected == index) {
            /* A room's data lies within the room. An empty room is found (the
             * walk passes it to reach later ones); the queries that read data
             * or identity refuse it themselves. */
            if (16 + (uint64_t)room.dataLength > room.roomSize)
                return TARN_E_FAIL;
            cursor->roomOffset = offset;
            cursor->roomIndex = expected;
            cursor->room = room;
            return TARN_S_OK;
        }
        /* A room stepped over must hold its own header and data: a smaller
         * one would let the walk stand still or run backwards, and an append
         * would then overwrite a counted room. */
        if (room.roomSize % 16 != 0 || 16 + (uint64_t)room.dataLength > room.roomSize)
            return TARN_E_FAIL;
        offset += room.roomSize;
    }
    if (index != -1)
        return TARN_E_FAIL;
    cursor->roomOffset = offset;
    cursor->roomIndex = count;
    return TARN_S_OK;
}

int32_t CheckRoomData(ItemCursor *cursor)
{
    uint64_t end;
    if (StreamLength(cursor->stream, &end) < 0)
        return TARN_E_FAIL;
    if (cursor->roomOffset + 16 + cursor->room.dataLength > end)
        return TARN_E_FAIL;
    return TARN_S_OK;
}

int32_t ShiftRegion(FILE *stream, uint64_t from, uint64_t to)
{
    unsigned char buffer[SHIFT_PIECE];
    uint64_t end;

    if (from == to)
        return TARN_S_OK;
    if (StreamLength(stream, &end) < 0 || end < from)
        return TARN_E_FAIL;

    if (from > to) {
        /* Front to back, so no piece is overwritten before it is read. The
         * stream keeps its length; its tail lies after the last room. */
        for (uint64_t remaining = end - from; remaining > 0;) {
            size_t piece = remaining < SHIFT_PIECE ? (size_t)remaining : SHIFT_PIECE;
            if (SeekStream(stream, from) < 0 || ReadStream(stream, buffer, piece) < 0 ||
                SeekStream(stream, to) < 0 || WriteStream(stream, buffer, piece) < 0)
                return TARN_E_FAIL;
            from += piece;
            to += piece;
            remaining -= piece;
        }
        return TARN_S_OK;
    }

    /* Growing: lengthen the stream first, then copy back to front. */
    memset(buffer, 0, sizeof buffer);
    if (SeekStream(stream, end) < 0)
        return TARN_E_FAIL;
    for (uint64_t remaining = to - from; remaining > 0;) {
        size_t piece = remaining < SHIFT_PIECE ? (size_t)remaining : SHIFT_PIECE;
        if (WriteStream(stream, buffer, piece) < 0)
            return TARN_E_FAIL;
        remaining -= piece;
    }
    uint64_t sourceEnd = end;
    uint64_t targetEnd = to + (end - from);
    while (targetEnd > to) {
        uint64_t remaining = targetEnd - to;
        size_t piece = remaining < SHIFT_PIECE ? (size_t)remaining : SHIFT_PIECE;
        if (SeekStream(stream, sourceEnd - piece) < 0 || ReadStream(stream, buffer, piece) < 0 ||
            SeekStream(stream, targetEnd - piece) < 0 || WriteStream(stream, buffer, piece) < 0)
            return TARN_E_FAIL;
        sourceEnd -= piece;
        targetEnd -= piece;
    }
    return TARN_S_OK;
}

namespace {

int32_t WriteHeaderArea(ItemCursor *cursor)
{
    const void *data = nullptr;
    int32_t length = 0;

    if (bxml_save(&cursor->tree, &data, &length) < 0 || data == nullptr || length <= 0)
        return TARN_E_FAIL;
    /* A longer tree would need a header area that no reader accepts. */
    if ((uint32_t)length > TREE_BUFFER_SIZE - 16)
        return TARN_E_FAIL;

    uint32_t headerSize = ((uint32_t)length + 79) & ~63u;
    if (headerSize != cursor->header.headerSize &&
        ShiftRegion(cursor->stream, cursor->header.headerSize, headerSize) < 0)
        return TARN_E_FAIL;
    cursor->header.headerSize = headerSize;

    unsigned char bytes[16];
    EncodeFileHeader(&cursor->header, bytes);
    uint32_t fill = headerSize - 16 - (uint32_t)length;
    if (SeekStream(cursor->stream, 0) < 0 || WriteStream(cursor->stream, bytes, sizeof bytes) < 0 ||
        WriteStream(cursor->stream, data, (size_t)length) < 0)
        return TARN_E_FAIL;
    if (fill != 0 && WriteStream(cursor->stream, ZERO_BLOCK, fill) < 0)
        return TARN_E_FAIL;
    /* A write counts into the stream's buffer; a seek flushes it, and some C
     * runtimes drop the result of that flush. The stream's error mark is
     * what remains of a disk that refused the moved rooms. */
    if (ferror(cursor->stream))
        return TARN_E_FAIL;
    return TARN_S_OK;
}

} // namespace

int32_t CommitItemFile(ItemCursor *cursor)
{
    int32_t result = WriteHeaderArea(cursor);
    bxml_free(&cursor->tree);
    return result;
}

int32_t CreateItemTree(ItemCursor *cursor, FILE *stream)
{
    uint32_t head, sign, guid, body;

    cursor->stream = stream;
    if (bxml_new(&cursor->tree, cursor->treeBuffer, (int32_t)TREE_BUFFER_SIZE, 0) < 0)
        return TARN_E_FAIL;
    memcpy(cursor->header.magic, FILE_MAGIC, sizeof FILE_MAGIC);
    cursor->header.itemCount = 0;
    cursor->header.headerSize = NEW_HEADER_SIZE;

    if (bxml_add_node(&cursor->tree, 0, 0, &head, "head", 4, nullptr, 0) < 0 ||
        bxml_add_node(&cursor->tree, head, 0, &sign, "sign", 4, SIGN_VALUE,
                      (int32_t)sizeof SIGN_VALUE) < 0 ||
        bxml_add_node(&cursor->tree, head, 0, &guid, "guid", 4, GUID_VALUE,
                      (int32_t)sizeof GUID_VALUE) < 0 ||
        bxml_add_node(&cursor->tree, 0, 0, &body, "body", 4, nullptr, 0) < 0) {
        bxml_free(&cursor->tree);
        return TARN_E_FAIL;
    }
    return TARN_S_OK;
}

int32_t WriteFormatName(ItemCursor *cursor, const char *name)
{
    char path[16];
    uint32_t node, body;
    size_t length = strlen(name);

    /* No tree that holds a longer name fits a header area. */
    if (length > TREE_BUFFER_SIZE)
        return TARN_E_FAIL;
    MakeEntryPath(path, cursor->roomIndex);
    if (bxml_convert_name(&cursor->tree, path, &node) >= 0)
        return bxml_write_node(&cursor->tree, node, 0, 0, name, (int32_t)length) < 0
                   ? TARN_E_FAIL
                   : TARN_S_OK;
    /* An entry without a name gets no node; none is left from another file. */
    if (length == 0)
        return TARN_S_OK;
    if (bxml_convert_name(&cursor->tree, "/body", &body) < 0)
        return TARN_E_FAIL;
    /* The node's name is the four hex digits after "/body/". */
    if (bxml_add_node(&cursor->tree, body, 0, &node, path + 6, 4, name, (int32_t)length) < 0)
        return TARN_E_FAIL;
    return TARN_S_OK;
}

int32_t ReadFormatName(ItemCursor *cursor, uint32_t index, char *buffer, int32_t size)
{
    char path[16];
    uint32_t node;

    MakeEntryPath(path, index);
    if (bxml_convert_name(&cursor->tree, path, &node) < 0)
        return TARN_E_FAIL;
    if (bxml_read_node(&cursor->tree, node, 0, 0, buffer, size) < 0)
        return TARN_E_FAIL;
    return TARN_S_OK;
}
