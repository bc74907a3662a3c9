/*
 * Capture: every clipboard change becomes one new item file in slot 0,
 * holding each format that the format filter collects, unless the change is
 * the program's own restore, marked private, or equal to a stored item. A
 * change that finds the clipboard held by another program waits for it.
 * The clipboard stays open only while the collected formats' bytes are
 * copied into memory; the item file is written after it is closed.
 */
#include "collection/capture.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "collection/clipboard.h"
#include "collection/duplicates.h"
#include "collection/platform.h"
#include "collection/restore.h"
#include "collection/retry.h"
#include "collection/slots.h"
#include "libtarn.h"
#include "shell/globals.h"
#include "shell/settings.h"
#include "shell/tray.h"

bool firstCapturePending = true;
bool clipboardWasEmpty = false;

static const char FORMAT_SECTION[] = "CLIPBOOK_STATE";

// Registered formats always collected, in testing order.
static const char *const collectedFormats[] = {
    "HTML Format", "Rich Text Format", "Rich Text Format Without Objects", "RTF As Text",
    "RTF in UTF8", "RTF with NCRs for nonASCII", "Shell IDList Array", "Preferred DropEffect",
    "Shell Object Offsets", "FileName", "FileNameW", "BIFF", "BIFF3", "BIFF4", "BIFF5", "BIFF8",
    "XML Spreadsheet", "Biff", "Biff4", "Biff3", "Biff5", "Biff8", "Wk1", "CSV", "Csv",
    "Internet Message (rfc822/rfc1522)", "Microsoft Outlook Express HTML Format",
    "Star Embed Source (XML)", "GDIMetaFile", "Windows Bitmap",
    "HTML (HyperText Markup Language)", "Link", "EditEngineFormat", "WABEntryIDList",
    "WABFlatBuffer", "text/html", "text/_moz_htmlcontext", "text/_moz_htmlinfo", "image/bmp",
    "image/x-bmp", "image/x-MS-bmp", "image/png", "image/x-icon", "image/jpeg",
    "FileGroupDescriptorW", "FileGroupDescriptor", "UniformResourceLocatorW",
    "UniformResourceLocator", "UniformResourceL", "PNG+Office Art", "JFIF+Office Art",
    "GIF+Office Art", "PNG", "JFIF", "GIF", "Office Drawing Shape Format", "CF_SCHEMA",
    "CF_DSREF", "Hidden Text Banner Format", "WK1",
};
static_assert(sizeof collectedFormats / sizeof collectedFormats[0] == 60, "collected list");

// Registered formats never collected (object links and private data), in testing order.
static const char *const skippedFormats[] = {
    "ASEL", "RenPrivateAppointment", "RenPrivateSourceFolder", "RenPrivateMessages",
    "ActiveClipboard", "ActiveClipBoard", "Drawing Format", "Star Object Descriptor (XML)",
    "DataObject", "Embed Source", "Native", "OwnerLink", "Link Source",
    "Link Source Descriptor", "ObjectLink", "Ole Private Data", "Hyperlink",
    "Object Descriptor", "HyperlinkWordBkmk",
};
static_assert(sizeof skippedFormats / sizeof skippedFormats[0] == 19, "skipped list");

// A name that would not read back as one key of the settings file (or could
// add lines to it) gets no switch of its own and is never collected.
static bool IsUsableKeyName(const char *name)
{
    if (name[0] == '[' || name[0] == ';')
        return false;
    for (const char *p = name; *p; p++)
        if ((unsigned char)*p < 0x20 || *p == '=')
            return false;
    return true;
}

// The filter's decision for one format. A registered name met for the first
// time gets its switch, "0", from WriteFormatSwitch; until then *unknown is
// set and the format is not collected.
static int FilterFormat(UINT format, bool *unknown)
{
    *unknown = false;
    if (format <= CF_LOCALE)
        return 1;
    char name[512] = {0};
    GetClipboardFormatNameA(format, name, sizeof name - 1);
    for (const char *collected : collectedFormats)
        if (strcmp(name, collected) == 0)
            return 1;
    for (const char *skipped : skippedFormats)
        if (strcmp(name, skipped) == 0)
            return 0;
    if (name[0] == '\0' || !IsUsableKeyName(name))
        return 0;
    char value[256] = {0};
    ReadSetting(FORMAT_SECTION, name, "?", value, sizeof value);
    if (value[0] == '?') {
        *unknown = true;
        return 0;
    }
    return atoi(value) != 0 ? 1 : 0;
}

static void WriteFormatSwitch(UINT format)
{
    char name[512] = {0};
    GetClipboardFormatNameA(format, name, sizeof name - 1);
    WriteSetting(FORMAT_SECTION, name, "0");
}

int IsFormatCollected(UINT format)
{
    bool unknown = false;
    int collected = FilterFormat(format, &unknown);
    if (unknown)
        WriteFormatSwitch(format);
    return collected;
}

// Formats whose data is a GDI object, never a memory block, and the metafile
// picture, whose block holds a metafile handle that means nothing once the
// clipboard changes (restore leaves it out): they are never stored, so
// capture does not make their owner render them.
static bool IsObjectFormat(UINT format)
{
    return format == CF_BITMAP || format == CF_PALETTE || format == CF_ENHMETAFILE ||
           format == CF_METAFILEPICT;
}

// The markers that password managers and other programs put beside content
// that must not be kept in any history.
static bool ClipboardHoldsPrivateContent()
{
    static UINT ignoreFormat, excludeFormat, historyFormat;
    if (ignoreFormat == 0) {
        ignoreFormat = RegisterClipboardFormatA("Clipboard Viewer Ignore");
        excludeFormat = RegisterClipboardFormatA("ExcludeClipboardContentFromMonitorProcessing");
        historyFormat = RegisterClipboardFormatA("CanIncludeInClipboardHistory");
    }
    if ((ignoreFormat && IsClipboardFormatAvailable(ignoreFormat)) ||
        (excludeFormat && IsClipboardFormatAvailable(excludeFormat)))
        return true;
    if (historyFormat == 0 || !IsClipboardFormatAvailable(historyFormat))
        return false;
    HANDLE data = GetClipboardData(historyFormat);
    if (data == NULL || GlobalSize(data) < sizeof(DWORD))
        return false;
    const void *bytes = GlobalLock(data);
    if (bytes == NULL)
        return false;
    DWORD allowed;
    memcpy(&allowed, bytes, sizeof allowed);
    GlobalUnlock(data);
    return allowed == 0;
}

namespace {

// One collected format's bytes, copied off the clipboard so that the item
// file is written once the clipboard is closed again; the bytes follow it
// in the same block.
struct TakenFormat {
    TakenFormat *next;
    UINT format;
    uint32_t size;
    char name[256];
};

// Registered names met for the first time in one capture get their
// switches after the clipboard is closed; past this many, at once.
#define NEW_SWITCH_LIMIT 64

// What one capture took from the clipboard and the item it writes.
struct NewItem {
    TakenFormat *first, *last;  // in enumeration order, not yet written
    FILE *stream;               // the item file, once BeginNewItem made it
    bool damaged;               // a write into it failed
    bool beginFailed;           // slot 0 could not be started
    UINT newSwitches[NEW_SWITCH_LIMIT];
    int newSwitchCount;
};

}  // namespace

// Starts the item file in slot 0 unless it is open; false when it cannot be.
static bool OpenNewItem(NewItem *item)
{
    if (item->stream != NULL)
        return true;
    item->stream = BeginNewItem();
    if (item->stream == NULL) {
        item->beginFailed = true;
        return false;
    }
    if (CreateClipboardFile(item->stream) < 0)
        item->damaged = true;
    return true;
}

static void WriteFormat(NewItem *item, UINT format, const char *name, const void *bytes,
                        uint32_t size)
{
    if (!item->damaged && InsertClipboardItem(item->stream, format, name, bytes, (int32_t)size, NULL) < 0)
        item->damaged = true;
}

// Writes the formats taken so far into the item file, starting it first,
// and frees them; false when the file cannot be started.
static bool WriteTakenFormats(NewItem *item)
{
    if (item->first != NULL && !OpenNewItem(item))
        return false;
    while (item->first != NULL) {
        TakenFormat *taken = item->first;
        item->first = taken->next;
        WriteFormat(item, taken->format, taken->name, taken + 1, taken->size);
        platformCalls.freeEntry(taken);
    }
    item->last = NULL;
    return true;
}

static void FreeTakenFormats(NewItem *item)
{
    while (item->first != NULL) {
        TakenFormat *taken = item->first;
        item->first = taken->next;
        platformCalls.freeEntry(taken);
    }
    item->last = NULL;
}

// Copies one format's locked bytes into memory of its own. Without memory
// for the copy the format is written into the item file at once, after the
// formats taken before it, while the clipboard is still open; false when
// that file cannot be started.
static bool TakeFormat(NewItem *item, UINT format, const void *bytes, uint32_t size)
{
    // The whole name of up to 255 characters: the count includes the NUL.
    char name[256] = {0};
    GetClipboardFormatNameA(format, name, sizeof name);
    TakenFormat *taken = (TakenFormat *)platformCalls.allocEntry(sizeof(TakenFormat) + size);
    if (taken == NULL) {
        if (!WriteTakenFormats(item) || !OpenNewItem(item))
            return false;
        WriteFormat(item, format, name, bytes, size);
        return true;
    }
    taken->next = NULL;
    taken->format = format;
    taken->size = size;
    memcpy(taken->name, name, sizeof taken->name);
    memcpy(taken + 1, bytes, size);
    if (item->last != NULL)
        item->last->next = taken;
    else
        item->first = taken;
    item->last = taken;
    return true;
}

// Takes every collected format of the open clipboard, and nothing else:
// the item file is written after the clipboard is closed.
static void TakeClipboardFormats(NewItem *item)
{
    // No reader looks past ITEM_RECORD_LIMIT records; formats beyond them
    // are still met by the filter, so a new name gets its switch.
    int stored = 0;
    for (UINT format = EnumClipboardFormats(0); format != 0;
         format = EnumClipboardFormats(format)) {
        // The filter comes first: asking for the data makes a delayed-rendering
        // owner produce it, which is wasted work for a format we would drop.
        if (IsObjectFormat(format))
            continue;
        bool unknown = false;
        int collected = FilterFormat(format, &unknown);
        if (unknown) {
            if (item->newSwitchCount < NEW_SWITCH_LIMIT)
                item->newSwitches[item->newSwitchCount++] = format;
            else
                WriteFormatSwitch(format);
        }
        if (!collected || stored == ITEM_RECORD_LIMIT)
            continue;
        HANDLE data = GetClipboardData(format);
        if (data == NULL)
            continue;
        SIZE_T size = GlobalSize(data);
        if (size == 0 || size > INT32_MAX)
            continue;
        const void *bytes = GlobalLock(data);
        if (bytes == NULL)
            continue;
        bool taken = TakeFormat(item, format, bytes, (uint32_t)size);
        stored++;
        GlobalUnlock(data);
        if (!taken)
            return;
    }
}

namespace {

// The tray notice of one capture, made before the clipboard is read.
struct CaptureNotice {
    bool pending;
    char title[64];
    char text[256];
};

// The change that found the clipboard held by another program, waiting for it.
struct WaitingCapture {
    bool active;
    HWND panel;
    DWORD deadline;
    CaptureNotice notice;
};
WaitingCapture waitingCapture;

}  // namespace

// Stores what the clipboard holds now; false when it cannot be opened.
static bool CaptureOpenClipboard(HWND panel, const CaptureNotice &notice)
{
    if (!HoldClipboard(panel))
        return false;
    if (CountClipboardFormats() == 0) {
        clipboardWasEmpty = true;
        ReleaseClipboard();
        return true;
    }
    if (ClipboardHoldsPrivateContent()) {
        ReleaseClipboard();
        return true;
    }
    NewItem item = {};
    TakeClipboardFormats(&item);
    ReleaseClipboard();

    // Everything written goes after the close: other programs wait for the
    // clipboard only while the bytes are copied.
    for (int i = 0; i < item.newSwitchCount; i++)
        WriteFormatSwitch(item.newSwitches[i]);
    if (!item.beginFailed)
        WriteTakenFormats(&item);
    FreeTakenFormats(&item);
    if (item.beginFailed)
        return true;

    if (item.stream != NULL) {
        CloseClipboardFile(item.stream);
        if (fclose(item.stream) != 0)
            item.damaged = true;
        // A file that could not be written whole (a full disk) is not kept:
        // the collection never names an item that would restore as garbage.
        if (item.damaged) {
            DropIncomingItem();
        } else {
            FindDuplicateItem(HeldOutItem());
            PromoteCurrentItem();
        }
        FinishNewItem();
    }

    if (notice.pending) {
        PostMessageA(popupWindow, POPUP_SHOW_MESSAGE, 0, 0);
        ShowTrayNotice(notice.title, notice.text);
    }
    return true;
}

void CaptureClipboard(HWND panel)
{
    clipboardWasEmpty = false;
    // A newer change replaces the one that waits: only what the clipboard
    // holds when it opens can be had.
    waitingCapture.active = false;
    HWND owner = GetClipboardOwner();
    CaptureNotice notice = {};

    if (!firstCapturePending) {
        // The program's own restores from the list and the popup are not news.
        if (itemListWindow != NULL && owner == itemListWindow)
            return;
        // Someone else's change since a restore or clear that still waits
        // for the clipboard: that content is newer, and stays.
        CancelWaitingPlacement();
        int used = SLOT_COUNT - CountFreeSlots();
        if (used == SLOT_COUNT) {
            snprintf(notice.title, sizeof notice.title, "30 items - Clipboard Full");
            snprintf(notice.text, sizeof notice.text,
                     "Replacing oldest clipboard item in collection");
            notice.pending = true;
        } else if (used != 0) {
            snprintf(notice.title, sizeof notice.title, "%d of %d - Clipboard", used,
                     SLOT_COUNT - 1);
            snprintf(notice.text, sizeof notice.text,
                     used == 1 ? "%d clipboard item collected" : "%d clipboard items collected",
                     used);
            notice.pending = true;
        }
    }
    firstCapturePending = false;

    if (!CaptureOpenClipboard(panel, notice)) {
        waitingCapture = {true, panel, ClipboardWaitDeadline(CAPTURE_WAIT_LIMIT), notice};
        ArmClipboardRetry();
    }
}

bool CaptureWaiting() { return waitingCapture.active; }

void CancelWaitingCapture() { waitingCapture.active = false; }

bool RetryCapture()
{
    if (!waitingCapture.active)
        return false;
    WaitingCapture job = waitingCapture;
    waitingCapture.active = false;
    // The program's own restore has replaced the content this waited for.
    if (itemListWindow != NULL && GetClipboardOwner() == itemListWindow)
        return false;
    if (CaptureOpenClipboard(job.panel, job.notice))
        return true;
    // A change announced meanwhile has taken this one's place.
    if (!ClipboardWaitOver(job.deadline) && !waitingCapture.active)
        waitingCapture = job;
    return false;
}
