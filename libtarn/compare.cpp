/*
 * compare.cpp: CompareClipboardFiles, which tells whether two item files
 * hold the same clipboard content. Entries are matched by format identity,
 * not by position: by name, or by base format when neither has a name.
 * The comparison only seeks and reads.
 */
#ifndef LIBTARN_BUILDING
#define LIBTARN_BUILDING
#endif

#include "itemfile.h"

#include <string.h>

namespace {

/* Equal, or different (also for anything that cannot be found or read). */
const int32_t COMPARE_EQUAL = 0;
const int32_t COMPARE_DIFFERENT = 1;

/* Matched data is compared in pieces of this size. */
const uint32_t COMPARE_PIECE = 100;

/* The name of the cursor's entry, empty when it has none. Only a named
 * room has one: a name node beside a numbered room (a foreign file) must not
 * hide its number, or its data would never be compared. */
void LoadName(ItemCursor *cursor, char name[FORMAT_NAME_SIZE + 1])
{
    memset(name, 0, FORMAT_NAME_SIZE + 1);
    if (cursor->room.baseFormat == NAMED_FORMAT)
        ReadFormatName(cursor, cursor->roomIndex, name, FORMAT_NAME_SIZE);
}

/* Walks to entry index; an empty room counts as unreadable, as for the
 * queries. */
bool FindEntry(ItemCursor *cursor, uint32_t index)
{
    return SeekRoom(cursor, (int32_t)index) >= 0 && cursor->room.dataLength != 0;
}

bool SameIdentity(const ItemCursor *first, const char *firstName, const ItemCursor *second,
                  const char *secondName)
{
    if (firstName[0] == '\0' && secondName[0] == '\0')
        return first->room.baseFormat == second->room.baseFormat;
    return strcmp(firstName, secondName) == 0;
}

int32_t CompareRoomData(ItemCursor *first, ItemCursor *second)
{
    unsigned char firstData[COMPARE_PIECE];
    unsigned char secondData[COMPARE_PIECE];

    if (first->room.dataLength != second->room.dataLength)
        return COMPARE_DIFFERENT;
    if (SeekStream(first->stream, first->roomOffset + 16) < 0 ||
        SeekStream(second->stream, second->roomOffset + 16) < 0)
        return TARN_E_FAIL;
    for (uint32_t remaining = first->room.dataLength; remaining > 0;) {
        uint32_t piece = remaining < COMPARE_PIECE ? remaining : COMPARE_PIECE;
        if (ReadStream(first->stream, firstData, piece) < 0 ||
            ReadStream(second->stream, secondData, piece) < 0)
            return COMPARE_DIFFERENT;
        if (memcmp(firstData, secondData, piece) != 0)
            return COMPARE_DIFFERENT;
        remaining -= piece;
    }
    return COMPARE_EQUAL;
}

int32_t CompareEntries(ItemCursor *first, ItemCursor *second)
{
    char firstName[FORMAT_NAME_SIZE + 1];
    char secondName[FORMAT_NAME_SIZE + 1];
    uint32_t count = first->header.itemCount;

    if (count != second->header.itemCount)
        return COMPARE_DIFFERENT;
    for (uint32_t i = 0; i < count; ++i) {
        if (!FindEntry(first, i))
            return COMPARE_DIFFERENT;
        LoadName(first, firstName);
        /* The first partner found is the only one compared; an entry
         * without a partner is passed over. */
        for (uint32_t j = 0; j < count; ++j) {
            if (!FindEntry(second, j))
                return COMPARE_DIFFERENT;
            LoadName(second, secondName);
            if (!SameIdentity(first, firstName, second, secondName))
                continue;
            int32_t result = CompareRoomData(first, second);
            if (result != COMPARE_EQUAL)
                return result;
            break;
        }
    }
    return COMPARE_EQUAL;
}

} // namespace

extern "C" int32_t TARN_CALL CompareClipboardFiles(FILE *first, FILE *second)
{
    ItemCursor firstCursor;
    ItemCursor secondCursor;

    if (first == nullptr || second == nullptr)
        return COMPARE_DIFFERENT;
    if (OpenItemFile(&firstCursor, first) < 0)
        return COMPARE_DIFFERENT;
    if (OpenItemFile(&secondCursor, second) < 0) {
        bxml_free(&firstCursor.tree);
        return COMPARE_DIFFERENT;
    }
    int32_t result = CompareEntries(&firstCursor, &secondCursor);
    bxml_free(&firstCursor.tree);
    bxml_free(&secondCursor.tree);
    return result;
}
