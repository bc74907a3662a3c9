/*
 * Duplicate detection: a new item equal to a stored one is thrown away and
 * the stored one becomes current (the capture then moves it to the front).
 * Only the records that restore puts back count: an item stored by an
 * earlier version may also hold a metafile picture's handle record, which
 * its restore leaves out and its next capture therefore lacks.
 */
#include "collection/duplicates.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "collection/platform.h"
#include "collection/restore.h"
#include "collection/slots.h"
#include "libtarn.h"

struct ListedRecord {
    char identity[256];  // the format name, or "#" and the format number
    int32_t index;
};

// The records of an item that restore puts back, sorted by identity, and
// the number of records in the file.
struct RecordList {
    uint32_t total;
    int count;
    ListedRecord records[ITEM_RECORD_LIMIT];
};

static int CompareIdentity(const void *a, const void *b)
{
    return strcmp(((const ListedRecord *)a)->identity, ((const ListedRecord *)b)->identity);
}

// False when the file cannot be read or counts too many records.
static bool ListRecords(FILE *item, RecordList *list)
{
    if (GetClipbordFileItemsCount(item, &list->total) < 0 || list->total > ITEM_RECORD_LIMIT)
        return false;
    list->count = 0;
    for (uint32_t i = 0; i < list->total; i++) {
        uint32_t format = 0;
        char name[256] = {0};
        if (GetClipbordFileItemBaseFormat(item, (int32_t)i, &format) >= 0) {
            if (!IsRestoredFormat(format))
                continue;
            snprintf(name, sizeof name, "#%u", format);
        } else if (GetClipbordFileItemFormatName(item, (int32_t)i, name, sizeof name - 1) < 0) {
            return false;
        } else if (!IsRestoredFormatName(name)) {
            // Not "#1" for the number 1: restore leaves such a name out.
            continue;
        }
        ListedRecord &record = list->records[list->count++];
        memcpy(record.identity, name, sizeof name);
        record.index = (int32_t)i;
    }
    qsort(list->records, (size_t)list->count, sizeof list->records[0], CompareIdentity);
    return true;
}

static bool SameIdentities(const RecordList &a, const RecordList &b)
{
    if (a.count != b.count)
        return false;
    for (int k = 0; k < a.count; k++)
        if (strcmp(a.records[k].identity, b.records[k].identity) != 0)
            return false;
    return true;
}

// Record i of one item and record j of another hold the same bytes. The size
// comes from the new item, so no stored file decides how much is allocated.
static bool SameRecord(FILE *incoming, int32_t i, FILE *stored, int32_t j)
{
    uint32_t size = 0, storedSize = 0;
    if (GetClipboardFileItemSize(incoming, i, &size) < 0 ||
        GetClipboardFileItemSize(stored, j, &storedSize) < 0 || size != storedSize)
        return false;
    if (size == 0)
        return true;
    void *a = malloc(size);
    void *b = malloc(size);
    bool same = a != NULL && b != NULL && LoadClipboardFileItem(incoming, i, a, size) >= 0 &&
                LoadClipboardFileItem(stored, j, b, size) >= 0 && memcmp(a, b, size) == 0;
    free(a);
    free(b);
    return same;
}

// Both lists hold the same identities.
static bool SameContent(FILE *incoming, const RecordList &in, FILE *stored, const RecordList &st)
{
    // The library's comparison passes over an entry without a partner of its
    // format, which the equal lists rule out; it needs equal record counts.
    if ((uint32_t)in.count == in.total && (uint32_t)st.count == st.total)
        return CompareClipboardFiles(incoming, stored) == 0;
    // A file that holds records restore leaves out: pair by pair.
    for (int k = 0; k < in.count; k++)
        if (!SameRecord(incoming, in.records[k].index, stored, st.records[k].index))
            return false;
    return true;
}

void FindDuplicateItem(ItemSlot *held)
{
    if (!(itemSlots[0].flags & SLOT_CURRENT))
        return;
    char folder[MAX_PATH];
    if (!EnsureItemFolder(folder))
        return;
    FILE *incoming = OpenSlotItemFile(0);
    if (incoming == NULL)
        return;
    // A picture must not equal a one-format text item (the comparison passes
    // over unpartnered entries): equal items first hold the same formats.
    // Two fixed lists serve every file.
    static RecordList incomingRecords, storedRecords;
    if (!ListRecords(incoming, &incomingRecords)) {
        fclose(incoming);
        return;
    }
    // The newest stored item first; last the oldest, which this capture
    // pushed out of the history and which is deleted only if nothing matches.
    for (int b = 1; b <= SLOT_COUNT; b++) {
        ItemSlot *slot = b < SLOT_COUNT ? &itemSlots[b] : held;
        if (slot == NULL || slot->flags == 0)
            continue;
        // A stored item whose file is gone or unreadable counts as different.
        FILE *stored = OpenStoredItem(*slot);
        if (stored == NULL)
            continue;
        if (ListRecords(stored, &storedRecords) && SameIdentities(incomingRecords, storedRecords) &&
            SameContent(incoming, incomingRecords, stored, storedRecords)) {
            slot->flags |= SLOT_CURRENT;
            fclose(incoming);
            DropIncomingItem();
            fclose(stored);
            return;
        }
        fclose(stored);
    }
    fclose(incoming);
}
