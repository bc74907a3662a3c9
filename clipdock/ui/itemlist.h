/* The item list: the history as a scrolling list inside the panel. */
#ifndef CLIPDOCK_UI_ITEMLIST_H
#define CLIPDOCK_UI_ITEMLIST_H

#include <windows.h>

// From the panel when it fades out: back to the top row and repaint.
#define LIST_RESET_MESSAGE (WM_APP + 0)

#define LIST_ROW_HEIGHT 60
#define LIST_SCROLL_MAX 31

// Rows drawn per paint, the hidden row 0 included; recomputed on WM_SIZE.
extern DWORD listRowCount;

LRESULT CALLBACK ItemListWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The rows of a paint, into dc for a client area of client's size.
void DrawItemList(HDC dc, const RECT &client);
// Sets the scroll position alone, redrawn; returns the position the scroll
// bar kept (it stays within 0 .. max - page + 1).
int SetListPosition(HWND list, int position);
// Rows drawn for a client height.
DWORD ListRowCountFor(int clientHeight);
// The slot under client y coordinate y (0 or more) at the current scroll position.
DWORD ListSlotAt(int y);
// The slot the first visible row shows at the top of the list: 1, the
// newest history entry; or 0 while slot 0 holds an item that is not
// current (a restore with the history full, or a start, leaves it so),
// which would otherwise be out of sight.
DWORD ListFirstSlot();

#endif
