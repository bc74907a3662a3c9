/*
 * The time of one capture, from CaptureClipboard's start until the state
 * string is saved for the last time, with 31 stored items of 1 MB each for
 * duplicate detection to compare against; how long the clipboard stays open
 * meanwhile; and, as the baseline, writing the same bytes with plain fwrite.
 * Ends with BENCH|figure|value|baseline|unit lines (milliseconds, medians).
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
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*.crx").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do
            DeleteFileA((folder + "\\" + found.cFileName).c_str());
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
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
        if (GetTickCount() - start > 5000)
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

struct Figures {
    double capture, saved, open, fwriteBaseline;
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
    std::vector<double> captures, saves, opens, writes;
    long long itemBytes = 0;
    for (int round = 0; round < rounds; round++) {
        // Different content every round, so no round is a duplicate.
        snprintf(&bytes[sizeof(BITMAPINFOHEADER)], 16, "round %d", round);
        if (!PutOnClipboard(other, format, bytes)) {
            fprintf(stderr, "clipboard busy\n");
            exit(1);
        }
        LONGLONG start = Now();
        CaptureClipboard(panelWindow);
        LONGLONG end = Now();
        captures.push_back(Ms(end - start));
        saves.push_back(Ms(lastSave - start));
        opens.push_back(Ms(closed - opened));
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
    return {Median(captures), Median(saves), Median(opens), Median(writes), itemBytes};
}

static HWND HiddenWindow(const char *title)
{
    return CreateWindowExA(0, "STATIC", title, WS_POPUP, 0, 0, 10, 10, NULL, NULL,
                           GetModuleHandleA(NULL), NULL);
}

int main()
{
    QueryPerformanceFrequency(&frequency);
    char windows[MAX_PATH] = {0};
    GetWindowsDirectoryA(windows, MAX_PATH);
    snprintf(settingsFilePath, sizeof settingsFilePath, "%s\\halcyon.ini", windows);
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

    std::string text(1024, 't');
    text.back() = '\0';
    std::string dib(8u << 20, '\x55');
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = 2048;
    header.biHeight = (LONG)((dib.size() - sizeof header) / (2048 * 4));
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    memcpy(&dib[0], &header, sizeof header);

    // Text on the clipboard is also offered as OEM text, Unicode text and a locale.
    PrepareCollection({{CF_TEXT, 256 << 10}, {CF_LOCALE, 4}, {CF_OEMTEXT, 256 << 10},
                       {CF_UNICODETEXT, 512 << 10}});
    Figures small = Measure(other, CF_TEXT, text, 21);
    PrepareCollection({{CF_DIB, 1 << 20}});
    Figures large = Measure(other, CF_DIB, dib, 7);
    const struct {
        const char *what;
        const Figures &f;
    } rows[] = {{"1 KB text", small}, {"8 MB CF_DIB", large}};
    for (auto &row : rows)
        printf("capture of %s: %.3f ms in all, state saved at %.3f ms, clipboard open %.3f ms; "
               "item file %lld bytes, fwrite of as many %.3f ms\n",
               row.what, row.f.capture, row.f.saved, row.f.open, row.f.itemBytes,
               row.f.fwriteBaseline);
    for (auto &row : rows) {
        printf("BENCH|capture %s|%.3f|%.3f|ms\n", row.what, row.f.capture, row.f.fwriteBaseline);
        printf("BENCH|clipboard open, %s|%.3f|-|ms\n", row.what, row.f.open);
    }

    ClearCollection();
    return 0;
}
