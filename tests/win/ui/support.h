/*
 * Shared pieces of the user-interface tests: item files written through
 * libtarn into the slot table, the header bitmaps loaded from the program's
 * resources, a 32-bit memory canvas with pixel access, reference drawings
 * to compare text against, the clipboard read back, and the process's GDI
 * object count.
 */
#ifndef TESTS_WIN_UI_SUPPORT_H
#define TESTS_WIN_UI_SUPPORT_H

#include <windows.h>
#include <stdint.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "itemfiles.h"
#include "poll.h"

using Entry = ItemEntry;

// Writes an item file named "\ui-test-<slot>.crx" into the item folder and
// puts it into slot with flags.
void StoreItem(int slot, const std::vector<Entry> &entries, DWORD flags);
void StoreText(int slot, const std::string &text, DWORD flags);
// A slot that names a file which does not exist.
void StoreMissing(int slot, DWORD flags);
// Bytes written as the item file of slot (a damaged file, say).
void StoreRawFile(int slot, const std::string &bytes, DWORD flags);
std::string ItemFileBytes(int slot);

// A packed DIB (header, optional masks and colour table, pixels).
struct DibLayout {
    DibLayout(int w, int h, int bits = 24, uint32_t compressionType = BI_RGB,
            std::vector<uint32_t> fieldMasks = {})
        : width(w), height(h), bitCount(bits), compression(compressionType), masks(fieldMasks)
    {
    }
    int width;
    int height;  // negative: top-down
    int bitCount;
    uint32_t compression;
    std::vector<uint32_t> masks;    // written after a 40-byte header
    std::vector<uint32_t> palette;  // 0x00RRGGBB entries
    uint32_t colorsUsed = 0;
};
// pixel(x, y) gives the colour (COLORREF for 24/32 bits, the raw value otherwise,
// a palette index for 1, 4 and 8 bits)
// of the picture's point x, y counted from its top-left corner.
std::string MakeDib(const DibLayout &layout, COLORREF (*pixel)(int x, int y));

// A white 32-bit memory canvas; pixels read back as COLORREF.
class Canvas {
public:
    Canvas(int width, int height);
    ~Canvas();
    Canvas(const Canvas &) = delete;
    Canvas &operator=(const Canvas &) = delete;
    HDC dc() const { return dc_; }
    int width() const { return width_; }
    int height() const { return height_; }
    COLORREF At(int x, int y) const;
    // Every pixel of the rectangle is white.
    bool Blank(const RECT &area) const;
    bool SameAs(const Canvas &other, const RECT &area) const;
    int CountColor(const RECT &area, COLORREF color) const;

private:
    int width_, height_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ previous_;
    uint32_t *pixels_;
};

// Draws text into the canvas as the program would, with a font made from
// the template at points (NULL: the DC's own font).
void DrawReference(Canvas &canvas, const wchar_t *text, const RECT &box, UINT format,
                   const LOGFONTA *fontTemplate, int points, COLORREF color, int bkMode);
// The header bitmaps' pixels as copied into a white canvas at x, y.
void BlitReference(Canvas &canvas, HBITMAP bitmap, const BITMAP &info, int x, int y);

// The process's GDI objects: GetGuiResources where the platform answers it,
// otherwise the live handles found by their table index.
DWORD CountGdiObjects();

std::string ClipboardText();  // CF_TEXT now on the clipboard, or ""
bool PutClipboardText(const std::string &text);

// Every test starts with the header bitmaps loaded, an empty slot table,
// no test item files, the default transparency range and the panel state
// reset; settingsFilePath names a private file in the temporary folder.
class UiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

// A hidden top-level window standing in for the panel: counts its timers.
HWND TestPanelWindow();
extern int panelFadeTicks;

#endif
