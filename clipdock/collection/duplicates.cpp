/*
 * Duplicate detection: a new item equal to a stored one is thrown away and
 * the stored one becomes current (the capture then moves it to the front).
 */
#include "collection/duplicates.h"

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "collection/platform.h"
#include "collection/slots.h"
#include "libtarn.h"

// The formats an item holds, each as its name or, without one, its number;
// false when the file cannot be read.
static bool ListFormats(FILE *item, std::vector<std::string> *formats)
{
    uint32_t count = 0;
    if (GetClipbordFileItemsCount(item, &count) < 0)
        return false;
    formats->clear();
    for (uint32_t i = 0; i < count && i <= INT32_MAX; i++) {
        uint32_t format = 0;
        char name[256] = {0};
        if (GetClipbordFileItemBaseFormat(item, (int32_t)i, &format) >= 0)
            snprintf(name, sizeof name, "#%u", format);
        else if (GetClipbordFileItemFormatName(item, (int32_t)i, name, sizeof name - 1) < 0)
            return false;
        formats->push_back(name);
    }
    std::sort(formats->begin(), formats->end());
    return true;
}

void FindDuplicateItem()
{
    if (!(itemSlots[0].flags & SLOT_CURRENT))
        return;
    char folder[MAX_PATH];
    if (!EnsureItemFolder(folder))
        return;
    FILE *incoming = OpenSlotItemFile(0);
    if (incoming == NULL)
        return;
    // The comparison passes over an entry that has no partner of its format,
    // so a picture would equal any one-format text item: equal items must
    // first hold the same formats.
    std::vector<std::string> incomingFormats, storedFormats;
    if (!ListFormats(incoming, &incomingFormats)) {
        fclose(incoming);
        return;
    }
    // The newest stored item first; last the oldest, which this capture
    // pushed out of the history and which is deleted only if nothing matches.
    for (int b = 1; b <= SLOT_COUNT; b++) {
        ItemSlot &slot = b < SLOT_COUNT ? itemSlots[b] : evictedItem;
        if (slot.flags == 0)
            continue;
        // A stored item whose file is gone or unreadable counts as different.
        FILE *stored = OpenItemFile(slot);
        if (stored == NULL)
            continue;
        if (ListFormats(stored, &storedFormats) && storedFormats == incomingFormats &&
            CompareClipboardFiles(incoming, stored) == 0) {
            slot.flags |= SLOT_CURRENT;
            fclose(incoming);
            DropIncomingItem();
            fclose(stored);
            return;
        }
        fclose(stored);
    }
    fclose(incoming);
}
