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

#include "collection/capture.h"
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
    // The item the clipboard held when the user first asked ("" for none):
    // the current mark goes back to it if the wait runs out.
    char held[sizeof itemSlots[0].name];
    HWND owner;
    DWORD deadline;
};
WaitingPlacement waitingPlacement;

// The clipboard holds the restored item and no longer the incoming one,
// which joins the history. Nothing new arrived: with the history full,
// pushing slot 0 down would delete the oldest item, so slot 0 then keeps its
// item, no longer current (the item list shows it then).
void SettleRestoredItem()
{
    if (itemSlots[0].flags != 0 && itemSlots[SLOT_COUNT - 1].flags == 0)
        VacateIncomingSlot();
}

// held: the item the clipboard holds now ("" for none; NULL for a clear).
void WaitForClipboard(const char *name, const char *held, HWND owner)
{
    waitingPlacement.active = true;
    waitingPlacement.empty = name == NULL;
    lstrcpynA(waitingPlacement.name, name != NULL ? name : "", sizeof waitingPlacement.name);
    lstrcpynA(waitingPlacement.held, held != NULL ? held : "", sizeof waitingPlacement.held);
    waitingPlacement.owner = owner;
    waitingPlacement.deadline = ClipboardWaitDeadline(PLACEMENT_WAIT_LIMIT);
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

enum PlaceResult { PLACED, STILL_HELD, CANNOT_PLACE };

// The waiting item again, wherever it is now; once placed it is current and
// the incoming item joins the history, as after an immediate restore.
PlaceResult PlaceWaitingItem(const WaitingPlacement &job)
{
    // Still open in another program's window: loading the item now would
    // only be thrown away, at every tick of the wait.
    if (GetOpenClipboardWindow() != NULL)
        return STILL_HELD;
    int slot = FindItemSlot(job.name);
    if (slot < 0)
        return CANNOT_PLACE;
    FILE *item = OpenSlotItemFile(slot);
    if (item == NULL)
        return CANNOT_PLACE;
    uint32_t count = 0;
    PlaceResult result = CANNOT_PLACE;
    if (ReadRecordCount(item, &count))
        result = PlaceItem(item, count, job.owner) ? PLACED : STILL_HELD;
    fclose(item);
    if (result == PLACED) {
        // A capture may have run meanwhile and moved the mark to its new item.
        MarkCurrent(FindItemSlot(job.name));
        SettleRestoredItem();
    }
    return result;
}

// The item that never reached the clipboard loses the mark, which goes to
// what the clipboard holds: held, or nothing known.
void GiveUpPlacement(const WaitingPlacement &job, const char *held)
{
    int slot = FindItemSlot(job.name);
    if (job.empty || slot < 0 || !(itemSlots[slot].flags & SLOT_CURRENT))
        return;
    MarkCurrent(FindItemSlot(held));
}

}  // namespace

void RestoreClipboardItem(int slot, HWND owner)
{
    if (slot < 0 || slot >= SLOT_COUNT || itemSlots[slot].flags == 0)
        return;
    // A copy that waits for the clipboard came first: it is taken before
    // this restore replaces it, and the chosen item is found again after it.
    if (CaptureWaiting()) {
        char name[sizeof itemSlots[0].name];
        lstrcpynA(name, itemSlots[slot].name, sizeof name);
        RetryCapture();
        slot = FindItemSlot(name);
        if (slot < 0)
            return;
    }
    FILE *item = OpenSlotItemFile(slot);
    if (item == NULL)
        return;
    // Steps asked for while an earlier one waits all start from what the
    // clipboard held before the first of them. The earlier one ends here
    // whatever this one does: it must not land after it.
    char held[sizeof itemSlots[0].name] = "";
    if (waitingPlacement.active && !waitingPlacement.empty)
        lstrcpynA(held, waitingPlacement.held, sizeof held);
    else
        for (const ItemSlot &entry : itemSlots)
            if (entry.flags & SLOT_CURRENT)
                lstrcpynA(held, entry.name, sizeof held);
    waitingPlacement.active = false;
    MarkCurrent(slot);

    // A count that cannot be read leaves the clipboard untouched.
    uint32_t count = 0;
    if (!ReadRecordCount(item, &count)) {
        fclose(item);
        return;
    }
    if (!PlaceItem(item, count, owner))
        WaitForClipboard(itemSlots[slot].name, held, owner);
    fclose(item);
    SettleRestoredItem();
}

void ClearClipboard(HWND owner)
{
    waitingPlacement.active = false;
    if (!PlaceNothing(owner))
        WaitForClipboard(NULL, NULL, owner);
}

bool PlacementWaiting() { return waitingPlacement.active; }

void CancelWaitingPlacement()
{
    if (waitingPlacement.active)
        GiveUpPlacement(waitingPlacement, "");
    waitingPlacement.active = false;
}

bool RetryPlacement()
{
    if (!waitingPlacement.active)
        return false;
    WaitingPlacement job = waitingPlacement;
    waitingPlacement.active = false;
    PlaceResult result = job.empty ? (PlaceNothing(job.owner) ? PLACED : STILL_HELD)
                                   : PlaceWaitingItem(job);
    if (result == PLACED)
        return true;
    // A restore or clear asked for meanwhile has taken this one's place.
    if (waitingPlacement.active)
        return false;
    if (result == STILL_HELD && !ClipboardWaitOver(job.deadline)) {
        waitingPlacement = job;
        return false;
    }
    GiveUpPlacement(job, job.held);
    return true;
}
