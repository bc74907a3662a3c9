/*
 * bench_paint: what a paint costs when the history is full of large items.
 * Nothing is cached between paints, so every paint of the panel reads the
 * current item whole and every paint of the item list reads the item of
 * every row it draws. 31 items of 8 MB each, first as text, then as text
 * without a break (base64), then as CF_DIB.
 * Ends with BENCH|figure|value|baseline|unit lines (milliseconds, medians).
 * The baseline of a paint is the same previews drawn as they were when
 * every preview read its whole entry, measured in the same run.
 */
#include <windows.h>
#include <psapi.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "collection/platform.h"
#include "collection/slots.h"
#include "libtarn.h"
#include "resources/resource.h"
#include "shell/globals.h"
#include "shell/settings.h"
#include "ui/itemlist.h"
#include "ui/panel.h"
#include "ui/panelpaint.h"
#include "ui/fonts.h"
#include "ui/popup.h"
#include "ui/preview.h"

namespace {

const int ITEM_COUNT = 31;
const size_t ITEM_BYTES = 8u << 20;
// Where a preview cut its text when it read whole entries.
const size_t WHOLE_ENTRY_TEXT_LIMIT = 4096;

// The bytes the previews of a paint allocate for what they read.
size_t entryBytes = 0;

void *CountedAllocEntry(size_t size)
{
    entryBytes += size;
    return malloc(size);
}

double Now()
{
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return counter.QuadPart * 1000.0 / frequency.QuadPart;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        PaintPanel(window);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeWindow(const char *name, WNDPROC procedure, DWORD exStyle, DWORD style, int x, int y,
                int width, int height, HWND parent)
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = procedure;
    wc.hInstance = appInstance;
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszClassName = name;
    RegisterClassExA(&wc);
    return CreateWindowExA(exStyle, name, "", style, x, y, width, height, parent, NULL,
                           appInstance, NULL);
}

void LoadHeaderBitmap(WORD id, HBITMAP *bitmap, BITMAP *info)
{
    *bitmap = (HBITMAP)LoadImageA(appInstance, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0,
                                  LR_LOADTRANSPARENT);
    GetObjectA(*bitmap, sizeof(BITMAP), info);
}

std::string TextItem()
{
    std::string text;
    const std::string line = "The quick brown fox jumps over the lazy dog\r\n";
    while (text.size() + line.size() < ITEM_BYTES)
        text += line;
    text.resize(ITEM_BYTES - 1, ' ');
    text.push_back('\0');
    return text;
}

// One run without a space or a line break, as base64 is.
std::string RunItem()
{
    std::string text;
    while (text.size() < ITEM_BYTES - 1)
        text += "eyJrIjpbMSwyXX0=";
    text.resize(ITEM_BYTES - 1);
    text.push_back('\0');
    return text;
}

// A 24-bit picture of about 8 MB: 1920 x 1456 pixels.
std::string DibItem()
{
    const int width = 1920, height = 1456, stride = width * 3;
    std::string dib(40 + (size_t)stride * height, '\0');
    BITMAPINFOHEADER header = {};
    header.biSize = 40;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    memcpy(&dib[0], &header, sizeof header);
    for (size_t i = 40; i < dib.size(); i++)
        dib[i] = (char)(i * 7);
    return dib;
}

bool StoreItems(UINT format, const std::string &bytes)
{
    char folder[MAX_PATH];
    if (!EnsureItemFolder(folder))
        return false;
    memset(itemSlots, 0, sizeof itemSlots);
    for (int slot = 1; slot <= ITEM_COUNT; slot++) {
        snprintf(itemSlots[slot].name, sizeof itemSlots[slot].name, "\\bench-paint-%02d.crx",
                 slot);
        std::string path = std::string(folder) + itemSlots[slot].name;
        FILE *file = fopen(path.c_str(), "w+b");
        if (file == NULL)
            return false;
        int32_t index;
        bool ok = CreateClipboardFile(file) >= 0 &&
                  InsertClipboardItem(file, format, "", bytes.data(), (int32_t)bytes.size(),
                                      &index) >= 0;
        fclose(file);
        if (!ok)
            return false;
        itemSlots[slot].flags = SLOT_OCCUPIED | (slot == 1 ? SLOT_CURRENT : 0);
    }
    return true;
}

void RemoveItems()
{
    char folder[MAX_PATH];
    if (!EnsureItemFolder(folder))
        return;
    for (int slot = 1; slot <= ITEM_COUNT; slot++) {
        char path[ITEM_PATH_SIZE];
        snprintf(path, sizeof path, "%s\\bench-paint-%02d.crx", folder, slot);
        DeleteFileA(path);
    }
}

double FreadBaseline()
{
    char folder[MAX_PATH];
    EnsureItemFolder(folder);
    std::string path = std::string(folder) + itemSlots[1].name;
    std::vector<double> times;
    std::vector<char> buffer(ITEM_BYTES + 4096);
    for (int i = 0; i < 5; i++) {
        double start = Now();
        FILE *file = fopen(path.c_str(), "rb");
        if (file != NULL) {
            (void)fread(buffer.data(), 1, buffer.size(), file);
            fclose(file);
        }
        times.push_back(Now() - start);
    }
    return Median(times);
}

DWORD GdiObjects()
{
    DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (count != 0)
        return count;
    for (ULONG_PTR index = 1; index < 0x10000; index++)  // Wine answers 0
        if (GetObjectType((HGDIOBJ)index) != 0)
            count++;
    return count;
}

double WorkingSetMb()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.WorkingSetSize / 1048576.0;
}

double TimePaint(HWND window, int rounds)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; i++) {
        double start = Now();
        RedrawWindow(window, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        times.push_back(Now() - start);
    }
    return Median(times);
}

// A slot's preview drawn from its whole entry, loaded at once: how every
// preview was drawn before it read only what it draws.
void WholeEntryPreview(int slot, RECT box, HDC dc, DWORD maxWidth, DWORD maxHeight)
{
    FILE *item = OpenSlotItemFile(slot);
    if (item == NULL)
        return;
    uint32_t count = 0, format = 0, size = 0;
    int32_t index = -1;
    if (GetClipbordFileItemsCount(item, &count) >= 0)
        index = FindPreviewEntry(item, count);
    uint8_t *bytes = NULL;
    bool loaded = index >= 0 && GetClipbordFileItemBaseFormat(item, index, &format) >= 0 &&
                  GetClipboardFileItemSize(item, index, &size) >= 0 && size > 0 &&
                  (bytes = (uint8_t *)malloc(size)) != NULL &&
                  LoadClipboardFileItem(item, index, bytes, size) >= 0;
    fclose(item);
    if (loaded && format == CF_DIB) {
        DrawDibPreview(bytes, size, index, &box, dc, maxWidth, maxHeight);
    } else if (loaded && format == CF_TEXT) {
        const void *end = memchr(bytes, 0, size);
        size_t length = end != NULL ? (size_t)((const uint8_t *)end - bytes) : size;
        DrawTextA(dc, (const char *)bytes, (int)std::min(length, WHOLE_ENTRY_TEXT_LIMIT),
                  &box, DT_EXPANDTABS | DT_WORDBREAK);
    }
    free(bytes);
}

// The previews of a list paint, or of a panel paint, drawn that way.
double TimeWholeEntryPreviews(HWND window, bool list, int rounds)
{
    std::vector<double> times;
    RECT client;
    GetClientRect(window, &client);
    for (int i = 0; i < rounds; i++) {
        double start = Now();
        HDC dc = GetDC(window);
        HFONT font = CreateUiFont(&regularFontTemplate, list ? 7 : 8, dc);
        HGDIOBJ previous = SelectObject(dc, font);
        if (list) {
            for (DWORD row = 0; row < listRowCount && listTopRow + row < SLOT_COUNT; row++) {
                int y = 60 * (int)row - 59;
                RECT box = {20, y + 2, client.right - 20, y + 56};
                WholeEntryPreview((int)(listTopRow + row), box, dc, (DWORD)(client.right - 40), 54);
            }
        } else {
            int logo = logoInfo.bmHeight;
            RECT box = {8, logo + 8, client.right - 8, logo + 52};
            WholeEntryPreview(FindCurrentSlot(), box, dc, (DWORD)(client.right - 16), 44);
        }
        SelectObject(dc, previous);
        DeleteObject(font);
        ReleaseDC(window, dc);
        times.push_back(Now() - start);
    }
    return Median(times);
}

void Repaint(HWND window)
{
    RedrawWindow(window, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

}  // namespace

int main(int argc, char **argv)
{
    int rounds = argc > 1 ? atoi(argv[1]) : 1000;
    appInstance = GetModuleHandleA(NULL);
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    snprintf(settingsFilePath, sizeof settingsFilePath, "%sbench-paint.ini", temp);
    LoadHeaderBitmap(IDB_LOGO, &logoBitmap, &logoInfo);
    LoadHeaderBitmap(IDB_SKY, &skyBitmap, &skyInfo);
    LoadHeaderBitmap(IDB_OBJ, &objBitmap, &objInfo);
    LoadHeaderBitmap(IDB_SYS, &sysBitmap, &sysInfo);

    // The panel as start-up makes it on a 1024-pixel-high screen.
    int panelHeight = 1024 - 100;
    HWND panel = MakeWindow("BenchPanel", PanelProc, WS_EX_TOOLWINDOW, WS_POPUP, 0, 50, 180,
                            panelHeight, NULL);
    RECT client;
    GetClientRect(panel, &client);
    HWND list = MakeWindow("BenchList", ItemListWindowProc, WS_EX_CLIENTEDGE,
                           WS_CHILD | WS_VISIBLE | WS_VSCROLL, 0, logoInfo.bmHeight + 60,
                           client.right, client.bottom - logoInfo.bmHeight - 80, panel);
    HWND popup = MakeWindow("BenchPopup", PopupWindowProc, WS_EX_TOOLWINDOW,
                            WS_POPUP | WS_DLGFRAME, 300, 50, 150, 120, NULL);
    if (panel == NULL || list == NULL || popup == NULL) {
        fprintf(stderr, "windows could not be made\n");
        return 1;
    }
    panelWindow = panel;
    itemListWindow = list;
    popupWindow = popup;
    ShowWindow(panel, SW_SHOWNOACTIVATE);
    ShowWindow(popup, SW_SHOWNOACTIVATE);

    struct Kind {
        const char *name;
        UINT format;
        std::string bytes;
    } kinds[] = {{"text", CF_TEXT, TextItem()},
                 {"unbroken text", CF_TEXT, RunItem()},
                 {"CF_DIB", CF_DIB, DibItem()}};
    int failed = 0;
    for (Kind &kind : kinds) {
        if (!StoreItems(kind.format, kind.bytes)) {
            fprintf(stderr, "the %s items could not be written\n", kind.name);
            failed = 1;
            break;
        }
        double baseline = FreadBaseline();
        double panelPaint = TimePaint(panel, 21);
        double listPaint = TimePaint(list, 21);
        entryBytes = 0;
        void *(*allocEntry)(size_t) = platformCalls.allocEntry;
        platformCalls.allocEntry = CountedAllocEntry;
        Repaint(list);
        platformCalls.allocEntry = allocEntry;
        size_t listBytes = entryBytes;
        double panelWhole = TimeWholeEntryPreviews(panel, false, 21);
        double listWhole = TimeWholeEntryPreviews(list, true, 5);
        double memoryBefore = WorkingSetMb();
        DWORD gdiBefore = GdiObjects();
        double start = Now();
        for (int i = 0; i < rounds; i++)
            Repaint(i % 3 == 0 ? list : i % 3 == 1 ? panel : popup);
        double took = Now() - start;
        double memoryAfter = WorkingSetMb();
        DWORD gdiAfter = GdiObjects();
        printf("%s: panel paint %.1f ms, list paint %.1f ms (%lu rows), fread of one item %.1f ms\n",
               kind.name, panelPaint, listPaint, (unsigned long)listRowCount, baseline);
        printf("%s: the same previews read whole: panel %.1f ms, list %.1f ms\n", kind.name,
               panelWhole, listWhole);
        printf("%s: %d paints (list, panel, popup in turn) in %.0f ms; working set %.1f -> %.1f MB, "
               "GDI objects %lu -> %lu\n",
               kind.name, rounds, took, memoryBefore, memoryAfter, (unsigned long)gdiBefore,
               (unsigned long)gdiAfter);
        printf("BENCH|panel paint, 8 MB %s|%.1f|%.1f|ms\n", kind.name, panelPaint, panelWhole);
        printf("BENCH|list paint, 8 MB %s|%.1f|%.1f|ms\n", kind.name, listPaint, listWhole);
        printf("BENCH|bytes a list paint reads, 8 MB %s|%lu|-|bytes\n", kind.name,
               (unsigned long)listBytes);
        printf("BENCH|fread of one 8 MB %s item|%.1f|-|ms\n", kind.name, baseline);
        printf("BENCH|working set after %d paints, %s|%.1f|%.1f|MB\n", rounds, kind.name,
               memoryAfter, memoryBefore);
        printf("BENCH|GDI objects after %d paints, %s|%lu|%lu|objects\n", rounds, kind.name,
               (unsigned long)gdiAfter, (unsigned long)gdiBefore);
        if (gdiAfter != gdiBefore)
            failed = 1;
    }
    RemoveItems();
    DeleteFileA(settingsFilePath);
    return failed;
}
