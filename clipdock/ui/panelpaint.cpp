/*
 * panelpaint.cpp: the panel's WM_PAINT. Nothing is cached between paints:
 * the fonts are made anew and the current item is read for its preview
 * every time, and every font, pen and device context made here is released
 * before the paint ends.
 */
#include "ui/panelpaint.h"

#include "collection/slots.h"
#include "shell/globals.h"
#include "ui/fonts.h"
#include "ui/panel.h"
#include "ui/preview.h"

const char PANEL_FOOTER_TEXT[] = "Tarn's Clipboard 2006";

namespace {

const int HEADER_EXTRA = 60;   // the header strip is the logo's height and this
const int FOOTER_HEIGHT = 20;
const int FRAME_WIDTH = 3;

void BlitBitmap(HDC dc, HDC memory, HBITMAP bitmap, int x, int y, int width, int height,
                DWORD operation)
{
    if (bitmap == NULL)
        return;
    HGDIOBJ previous = SelectObject(memory, bitmap);
    if (previous == NULL)
        return;
    BitBlt(dc, x, y, width, height, memory, 0, 0, operation);
    SelectObject(memory, previous);
}

// The counter and the frame around the preview box, in the frame pen.
void DrawPreviewFrame(HDC dc, int width, int logoHeight)
{
    HPEN pen = CreatePen(PS_SOLID, FRAME_WIDTH, PANEL_FRAME_COLOR);
    HGDIOBJ previousPen = pen != NULL ? SelectObject(dc, pen) : NULL;
    SetTextColor(dc, PANEL_TEXT_COLOR);

    int current = FindCurrentSlot();
    char counter[32];
    if (current != 0 && (itemSlots[current].flags & SLOT_CURRENT) != 0)
        wsprintfA(counter, "[%d]", current);
    else
        lstrcpyA(counter, "[*]");
    RECT counterBox = {width - 28, logoHeight + 41, width - 3, logoHeight + 59};
    DrawTextA(dc, counter, -1, &counterBox, DT_SINGLELINE | DT_VCENTER | DT_CENTER);

    const POINT frame[] = {
        {2, logoHeight + 2},
        {width - 3, logoHeight + 2},
        {width - 3, logoHeight + 58},
        {2, logoHeight + 58},
        {2, logoHeight + 2},
    };
    Polyline(dc, frame, 5);

    if (previousPen != NULL)
        SelectObject(dc, previousPen);
    if (pen != NULL)
        DeleteObject(pen);
    SelectObject(dc, GetStockObject(BLACK_PEN));
}

}  // namespace

void DrawHeaderImages(HDC dc, int width, bool withButtons)
{
    int logoHeight = logoInfo.bmHeight;
    RECT header = {0, 0, width, logoHeight + HEADER_EXTRA};
    FillRect(dc, &header, (HBRUSH)GetStockObject(WHITE_BRUSH));
    HDC memory = CreateCompatibleDC(dc);
    if (memory == NULL)
        return;
    BlitBitmap(dc, memory, skyBitmap, 0, 0, skyInfo.bmWidth, logoHeight, SRCCOPY);
    BlitBitmap(dc, memory, logoBitmap, width / 2 - logoInfo.bmWidth / 2, 0, logoInfo.bmWidth,
               logoHeight, SRCAND);
    if (withButtons)
        BlitBitmap(dc, memory, sysBitmap, width - sysInfo.bmWidth, 0, sysInfo.bmWidth,
                   sysInfo.bmHeight, SRCAND);
    DeleteDC(memory);
}

void DrawPanel(HDC dc, const RECT &client)
{
    int width = client.right, logoHeight = logoInfo.bmHeight;
    DrawHeaderImages(dc, width, true);

    if (listTopRow > SLOT_COUNT)
        listTopRow = SLOT_COUNT;

    HFONT previewFont = CreateUiFont(&regularFontTemplate, 8, dc);
    HGDIOBJ savedFont = previewFont != NULL ? SelectObject(dc, previewFont) : NULL;
    HFONT footerFont = CreateUiFont(&boldFontTemplate, 8, dc);

    RECT previewBox = {8, logoHeight + 8, width - 8, logoHeight + 52};
    DrawItemPreview(FindCurrentSlot(), &previewBox, dc, (DWORD)(width - 16), 44);

    DrawPreviewFrame(dc, width, logoHeight);

    RECT footer = {0, client.bottom - FOOTER_HEIGHT, width, client.bottom};
    HGDIOBJ beforeFooter = footerFont != NULL ? SelectObject(dc, footerFont) : NULL;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, PANEL_TEXT_COLOR);
    DrawTextA(dc, PANEL_FOOTER_TEXT, -1, &footer, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    if (beforeFooter != NULL)
        SelectObject(dc, beforeFooter);

    if (savedFont != NULL)
        SelectObject(dc, savedFont);
    if (previewFont != NULL)
        DeleteObject(previewFont);
    if (footerFont != NULL)
        DeleteObject(footerFont);
}

void PaintPanel(HWND panel)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(panel, &paint);
    if (dc == NULL)
        return;
    RECT client;
    GetClientRect(panel, &client);
    DrawPanel(dc, client);
    EndPaint(panel, &paint);
}
