/*
 * itemlist.cpp: the item list window ("Betal_Clipboard"). One 60-pixel row
 * per slot, each with its number and a preview; row 0 lies above the client
 * area, so at the top the list shows the history from slot 1 on. Scrolling,
 * moving over and clicking the list keep the panel awake, and a click puts
 * the row's item back onto the clipboard.
 */
#include "ui/itemlist.h"

#include "collection/restore.h"
#include "collection/slots.h"
#include "shell/globals.h"
#include "ui/fonts.h"
#include "ui/panel.h"
#include "ui/preview.h"

DWORD listRowCount = 0;

namespace {

struct RowColors {
    COLORREF frame;
    COLORREF number;
};

const RowColors FREE_ROW = {RGB(93, 255, 255), RGB(93, 179, 255)};
const RowColors CURRENT_ROW = {RGB(0, 14, 55), RGB(0, 102, 204)};
const RowColors OCCUPIED_ROW = {RGB(0, 128, 234), RGB(0, 102, 204)};

const int CREATE_PAGE = 5;
const int SIZE_PAGE = 8;

void SetScrollRange(HWND list, UINT page)
{
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = 0;
    info.nMax = LIST_SCROLL_MAX;
    info.nPage = page;
    info.nPos = 0;
    SetScrollInfo(list, SB_VERT, &info, TRUE);
}

void RepaintListAndPanel(HWND list)
{
    RepaintNow(list);
    RepaintNow(panelWindow);
}

void WakeThePanel()
{
    if (panelWindow != NULL)
        WakePanel(panelWindow);
}

// base is the font of the whole paint, selected back after a bold number.
void DrawRow(HDC dc, int width, DWORD row, DWORD slot, HGDIOBJ base, HFONT bold)
{
    int y = LIST_ROW_HEIGHT * (int)row - 59;
    DWORD flags = itemSlots[slot].flags;
    const RowColors &colors =
        flags == 0 ? FREE_ROW : (flags & SLOT_CURRENT) ? CURRENT_ROW : OCCUPIED_ROW;

    HPEN pen = CreatePen(PS_SOLID, 1, colors.frame);
    HGDIOBJ previousPen = pen != NULL ? SelectObject(dc, pen) : NULL;
    const POINT frame[] = {
        {1, y}, {width - 2, y}, {width - 2, y + 58}, {1, y + 58}, {1, y},
    };
    Polyline(dc, frame, 5);
    if (pen != NULL) {
        SelectObject(dc, previousPen);
        DeleteObject(pen);
    }

    bool boldSelected = flags != 0 && bold != NULL;
    if (boldSelected)
        SelectObject(dc, bold);
    SetTextColor(dc, colors.number);
    char number[256];
    wsprintfA(number, "%d", (int)slot);
    RECT label = {3, y + 2, 19, y + 56};
    DrawTextA(dc, number, -1, &label, DT_SINGLELINE | DT_BOTTOM);
    SetTextColor(dc, RGB(0, 0, 0));
    if (boldSelected)
        SelectObject(dc, base);

    RECT preview = {20, y + 2, width - 20, y + 56};
    DrawItemPreview((int)slot, &preview, dc, (DWORD)(width - 40), 54);
}

LRESULT MsgCreate(HWND list, WPARAM wParam, LPARAM lParam)
{
    SetScrollRange(list, CREATE_PAGE);
    return DefWindowProcA(list, WM_CREATE, wParam, lParam);
}

LRESULT MsgSize(HWND list, WPARAM wParam, LPARAM lParam)
{
    listRowCount = ListRowCountFor(HIWORD(lParam));
    SetScrollRange(list, SIZE_PAGE);
    return DefWindowProcA(list, WM_SIZE, wParam, lParam);
}

LRESULT MsgPaint(HWND list, WPARAM wParam, LPARAM lParam)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(list, &paint);
    if (dc != NULL) {
        RECT client;
        GetClientRect(list, &client);
        DrawItemList(dc, client);
        EndPaint(list, &paint);
    }
    return DefWindowProcA(list, WM_PAINT, wParam, lParam);
}

LRESULT MsgVScroll(HWND list, WPARAM wParam)
{
    WakeThePanel();
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    GetScrollInfo(list, SB_VERT, &info);
    // Compared unsigned, as the position and page are counts.
    DWORD minimum = (DWORD)info.nMin, maximum = (DWORD)info.nMax, page = info.nPage;
    DWORD position = (DWORD)info.nPos;
    DWORD next = position;
    switch (LOWORD(wParam)) {
    case SB_LINEUP:
        next = position - 1;
        break;
    case SB_LINEDOWN:
        next = position + 1;
        break;
    case SB_PAGEUP:
        next = position < page ? minimum : position - page;
        break;
    case SB_PAGEDOWN:
        next = position + page <= maximum ? position + page : position;
        break;
    case SB_THUMBPOSITION:
        next = position;
        break;
    case SB_THUMBTRACK:
        next = (DWORD)info.nTrackPos;
        break;
    case SB_TOP:
        next = minimum;
        break;
    case SB_BOTTOM:
        next = maximum;
        break;
    }
    int kept = SetListPosition(list, (int)next);
    if ((DWORD)kept != position) {
        listTopRow = (DWORD)kept;
        RepaintNow(list);
    }
    return 0;
}

LRESULT MsgLButtonDown(HWND list, WPARAM wParam, LPARAM lParam)
{
    WakeThePanel();
    int y = (short)HIWORD(lParam);
    DWORD slot = ListSlotAt(y < 0 ? 0 : y);
    if (slot < SLOT_COUNT)
        RestoreClipboardItem((int)slot, itemListWindow);
    RepaintListAndPanel(list);
    return DefWindowProcA(list, WM_LBUTTONDOWN, wParam, lParam);
}

LRESULT MsgListReset(HWND list, WPARAM wParam, LPARAM lParam)
{
    SetListPosition(list, 0);
    listTopRow = 0;
    RepaintListAndPanel(list);
    return DefWindowProcA(list, LIST_RESET_MESSAGE, wParam, lParam);
}

}  // namespace

int SetListPosition(HWND list, int position)
{
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_POS;
    info.nPos = position;
    SetScrollInfo(list, SB_VERT, &info, TRUE);
    GetScrollInfo(list, SB_VERT, &info);
    return info.nPos;
}

DWORD ListRowCountFor(int clientHeight)
{
    return (DWORD)(clientHeight + 119) / LIST_ROW_HEIGHT;
}

DWORD ListSlotAt(int y)
{
    return listTopRow + ListFirstSlot() + (DWORD)y / LIST_ROW_HEIGHT;
}

DWORD ListFirstSlot()
{
    DWORD incoming = itemSlots[0].flags;
    return incoming != 0 && !(incoming & SLOT_CURRENT) ? 0 : 1;
}

void DrawItemList(HDC dc, const RECT &client)
{
    if (listTopRow > SLOT_COUNT)
        listTopRow = SLOT_COUNT;
    HFONT regular = CreateUiFont(&regularFontTemplate, 7, dc);
    HGDIOBJ savedFont = regular != NULL ? SelectObject(dc, regular) : NULL;
    HFONT bold = CreateUiFont(&boldFontTemplate, 10, dc);
    HGDIOBJ base = GetCurrentObject(dc, OBJ_FONT);

    // Every slot down to 31 is drawn, also while the incoming item is
    // current: with 32 items the panel's own preview shows slot 0 and the
    // list the other 31, so none is out of sight. The hidden row 0 shows the
    // slot before the first visible one, if there is such a slot.
    DWORD before = ListFirstSlot() - 1;
    for (DWORD row = 0; row < listRowCount; row++) {
        if (listTopRow + row + before == (DWORD)-1)
            continue;
        DWORD slot = listTopRow + row + before;
        if (slot >= SLOT_COUNT)
            break;
        DrawRow(dc, client.right, row, slot, base, bold);
    }

    if (savedFont != NULL)
        SelectObject(dc, savedFont);
    if (regular != NULL)
        DeleteObject(regular);
    if (bold != NULL)
        DeleteObject(bold);
}

LRESULT CALLBACK ItemListWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return MsgCreate(window, wParam, lParam);
    case WM_SIZE:
        return MsgSize(window, wParam, lParam);
    case WM_PAINT:
        return MsgPaint(window, wParam, lParam);
    case WM_VSCROLL:
        return MsgVScroll(window, wParam);
    case WM_MOUSEMOVE:
        WakeThePanel();
        break;
    case WM_LBUTTONDOWN:
        return MsgLButtonDown(window, wParam, lParam);
    case LIST_RESET_MESSAGE:
        return MsgListReset(window, wParam, lParam);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
