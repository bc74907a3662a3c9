/*
 * Restore: a stored item goes back onto the clipboard with every format it
 * holds, becomes current, and the incoming item is pushed into the history.
 * "Clear all" empties the clipboard here too. Both wait for a clipboard
 * that another program holds.
 */
#include "collection/restore.h"

#include <io.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "collection/clipboard.h"
#include "collection/platform.h"
#include "collection/retry.h"
#include "collection/slots.h"
#include "libtarn.h"

bool IsRestoredFormat(uint32_t format)
{
    // Capture stores by number only the predefined memory-block formats;
    // anything else (an object handle's number, say) comes from a foreign
    // file and would give the clipboard a handle of the wrong kind. A
    // metafile picture's block holds a metafile handle, which was gone with
    // the clipboard content it came from (earlier versions stored it): its
    // bytes would hand every program that pastes them a stale handle.
    return format != 0 && format <= CF_LOCALE && format != CF_BITMAP && format != CF_PALETTE &&
           format != CF_ENHMETAFILE && format != CF_METAFILEPICT;
}

bool IsRestoredFormatName(const char *name)
{
    if (name[0] != '#')
        return name[0] != '\0';
    const char *p = name + 1;
    while (*p >= '0' && *p <= '9')
        p++;
    return p == name + 1 || *p != '\0';
}

// The clipboard format of record i, or 0 to leave it out. Named records are
// registered again by name, since format numbers differ between sessions.
static UINT RecordFormat(FILE *item, int32_t i)
{
    uint32_t format = 0;
    if (GetClipbordFileItemBaseFormat(item, i, &format) >= 0)
        return IsRestoredFormat(format) ? format : 0;
    char name[256] = {0};
    if (GetClipbordFileItemFormatName(item, i, name, sizeof name - 1) < 0 ||
        !IsRestoredFormatName(name))
        return 0;
    return RegisterClipboardFormatA(name);
}

// The number of records of an item to place; false when it cannot be read
// or is more than any clipboard offers.
static bool ReadRecordCount(FILE *item, uint32_t *count)
{
    return GetClipbordFileItemsCount(item, count) >= 0 && *count <= ITEM_RECORD_LIMIT;
}

namespace {

// One record loaded into the memory block that goes onto the clipboard.
struct LoadedRecord {
    UINT format;
    HGLOBAL block;
};

}  // namespace

// Loads record i straight into a block of its own; *block stays NULL when it
// is left out (no format, unreadable, no memory). False when the record
// cannot be reached, and so no later one either (an empty record has a
// size, 0).
static bool LoadRecord(FILE *item, int32_t i, long long fileLength, UINT *format, HGLOBAL *block)
{
    *block = NULL;
    uint32_t size = 0;
    if (GetClipboardFileItemSize(item, i, &size) < 0)
        return false;
    *format = RecordFormat(item, i);
    // The size comes from the file: no record is larger than the file itself.
    if (*format == 0 || size == 0 || (long long)size > fileLength)
        return true;
    HGLOBAL loaded = platformCalls.allocBlock(GMEM_MOVEABLE, size);
    if (loaded == NULL)
        return true;
    void *target = GlobalLock(loaded);
    bool whole = target != NULL && LoadClipboardFileItem(item, i, target, size) >= 0;
    if (target != NULL)
        GlobalUnlock(loaded);
    if (whole)
        *block = loaded;
    else
        GlobalFree(loaded);
    return true;
}

// Loads every record of the item that goes back onto the clipboard; the
// table (*loaded entries, NULL blocks for records left out) is the
// caller's to place or free. NULL when there is nothing to load or no
// table can be had.
static LoadedRecord *LoadRecords(FILE *item, uint32_t count, uint32_t *loaded)
{
    long long fileLength = _filelengthi64(_fileno(item));
    // Every record takes room in the file: a larger count is damage, and the
    // records past the file's length cannot be read.
    *loaded = (long long)count > fileLength ? (uint32_t)(fileLength > 0 ? fileLength : 0) : count;
    if (*loaded > (uint32_t)(INT32_MAX / sizeof(LoadedRecord)))
        *loaded = (uint32_t)(INT32_MAX / sizeof(LoadedRecord));
    if (*loaded == 0)
        return NULL;
    LoadedRecord *records = (LoadedRecord *)calloc(*loaded, sizeof *records);
    if (records == NULL)
        return NULL;
    for (uint32_t i = 0; i < *loaded; i++)
        if (!LoadRecord(item, (int32_t)i, fileLength, &records[i].format, &records[i].block))
            break;
    return records;
}

static void FreeRecords(LoadedRecord *records, uint32_t count)
{
    if (records == NULL)
        return;
    for (uint32_t i = 0; i < count; i++)
        if (records[i].block != NULL)
            GlobalFree(records[i].block);
    free(records);
}

namespace {

// What waits to go onto the clipboard while another program holds it: a
// stored item, named by its file since the slots move meanwhile, or nothing
// at all ("Clear all"). A newer restore or clear replaces it.
struct WaitingPlacement {
    bool active;
    bool empty;
    char name[sizeof itemSlots[0].name];
    HWND owner;
    DWORD deadline;
};
WaitingPlacement waitingPlacement;

void WaitForClipboard(const char *name, HWND owner)
{
    waitingPlacement.active = true;
    waitingPlacement.empty = name == NULL;
    lstrcpynA(waitingPlacement.name, name != NULL ? name : "", sizeof waitingPlacement.name);
    waitingPlacement.owner = owner;
    waitingPlacement.deadline = ClipboardWaitDeadline();
    ArmClipboardRetry();
}

// Replaces the clipboard's content with every record of the item; false
// when the clipboard cannot be opened. The records are loaded before it is
// opened, so that other programs wait for it only while they are placed.
bool PlaceItem(FILE *item, uint32_t count, HWND owner)
{
    uint32_t loaded = 0;
    LoadedRecord *records = LoadRecords(item, count, &loaded);
    if (!HoldClipboard(owner)) {
        FreeRecords(records, loaded);
        return false;
    }
    EmptyClipboard();
    for (uint32_t i = 0; records != NULL && i < loaded; i++) {
        // From here on a block belongs to the clipboard, unless it refuses it.
        if (records[i].block != NULL && SetClipboardData(records[i].format, records[i].block) != NULL)
            records[i].block = NULL;
    }
    ReleaseClipboard();
    FreeRecords(records, loaded);
    return true;
}

bool PlaceNothing(HWND owner)
{
    if (!HoldClipboard(owner))
        return false;
    EmptyClipboard();
    ReleaseClipboard();
    return true;
}

// The waiting item again, wherever it is now; true when it is placed or
// can no longer be (gone from the table, unreadable).
bool PlaceWaitingItem(const WaitingPlacement &job)
{
    int slot = 0;
    while (slot < SLOT_COUNT &&
           (itemSlots[slot].flags == 0 || strcmp(itemSlots[slot].name, job.name) != 0))
        slot++;
    if (slot == SLOT_COUNT)
        return true;
    FILE *item = OpenSlotItemFile(slot);
    if (item == NULL)
        return true;
    uint32_t count = 0;
    bool done = !ReadRecordCount(item, &count) || PlaceItem(item, count, job.owner);
    fclose(item);
    return done;
}

}  // namespace

void RestoreClipboardItem(int slot, HWND owner)
{
    if (slot < 0 || slot >= SLOT_COUNT || itemSlots[slot].flags == 0)
        return;
    FILE *item = OpenSlotItemFile(slot);
    if (item == NULL)
        return;
    for (ItemSlot &entry : itemSlots)
        if (entry.flags != 0)
            entry.flags &= ~SLOT_CURRENT;
    itemSlots[slot].flags |= SLOT_CURRENT;

    uint32_t count = 0;
    if (!ReadRecordCount(item, &count)) {
        fclose(item);
        return;
    }
    waitingPlacement.active = false;
    if (!PlaceItem(item, count, owner))
        WaitForClipboard(itemSlots[slot].name, owner);
    fclose(item);
    // Nothing new arrived: with the history full, pushing slot 0 down would
    // delete the oldest item, so slot 0 then keeps its item, no longer current.
    if (itemSlots[0].flags != 0 && itemSlots[SLOT_COUNT - 1].flags == 0)
        VacateIncomingSlot();
}

void ClearClipboard(HWND owner)
{
    waitingPlacement.active = false;
    if (!PlaceNothing(owner))
        WaitForClipboard(NULL, owner);
}

bool PlacementWaiting() { return waitingPlacement.active; }

void CancelWaitingPlacement() { waitingPlacement.active = false; }

void RetryPlacement()
{
    if (!waitingPlacement.active)
        return;
    WaitingPlacement job = waitingPlacement;
    waitingPlacement.active = false;
    if (job.empty ? PlaceNothing(job.owner) : PlaceWaitingItem(job))
        return;
    // A restore or clear asked for meanwhile has taken this one's place.
    if (!ClipboardWaitOver(job.deadline) && !waitingPlacement.active)
        waitingPlacement = job;
}
