// Shared pieces of the user-interface tests; see support.h.
#include "support.h"

#include <stdio.h>
#include <string.h>

#include "collection/slots.h"
#include "poll.h"
#include "resources/resource.h"
#include "shell/globals.h"
#include "shell/settings.h"
#include "ui/fonts.h"
#include "ui/itemlist.h"
#include "ui/panel.h"

int panelFadeTicks = 0;

namespace {

const DWORD CLIPBOARD_DEADLINE_MS = 5000;

std::string ItemName(int slot)
{
    char name[64];
    snprintf(name, sizeof name, "\\ui-test-%d.crx", slot);
    return name;
}

std::string ItemPath(int slot)
{
    char folder[MAX_PATH];
    if (!EnsureItemFolder(folder))
        return std::string();
    return std::string(folder) + ItemName(slot);
}

void RemoveTestItems()
{
    char folder[MAX_PATH];
    if (!EnsureItemFolder(folder))
        return;
    std::string pattern = std::string(folder) + "\\ui-test-*.crx";
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        DeleteFileA((std::string(folder) + "\\" + found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

void PutInSlot(int slot, DWORD flags)
{
    lstrcpynA(itemSlots[slot].name, ItemName(slot).c_str(), sizeof itemSlots[slot].name);
    itemSlots[slot].flags = flags;
}

void LoadBitmap(WORD id, HBITMAP *bitmap, BITMAP *info)
{
    if (*bitmap == NULL)
        *bitmap = (HBITMAP)LoadImageA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(id), IMAGE_BITMAP,
                                      0, 0, LR_LOADTRANSPARENT);
    ASSERT_NE(*bitmap, (HBITMAP)NULL) << "bitmap resource " << id;
    GetObjectA(*bitmap, sizeof(BITMAP), info);
}

LRESULT CALLBACK PanelStandIn(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TIMER && wParam == FADE_TIMER)
        panelFadeTicks++;
    return DefWindowProcA(window, message, wParam, lParam);
}

void PutU32(std::string &out, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        out.push_back((char)(v >> (8 * i)));
}

void PutU16(std::string &out, uint16_t v)
{
    out.push_back((char)v);
    out.push_back((char)(v >> 8));
}

}  // namespace

void StoreItem(int slot, const std::vector<Entry> &entries, DWORD flags)
{
    std::string path = ItemPath(slot);
    ASSERT_FALSE(path.empty());
    ASSERT_TRUE(WriteItemFile(path, entries)) << path;
    PutInSlot(slot, flags);
}

void StoreText(int slot, const std::string &text, DWORD flags)
{
    StoreItem(slot, {{CF_TEXT, text + '\0', ""}}, flags);
}

void StoreMissing(int slot, DWORD flags)
{
    DeleteFileA(ItemPath(slot).c_str());
    PutInSlot(slot, flags);
}

void StoreRawFile(int slot, const std::string &bytes, DWORD flags)
{
    ASSERT_TRUE(WriteFileBytes(ItemPath(slot), bytes));
    PutInSlot(slot, flags);
}

std::string ItemFileBytes(int slot) { return FileBytes(ItemPath(slot)); }

std::string MakeDib(const DibLayout &layout, COLORREF (*pixel)(int x, int y))
{
    std::string out;
    int rows = layout.height < 0 ? -layout.height : layout.height;
    int stride = (layout.width * layout.bitCount + 31) / 32 * 4;
    PutU32(out, 40);
    PutU32(out, (uint32_t)layout.width);
    PutU32(out, (uint32_t)layout.height);
    PutU16(out, 1);
    PutU16(out, (uint16_t)layout.bitCount);
    PutU32(out, layout.compression);
    PutU32(out, (uint32_t)(stride * rows));
    PutU32(out, 2835);
    PutU32(out, 2835);
    PutU32(out, layout.colorsUsed);
    PutU32(out, 0);
    for (uint32_t mask : layout.masks)
        PutU32(out, mask);
    for (uint32_t color : layout.palette)
        PutU32(out, color);
    for (int r = 0; r < rows; r++) {
        int y = layout.height < 0 ? r : rows - 1 - r;
        std::string line;
        for (int x = 0; x < layout.width; x++) {
            COLORREF c = pixel(x, y);
            switch (layout.bitCount) {
            case 32:
                line.push_back((char)GetBValue(c));
                line.push_back((char)GetGValue(c));
                line.push_back((char)GetRValue(c));
                line.push_back(0);
                break;
            case 24:
                line.push_back((char)GetBValue(c));
                line.push_back((char)GetGValue(c));
                line.push_back((char)GetRValue(c));
                break;
            case 16:
                PutU16(line, (uint16_t)c);
                break;
            case 8:
                line.push_back((char)c);
                break;
            case 4:
            case 1: {
                int bit = x * layout.bitCount % 8;
                if (bit == 0)
                    line.push_back(0);
                uint32_t value = c & ((1u << layout.bitCount) - 1);
                line.back() = (char)(line.back() | value << (8 - layout.bitCount - bit));
                break;
            }
            }
        }
        line.resize(stride, '\0');
        out += line;
    }
    return out;
}

Canvas::Canvas(int width, int height) : width_(width), height_(height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void *bits = nullptr;
    dc_ = CreateCompatibleDC(NULL);
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    pixels_ = (uint32_t *)bits;
    previous_ = SelectObject(dc_, bitmap_);
    memset(pixels_, 0xFF, (size_t)width * height * 4);
}

Canvas::~Canvas()
{
    SelectObject(dc_, previous_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
}

COLORREF Canvas::At(int x, int y) const
{
    GdiFlush();
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return CLR_INVALID;
    uint32_t v = pixels_[(size_t)y * width_ + x];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

bool Canvas::Blank(const RECT &area) const
{
    return CountColor(area, RGB(255, 255, 255)) == (area.right - area.left) * (area.bottom - area.top);
}

bool Canvas::SameAs(const Canvas &other, const RECT &area) const
{
    for (int y = area.top; y < area.bottom; y++)
        for (int x = area.left; x < area.right; x++)
            if (At(x, y) != other.At(x, y))
                return false;
    return true;
}

int Canvas::CountColor(const RECT &area, COLORREF color) const
{
    int count = 0;
    for (int y = area.top; y < area.bottom; y++)
        for (int x = area.left; x < area.right; x++)
            if (At(x, y) == color)
                count++;
    return count;
}

void DrawReference(Canvas &canvas, const wchar_t *text, const RECT &box, UINT format,
                   const LOGFONTA *fontTemplate, int points, COLORREF color, int bkMode)
{
    HDC dc = canvas.dc();
    HFONT font = fontTemplate != nullptr ? CreateUiFont(fontTemplate, points, dc) : NULL;
    HGDIOBJ previous = font != NULL ? SelectObject(dc, font) : NULL;
    COLORREF oldColor = SetTextColor(dc, color);
    int oldMode = SetBkMode(dc, bkMode);
    RECT area = box;
    DrawTextW(dc, text, -1, &area, format);
    SetBkMode(dc, oldMode);
    SetTextColor(dc, oldColor);
    if (font != NULL) {
        SelectObject(dc, previous);
        DeleteObject(font);
    }
}

void BlitReference(Canvas &canvas, HBITMAP bitmap, const BITMAP &info, int x, int y)
{
    HDC memory = CreateCompatibleDC(canvas.dc());
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(canvas.dc(), x, y, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
}

DWORD CountGdiObjects()
{
    DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (count != 0)
        return count;
    // Wine answers 0; its handles carry their table index in the low word,
    // and a handle given without its generation still names the live entry.
    for (ULONG_PTR index = 1; index < 0x10000; index++)
        if (GetObjectType((HGDIOBJ)index) != 0)
            count++;
    return count;
}

std::string ClipboardText()
{
    if (!OpenClipboardWithin(NULL, CLIPBOARD_DEADLINE_MS))
        return "<clipboard busy>";
    std::string text;
    HANDLE data = GetClipboardData(CF_TEXT);
    if (data != NULL) {
        const char *p = (const char *)GlobalLock(data);
        if (p != nullptr)
            text = std::string(p, strnlen(p, GlobalSize(data)));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

bool PutClipboardText(const std::string &text)
{
    if (!OpenClipboardWithin(NULL, CLIPBOARD_DEADLINE_MS))
        return false;
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    memcpy(GlobalLock(block), text.c_str(), text.size() + 1);
    GlobalUnlock(block);
    SetClipboardData(CF_TEXT, block);
    CloseClipboard();
    return true;
}

HWND TestPanelWindow()
{
    static HWND window;
    if (window == NULL) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = PanelStandIn;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = "UiTestPanel";
        RegisterClassA(&wc);
        window = CreateWindowExA(WS_EX_TOOLWINDOW, "UiTestPanel", "panel", WS_POPUP, 0, 0, 180,
                                 600, NULL, NULL, GetModuleHandleA(NULL), NULL);
    }
    return window;
}

void UiTest::SetUp()
{
    appInstance = GetModuleHandleA(NULL);
    LoadBitmap(IDB_LOGO, &logoBitmap, &logoInfo);
    LoadBitmap(IDB_SKY, &skyBitmap, &skyInfo);
    LoadBitmap(IDB_OBJ, &objBitmap, &objInfo);
    LoadBitmap(IDB_SYS, &sysBitmap, &sysInfo);

    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    snprintf(settingsFilePath, sizeof settingsFilePath, "%sclipdock-ui-test.ini", temp);
    DeleteFileA(settingsFilePath);

    memset(itemSlots, 0, sizeof itemSlots);
    RemoveTestItems();
    transparencyMin = 16;
    transparencyMax = 255;
    targetAlpha = 0;
    listTopRow = 0;
    listRowCount = 0;
    panelHidden = false;
    panelFadeTicks = 0;
    panelWindow = TestPanelWindow();
    ShowWindow(panelWindow, SW_HIDE);
}

void UiTest::TearDown()
{
    memset(itemSlots, 0, sizeof itemSlots);
    RemoveTestItems();
    DeleteFileA(settingsFilePath);
}
