/*
 * operations.cpp: the exported item-file operations. Each one builds its
 * cursor on its own stack, reads the header area again, walks the rooms
 * from the first, and releases its tree before it returns.
 */
#ifndef LIBTARN_BUILDING
#define LIBTARN_BUILDING
#endif

#include "itemfile.h"

#include <string.h>

namespace {

const unsigned char ZERO_PAD[16] = {0};

/* Writes the new room at the append point. The name goes into the tree
 * before any byte reaches the stream, so a tree that cannot take it leaves
 * the file untouched. */
int32_t AppendRoom(ItemCursor *cursor, uint32_t format, const char *formatName,
                   const void *data, int32_t length, int32_t *index)
{
    if (cursor->header.itemCount >= MAX_ITEM_COUNT)
        return TARN_E_FAIL;
    if (SeekRoom(cursor, -1) < 0)
        return TARN_E_FAIL;

    RoomHeader *room = &cursor->room;
    memcpy(room->magic, "ROOM", 4);
    room->index = (uint16_t)cursor->roomIndex;
    room->roomSize = ((uint32_t)length + 31) & ~15u;
    room->dataLength = (uint32_t)length;
    if (WriteFormatName(cursor, formatName) < 0)
        return TARN_E_FAIL;
    room->baseFormat = formatName[0] != '\0' ? NAMED_FORMAT : (uint16_t)(format & 0xFFFF);

    unsigned char bytes[16];
    EncodeRoomHeader(room, bytes);
    uint32_t pad = room->roomSize - 16 - room->dataLength;
    if (SeekStream(cursor->stream, cursor->roomOffset) < 0 ||
        WriteStream(cursor->stream, bytes, sizeof bytes) < 0)
        return TARN_E_FAIL;
    /* No data is a failed write: the room header stays behind, uncounted. */
    if (WriteStream(cursor->stream, data, (size_t)length) < 0)
        return TARN_E_FAIL;
    if (pad != 0 && WriteStream(cursor->stream, ZERO_PAD, pad) < 0)
        return TARN_E_FAIL;

    cursor->header.itemCount++;
    if (index != nullptr)
        *index = (int32_t)cursor->roomIndex;
    return TARN_S_OK;
}

/* Opens the file and walks to entry index; on success the tree is loaded
 * and the caller releases it. An empty room is refused unless allowEmpty:
 * only its size can be asked, so that a reader can tell it from a room the
 * walk cannot reach (after which no later room can be reached either). */
int32_t OpenRoom(ItemCursor *cursor, FILE *stream, int32_t index, bool allowEmpty = false)
{
    if (stream == nullptr || index < 0)
        return TARN_E_FAIL;
    if (OpenItemFile(cursor, stream) < 0)
        return TARN_E_FAIL;
    if (SeekRoom(cursor, index) < 0 || (cursor->room.dataLength == 0 && !allowEmpty)) {
        bxml_free(&cursor->tree);
        return TARN_E_FAIL;
    }
    return TARN_S_OK;
}

} // namespace

extern "C" {

int32_t TARN_CALL CreateClipboardFile(FILE *stream)
{
    ItemCursor cursor;

    if (stream == nullptr)
        return TARN_E_FAIL;
    if (CreateItemTree(&cursor, stream) < 0)
        return TARN_E_FAIL;
    return CommitItemFile(&cursor);
}

int32_t TARN_CALL CloseClipboardFile(FILE *)
{
    return TARN_S_OK;
}

int32_t TARN_CALL InsertClipboardItem(FILE *stream, uint32_t format, const char *formatName,
                                      const void *data, int32_t length, int32_t *index)
{
    ItemCursor cursor;

    if (stream == nullptr || formatName == nullptr || length < 0 ||
        (data == nullptr && length > 0))
        return TARN_E_FAIL;
    if (OpenItemFile(&cursor, stream) < 0)
        return TARN_E_FAIL;
    if (AppendRoom(&cursor, format, formatName, data, length, index) < 0) {
        bxml_free(&cursor.tree);
        return TARN_E_FAIL;
    }
    return CommitItemFile(&cursor);
}

int32_t TARN_CALL GetClipbordFileItemsCount(FILE *stream, uint32_t *count)
{
    ItemCursor cursor;

    if (stream == nullptr || count == nullptr)
        return TARN_E_FAIL;
    if (OpenItemFile(&cursor, stream) < 0)
        return TARN_E_FAIL;
    *count = cursor.header.itemCount;
    bxml_free(&cursor.tree);
    return TARN_S_OK;
}

int32_t TARN_CALL GetClipbordFileItemBaseFormat(FILE *stream, int32_t index, uint32_t *format)
{
    ItemCursor cursor;

    if (format == nullptr || OpenRoom(&cursor, stream, index) < 0)
        return TARN_E_FAIL;
    int32_t result = TARN_E_FAIL;
    if (cursor.room.baseFormat != NAMED_FORMAT) {
        *format = cursor.room.baseFormat;
        result = TARN_S_OK;
    }
    bxml_free(&cursor.tree);
    return result;
}

int32_t TARN_CALL GetClipbordFileItemFormatName(FILE *stream, int32_t index, char *buffer,
                                                int32_t size)
{
    ItemCursor cursor;

    if (buffer == nullptr || size < 0 || OpenRoom(&cursor, stream, index) < 0)
        return TARN_E_FAIL;
    int32_t result = TARN_E_FAIL;
    if (cursor.room.baseFormat == NAMED_FORMAT)
        result = ReadFormatName(&cursor, cursor.roomIndex, buffer, size);
    bxml_free(&cursor.tree);
    return result;
}

int32_t TARN_CALL GetClipboardFileItemSize(FILE *stream, int32_t index, uint32_t *size)
{
    ItemCursor cursor;

    if (size == nullptr || OpenRoom(&cursor, stream, index, true) < 0)
        return TARN_E_FAIL;
    /* Callers allocate what this reports; never report data the stream lacks. */
    int32_t result = CheckRoomData(&cursor);
    if (result >= 0)
        *size = cursor.room.dataLength;
    bxml_free(&cursor.tree);
    return result;
}

int32_t TARN_CALL LoadClipboardFileItem(FILE *stream, int32_t index, void *buffer, uint32_t size)
{
    ItemCursor cursor;

    if (buffer == nullptr || OpenRoom(&cursor, stream, index) < 0)
        return TARN_E_FAIL;
    int32_t result = TARN_E_FAIL;
    if (size >= cursor.room.dataLength && CheckRoomData(&cursor) >= 0 &&
        SeekStream(stream, cursor.roomOffset + 16) >= 0 &&
        ReadStream(stream, buffer, cursor.room.dataLength) >= 0)
        result = TARN_S_OK;
    bxml_free(&cursor.tree);
    return result;
}

int32_t TARN_CALL LoadClipboardFileItemPart(FILE *stream, int32_t index, uint32_t offset,
                                            void *buffer, uint32_t size)
{
    ItemCursor cursor;

    if (buffer == nullptr || size == 0 || OpenRoom(&cursor, stream, index) < 0)
        return TARN_E_FAIL;
    /* The part lies inside the entry, and the entry inside the stream, before
     * a byte is read; both sums are checked without overflow. */
    const uint32_t length = cursor.room.dataLength;
    int32_t result = TARN_E_FAIL;
    if (offset <= length && size <= length - offset && CheckRoomData(&cursor) >= 0 &&
        SeekStream(stream, cursor.roomOffset + 16 + offset) >= 0 &&
        ReadStream(stream, buffer, size) >= 0)
        result = TARN_S_OK;
    bxml_free(&cursor.tree);
    return result;
}

} // extern "C"
