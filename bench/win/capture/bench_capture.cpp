/*
 * The time of one capture, from CaptureClipboard's start until the state
 * string is saved for the last time, with 31 stored items of 1 MB each for
 * duplicate detection to compare against; how long the clipboard stays open
 * meanwhile (beside one memcpy of the bytes); and, as the baseline, writing
 * the same bytes with plain fwrite.
 *
 * Then the lockout as other programs meet it: the real clipdock.exe runs
 * (the one beside this program, or --clipdock=PATH), and this program, as
 * another program would, puts content on the clipboard (or presses
 * Ctrl+Alt+Down through the popup) and at once tries OpenClipboard as fast
 * as it can, recording the longest stretch in which it is refused. The
 * baseline is one memcpy of the same bytes into fresh memory, in this run.
 * The same rounds then run with a plain reader in clipdock's place (this
 * program again, as --plain-reader): on every change it only opens the
 * clipboard, asks for each format clipdock's filter collects, locks it and
 * reads its size, and closes; on Ctrl+Alt+Down's message it puts blocks
 * loaded beforehand, as large as the change before the last one, back
 * (open, empty, set, close). Its longest refusal is the platform's floor:
 * what any program that reads or writes the same content costs the others.
 * Each case runs with clipdock and then with the plain reader, each started
 * for it, so that the two figures of a case meet the same load.
 * --lockout-only leaves out the first part.
 *
 * Ends with BENCH|figure|value|baseline|unit lines (milliseconds, medians;
 * the lockout also as the worst round, the floor, and clipdock's refusal
 * against floor + memcpy + 2 ms).
 */
#include <windows.h>
#include <shlobj.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "collection/capture.h"
#include "collection/platform.h"
#include "collection/slots.h"
#include "libtarn.h"
#include "shell/globals.h"
#include "shell/settings.h"

static LARGE_INTEGER frequency;
static LONGLONG lastSave, opened, closed;

static LONGLONG Now()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}
static double Ms(LONGLONG ticks) { return 1000.0 * (double)ticks / (double)frequency.QuadPart; }

// Seams of the platform table: every state save asks for the user name, and
// the clipboard's open and close are timed; the tray is left out.
static BOOL WINAPI TimedUserName(LPSTR buffer, LPDWORD size)
{
    BOOL ok = realPlatformCalls.userName(buffer, size);
    lastSave = Now();
    return ok;
}
static BOOL WINAPI TimedOpen(HWND owner)
{
    BOOL ok = realPlatformCalls.openClipboard(owner);
    opened = Now();
    return ok;
}
static BOOL WINAPI TimedClose()
{
    closed = Now();
    return realPlatformCalls.closeClipboard();
}
static BOOL WINAPI NoTray(DWORD, PNOTIFYICONDATAA) { return TRUE; }

static std::string folder;

static void RemoveItemFiles()
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*.crx").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do
            DeleteFileA((folder + "\\" + found.cFileName).c_str());
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
}

struct Record {
    UINT format;
    size_t size;
};

// 31 stored items of 1 MB each holding the formats given, so that duplicate
// detection gets past the format check to the library's comparison.
static void PrepareCollection(const std::vector<Record> &records)
{
    char path[MAX_PATH] = {0};
    if (!EnsureItemFolder(path)) {
        fprintf(stderr, "no item folder\n");
        exit(1);
    }
    folder = path;
    RemoveItemFiles();
    memset(itemSlots, 0, sizeof itemSlots);
    for (int slot = 1; slot < SLOT_COUNT; slot++) {
        snprintf(itemSlots[slot].name, sizeof itemSlots[slot].name, "\\bench%02d.crx", slot);
        FILE *f = fopen((folder + itemSlots[slot].name).c_str(), "w+b");
        bool ok = f != NULL && CreateClipboardFile(f) >= 0;
        for (const Record &r : records) {
            std::string data(r.size, (char)('a' + slot));
            ok = ok && InsertClipboardItem(f, r.format, "", data.data(), (int32_t)data.size(), NULL) >= 0;
        }
        uint32_t count = 0;
        if (!ok || GetClipbordFileItemsCount(f, &count) < 0 || count != records.size()) {
            fprintf(stderr, "stored item %d could not be written\n", slot);
            exit(1);
        }
        fclose(f);
        itemSlots[slot].flags = SLOT_OCCUPIED;
    }
}

static bool PutOnClipboard(HWND owner, UINT format, const std::string &bytes)
{
    DWORD start = GetTickCount();
    while (!OpenClipboard(owner)) {
        if (GetTickCount() - start > 20000)
            return false;
        Sleep(1);
    }
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    SetClipboardData(format, block);
    CloseClipboard();
    return true;
}

static double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

static double MemcpyMs(const std::string &bytes);

struct Figures {
    double capture, saved, open, fwriteBaseline, memcpyBaseline;
    long long itemBytes;
};

static long long FileSize(const std::string &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return ((long long)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

static Figures Measure(HWND other, UINT format, std::string bytes, int rounds)
{
    std::vector<double> captures, saves, opens, writes, copies;
    long long itemBytes = 0;
    for (int round = 0; round < rounds; round++) {
        // Different content every round, so no round is a duplicate.
        snprintf(&bytes[sizeof(BITMAPINFOHEADER)], 16, "round %d", round);
        if (!PutOnClipboard(other, format, bytes)) {
            fprintf(stderr, "clipboard busy for 20 s\n");
            exit(1);
        }
        LONGLONG start = Now();
        CaptureClipboard(panelWindow);
        LONGLONG end = Now();
        captures.push_back(Ms(end - start));
        saves.push_back(Ms(lastSave - start));
        opens.push_back(Ms(closed - opened));
        copies.push_back(MemcpyMs(bytes));
        if (itemSlots[0].flags == 0) {
            fprintf(stderr, "capture stored nothing (round %d, opened %d, formats %d, error %lu)\n", round,
                    opened != 0, CountClipboardFormats(), GetLastError());
            for (int i = 0; i < 3; i++)
                fprintf(stderr, "slot %d %08lx %s\n", i, itemSlots[i].flags, itemSlots[i].name);
            exit(1);
        }
        itemBytes = FileSize(folder + itemSlots[0].name);
        DropIncomingItem();  // back to 31 stored items

        // The baseline writes as many bytes as the item file holds.
        std::string same((size_t)itemBytes, 'b');
        std::string path = folder + "\\fwrite-baseline.bin";
        start = Now();
        FILE *f = fopen(path.c_str(), "w+b");
        fwrite(same.data(), 1, same.size(), f);
        fclose(f);
        writes.push_back(Ms(Now() - start));
        DeleteFileA(path.c_str());
    }
    return {Median(captures), Median(saves), Median(opens), Median(writes), Median(copies), itemBytes};
}

// ---- The lockout that other programs meet ----

static bool clipdockIdle;  // the program answered the message sent after the change

static void CALLBACK ClipdockAnswered(HWND, UINT, ULONG_PTR, LRESULT) { clipdockIdle = true; }

// Tries OpenClipboard as fast as it can from now until the program has
// handled what was sent to it before and the clipboard has then been free
// for a while; the longest refused stretch in milliseconds, or -1 when it
// was never refused.
static double WatchClipboard(HWND watcher, HWND popup)
{
    const double QUIET_MS = 100, LIMIT_MS = 10000;
    clipdockIdle = false;
    SendMessageCallbackA(popup, WM_NULL, 0, 0, ClipdockAnswered, 0);
    LONGLONG start = Now(), refusedSince = 0, lastChange = start;
    double longest = -1;
    for (;;) {
        LONGLONG t = Now();
        if (OpenClipboard(watcher)) {
            CloseClipboard();
            if (refusedSince != 0) {
                longest = std::max(longest, Ms(t - refusedSince));
                refusedSince = 0;
                lastChange = t;
            }
        } else if (refusedSince == 0) {
            refusedSince = t;
        }
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        // Gives way to a thread that waits for this core, as the program
        // whose hold is measured may: on two cores a loop that never yields
        // would measure its own competition for them.
        SwitchToThread();
        if (clipdockIdle && refusedSince == 0 && Ms(t - lastChange) > QUIET_MS &&
            (longest >= 0 || Ms(t - start) > 5 * QUIET_MS))
            break;
        if (Ms(t - start) > LIMIT_MS)
            break;
    }
    return longest;
}

// Waits until the program has handled everything sent to it so far.
static void WaitForClipdock(HWND popup)
{
    DWORD_PTR result;
    SendMessageTimeoutA(popup, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result);
}

static volatile char memcpySink;

// One memcpy of bytes into fresh memory, as a capture copies a format.
static double MemcpyMs(const std::string &bytes)
{
    char *target = (char *)malloc(bytes.size());
    if (target == NULL)
        return -1;
    LONGLONG start = Now();
    memcpy(target, bytes.data(), bytes.size());
    LONGLONG end = Now();
    memcpySink = ((volatile char *)target)[bytes.size() / 2];
    free(target);
    return Ms(end - start);
}

struct Lockout {
    const char *what;
    double median, worst, memcpyBaseline;
    int rounds, unrefused;
};

static Lockout Summary(const char *what, const std::vector<double> &longest,
                       const std::vector<double> &copies)
{
    Lockout l = {what, 0, 0, Median(copies), (int)longest.size(), 0};
    std::vector<double> refused;
    for (double ms : longest) {
        if (ms < 0)
            l.unrefused++;
        refused.push_back(std::max(ms, 0.0));
        l.worst = std::max(l.worst, ms);
    }
    l.median = Median(refused);
    return l;
}

// Content that differs from round to round, so that no capture is a duplicate.
static void Stamp(std::string &bytes, size_t offset, int round)
{
    snprintf(&bytes[offset], 24, "lockout round %d", round);
}

static Lockout CaptureLockout(HWND watcher, HWND popup, const char *what, UINT format,
                              std::string bytes, size_t stampAt, int rounds)
{
    std::vector<double> longest, copies;
    for (int round = 0; round < rounds; round++) {
        Stamp(bytes, stampAt, round);
        if (!PutOnClipboard(watcher, format, bytes)) {
            fprintf(stderr, "clipboard busy for 20 s\n");
            exit(1);
        }
        longest.push_back(WatchClipboard(watcher, popup));
        WaitForClipdock(popup);
        copies.push_back(MemcpyMs(bytes));
    }
    return Summary(what, longest, copies);
}

// Ctrl+Alt+Down as the hook sends it: with the newest capture current in
// slot 0, the item in slot 1 (the picture put just before) goes back.
static Lockout RestoreLockout(HWND watcher, HWND popup, const char *what, std::string bytes,
                              size_t stampAt, int rounds)
{
    std::vector<double> longest, copies;
    for (int round = 0; round < rounds; round++) {
        for (int k = 0; k < 2; k++) {
            Stamp(bytes, stampAt, 1000 + 2 * round + k);
            if (!PutOnClipboard(watcher, CF_DIB, bytes)) {
                fprintf(stderr, "clipboard busy for 20 s\n");
                exit(1);
            }
            WaitForClipdock(popup);
        }
        SendNotifyMessageA(popup, 0x8003 /* HOTKEY_MESSAGE */, 0x02 /* HOTKEY_DOWN */, 0);
        longest.push_back(WatchClipboard(watcher, popup));
        WaitForClipdock(popup);
        copies.push_back(MemcpyMs(bytes));
    }
    return Summary(what, longest, copies);
}

static std::string Dib(size_t size)
{
    std::string dib(size, '\x55');
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = 2048;
    header.biHeight = (LONG)((dib.size() - sizeof header) / (2048 * 4));
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    memcpy(&dib[0], &header, sizeof header);
    return dib;
}

static std::string Text(size_t size)
{
    std::string text(size, 't');
    text.back() = '\0';
    return text;
}

// Starts a program (clipdock.exe, or this one as the plain reader) and waits
// for the window that answers the watcher; NULL when it does not come.
static HWND StartWatched(const std::string &program, const std::string &arguments,
                         const char *windowClass, const char *title, PROCESS_INFORMATION *process)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string command = "\"" + program + "\"" + arguments;
    if (!CreateProcessA(program.c_str(), &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                        process)) {
        fprintf(stderr, "cannot start %s (error %lu)\n", program.c_str(), GetLastError());
        return NULL;
    }
    for (int i = 0; i < 300; i++) {
        HWND window = FindWindowA(windowClass, title);
        if (window != NULL)
            return window;
        Sleep(100);
    }
    fprintf(stderr, "%s showed no %s window\n", program.c_str(), windowClass);
    TerminateProcess(process->hProcess, 1);
    return NULL;
}

static PROCESS_INFORMATION clipdockProcess;  // while the lockout runs

// Closes the program through its main window (clipdock's panel, the plain
// reader's window).
static void StopWatched(PROCESS_INFORMATION *process, HWND window)
{
    if (process->hProcess == NULL)
        return;
    if (window != NULL)
        PostMessageA(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process->hProcess, 10000) != WAIT_OBJECT_0)
        TerminateProcess(process->hProcess, 1);
    CloseHandle(process->hProcess);
    CloseHandle(process->hThread);
    process->hProcess = NULL;
}

// A lockout run that gives up does not leave the program running.
static void StopClipdockAtExit() { StopWatched(&clipdockProcess, NULL); }

static const char PLAIN_CLASS[] = "BenchPlainReader";

// The rounds of one case (0 to 4) with one program watched: clipdock, or
// the plain reader; each is started for the case and stopped after it, so
// that the two of a case run close together, under the same load.
static bool LockoutCase(HWND watcher, const std::string &program, bool plain, int which,
                        std::vector<Lockout> *rows)
{
    HWND popup = plain ? StartWatched(program, " --plain-reader", PLAIN_CLASS, NULL, &clipdockProcess)
                       : StartWatched(program, "", "Betal_Notify", "Clipboard Viewer", &clipdockProcess);
    if (popup == NULL)
        return false;
    WaitForClipdock(popup);
    // One capture to warm up its code and files.
    PutOnClipboard(watcher, CF_TEXT, Text(64));
    WatchClipboard(watcher, popup);

    const size_t DIB_STAMP = sizeof(BITMAPINFOHEADER);
    switch (which) {
    case 0:
        rows->push_back(CaptureLockout(watcher, popup, "capture of 1 KB text", CF_TEXT, Text(1024), 0, 15));
        break;
    case 1:
        rows->push_back(CaptureLockout(watcher, popup, "capture of 1 MB text", CF_TEXT, Text(1 << 20), 0, 9));
        break;
    case 2:
        rows->push_back(CaptureLockout(watcher, popup, "capture of 8 MB CF_DIB", CF_DIB, Dib(8u << 20),
                                       DIB_STAMP, 7));
        break;
    case 3:
        rows->push_back(CaptureLockout(watcher, popup, "capture of 32 MB CF_DIB", CF_DIB,
                                       Dib(32u << 20), DIB_STAMP, 5));
        break;
    default:
        rows->push_back(RestoreLockout(watcher, popup, "restore of 8 MB CF_DIB", Dib(8u << 20),
                                       DIB_STAMP, 7));
        break;
    }
    StopWatched(&clipdockProcess, plain ? popup : FindWindowA("Betal_Clipdock", NULL));
    return true;
}

static bool MeasureLockout(HWND watcher, const std::string &program, const std::string &self)
{
    // The program starts on an empty collection.
    memset(itemSlots, 0, sizeof itemSlots);
    RemoveItemFiles();
    SaveCollectionState();
    atexit(StopClipdockAtExit);
    std::vector<Lockout> rows, floors;
    bool ok = true;
    for (int which = 0; ok && which < 5; which++)
        ok = LockoutCase(watcher, program, false, which, &rows) &&
             LockoutCase(watcher, self, true, which, &floors);
    memset(itemSlots, 0, sizeof itemSlots);
    RemoveItemFiles();
    SaveCollectionState();
    if (!ok)
        return false;

    printf("lockout with %s running:\n", program.c_str());
    for (const Lockout &l : rows)
        printf("  %s: longest refusal median %.3f ms, worst %.3f ms over %d rounds (%d never "
               "refused); one memcpy of the bytes %.3f ms\n",
               l.what, l.median, l.worst, l.rounds, l.unrefused, l.memcpyBaseline);
    printf("lockout with the plain reader and writer running instead (the platform's floor):\n");
    for (size_t i = 0; i < rows.size(); i++) {
        const Lockout &l = rows[i], &f = floors[i];
        double allowed = f.median + l.memcpyBaseline + 2;
        printf("  %s: floor median %.3f ms, worst %.3f ms over %d rounds (%d never refused); "
               "clipdock %.3f ms %s floor + memcpy + 2 ms = %.3f ms\n",
               f.what, f.median, f.worst, f.rounds, f.unrefused, l.median,
               l.median <= allowed ? "<=" : ">", allowed);
    }
    for (size_t i = 0; i < rows.size(); i++) {
        const Lockout &l = rows[i], &f = floors[i];
        printf("BENCH|lockout, %s|%.3f|%.3f|ms\n", l.what, l.median, l.memcpyBaseline);
        printf("BENCH|lockout worst, %s|%.3f|%.3f|ms\n", l.what, l.worst, l.memcpyBaseline);
        printf("BENCH|lockout floor, %s|%.3f|%.3f|ms\n", f.what, f.median, f.memcpyBaseline);
        printf("BENCH|vs floor+memcpy+2, %s|%.3f|%.3f|ms\n", l.what, l.median,
               f.median + l.memcpyBaseline + 2);
    }
    return true;
}

// ---- The plain reader and writer (this program run as --plain-reader) ----

struct PlainBlock {
    UINT format;
    SIZE_T size;
};
static std::vector<PlainBlock> plainLast, plainBefore;  // the last two changes read
static HWND plainNextViewer;

// Opens the clipboard, waiting for it while another program holds it.
static bool PlainOpen(HWND window)
{
    DWORD start = GetTickCount();
    while (!OpenClipboard(window)) {
        if (GetTickCount() - start > 5000)
            return false;
        SwitchToThread();
    }
    return true;
}

// What any program must do to read the content clipdock keeps: every
// format the filter collects asked for, locked and sized, nothing copied.
static void PlainRead(HWND window)
{
    if (GetClipboardOwner() == window || !PlainOpen(window))
        return;
    std::vector<PlainBlock> seen;
    for (UINT format = EnumClipboardFormats(0); format != 0; format = EnumClipboardFormats(format)) {
        if (format == CF_BITMAP || format == CF_PALETTE || format == CF_ENHMETAFILE ||
            format == CF_METAFILEPICT || !IsFormatCollected(format))
            continue;
        HANDLE data = GetClipboardData(format);
        if (data == NULL)
            continue;
        SIZE_T size = GlobalSize(data);
        if (GlobalLock(data) != NULL) {
            seen.push_back({format, size});
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    plainBefore = plainLast;
    plainLast = seen;
}

// What any program must do to put an item back: blocks as large as the
// change before the last one, loaded before the clipboard is opened.
static void PlainWrite(HWND window)
{
    std::vector<std::pair<UINT, HGLOBAL>> blocks;
    for (const PlainBlock &b : plainBefore) {
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, b.size);
        if (block == NULL)
            continue;
        memset(GlobalLock(block), 'r', b.size);
        GlobalUnlock(block);
        blocks.push_back({b.format, block});
    }
    if (!PlainOpen(window)) {
        for (auto &b : blocks)
            GlobalFree(b.second);
        return;
    }
    EmptyClipboard();
    for (auto &b : blocks)
        if (SetClipboardData(b.first, b.second) == NULL)
            GlobalFree(b.second);
    CloseClipboard();
}

static LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DRAWCLIPBOARD:
        PlainRead(window);
        if (plainNextViewer != NULL)
            SendMessageA(plainNextViewer, message, wParam, lParam);
        return 0;
    case WM_CHANGECBCHAIN:
        if ((HWND)wParam == plainNextViewer)
            plainNextViewer = (HWND)lParam;
        else if (plainNextViewer != NULL)
            SendMessageA(plainNextViewer, message, wParam, lParam);
        return 0;
    case 0x8003:  // HOTKEY_MESSAGE, as the restore rounds send it
        PlainWrite(window);
        return 0;
    case WM_CLOSE:
        ChangeClipboardChain(window, plainNextViewer);
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Joins the clipboard viewer chain as clipdock does and serves until closed.
static int PlainReader()
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = PlainProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = PLAIN_CLASS;
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, PLAIN_CLASS, "plain reader", WS_POPUP, 0, 0, 10, 10, NULL, NULL,
                                  windowClass.hInstance, NULL);
    if (window == NULL)
        return 1;
    plainNextViewer = SetClipboardViewer(window);
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}

static HWND HiddenWindow(const char *title)
{
    return CreateWindowExA(0, "STATIC", title, WS_POPUP, 0, 0, 10, 10, NULL, NULL,
                           GetModuleHandleA(NULL), NULL);
}

int main(int argc, char **argv)
{
    bool lockoutOnly = false, plainReader = false;
    char self[MAX_PATH] = {0};
    GetModuleFileNameA(NULL, self, MAX_PATH);
    std::string clipdock = self;
    clipdock = clipdock.substr(0, clipdock.find_last_of('\\') + 1) + "clipdock.exe";
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--lockout-only") == 0)
            lockoutOnly = true;
        else if (strcmp(argv[i], "--plain-reader") == 0)
            plainReader = true;
        else if (strncmp(argv[i], "--clipdock=", 11) == 0)
            clipdock = argv[i] + 11;
    }
    QueryPerformanceFrequency(&frequency);
    char windows[MAX_PATH] = {0};
    GetWindowsDirectoryA(windows, MAX_PATH);
    snprintf(settingsFilePath, sizeof settingsFilePath, "%s\\halcyon.ini", windows);
    if (plainReader)
        return PlainReader();
    appInstance = GetModuleHandleA(NULL);
    panelWindow = HiddenWindow("panel");
    itemListWindow = HiddenWindow("item list");
    popupWindow = HiddenWindow("popup");
    HWND other = HiddenWindow("another program");
    firstCapturePending = false;
    platformCalls.userName = TimedUserName;
    platformCalls.openClipboard = TimedOpen;
    platformCalls.closeClipboard = TimedClose;
    platformCalls.notifyIcon = NoTray;

    if (!lockoutOnly) {
        // Text on the clipboard is also offered as OEM text, Unicode text and a locale.
        PrepareCollection({{CF_TEXT, 256 << 10}, {CF_LOCALE, 4}, {CF_OEMTEXT, 256 << 10},
                           {CF_UNICODETEXT, 512 << 10}});
        Figures small = Measure(other, CF_TEXT, Text(1024), 21);
        PrepareCollection({{CF_DIB, 1 << 20}});
        Figures large = Measure(other, CF_DIB, Dib(8u << 20), 7);
        const struct {
            const char *what;
            const Figures &f;
        } rows[] = {{"1 KB text", small}, {"8 MB CF_DIB", large}};
        for (auto &row : rows)
            printf("capture of %s: %.3f ms in all, state saved at %.3f ms, clipboard open %.3f ms "
                   "(one memcpy %.3f ms); item file %lld bytes, fwrite of as many %.3f ms\n",
                   row.what, row.f.capture, row.f.saved, row.f.open, row.f.memcpyBaseline,
                   row.f.itemBytes, row.f.fwriteBaseline);
        for (auto &row : rows) {
            printf("BENCH|capture %s|%.3f|%.3f|ms\n", row.what, row.f.capture, row.f.fwriteBaseline);
            printf("BENCH|clipboard open, %s|%.3f|%.3f|ms\n", row.what, row.f.open,
                   row.f.memcpyBaseline);
        }
        ClearCollection();
    } else {
        char path[MAX_PATH] = {0};
        if (!EnsureItemFolder(path))
            return 1;
        folder = path;
    }
    fflush(stdout);
    platformCalls = realPlatformCalls;
    return MeasureLockout(other, clipdock, self) ? 0 : 1;
}
