/*
 * Duplicate detection: a new item equal to a stored one is thrown away and
 * the stored one becomes current (the capture then moves it to the front).
 */
#include "collection/duplicates.h"

#include <string.h>

#include "collection/platform.h"
#include "collection/slots.h"
#include "libtarn.h"

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
    for (int b = 1; b < SLOT_COUNT; b++) {
        if (itemSlots[b].flags == 0)
            continue;
        // A stored item whose file is gone or unreadable counts as different.
        FILE *stored = OpenSlotItemFile(b);
        if (stored == NULL)
            continue;
        if (CompareClipboardFiles(incoming, stored) == 0) {
            itemSlots[b].flags |= SLOT_CURRENT;
            fclose(incoming);
            DropIncomingItem();
            fclose(stored);
            return;
        }
        fclose(stored);
    }
    fclose(incoming);
}
