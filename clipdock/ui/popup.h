/*
 * The quick-view popup at the bottom right of the work area: the receiver
 * of the keyboard hook's HOTKEY_MESSAGE, and a glimpse of a new capture
 * while the panel is hidden.
 */
#ifndef CLIPDOCK_UI_POPUP_H
#define CLIPDOCK_UI_POPUP_H

#include <windows.h>

// Timers of the popup window, with their periods in milliseconds.
#define POPUP_HIDE_TIMER 5
#define KEY_POLL_TIMER 7
#define POPUP_SHOW_PERIOD 3000
#define POPUP_SLIDE_PERIOD 50
#define KEY_POLL_PERIOD 1000
#define POPUP_SLIDE_STEP 12

#define POPUP_WIDTH 150
#define POPUP_HEIGHT 120

// The key state the poll reads: GetAsyncKeyState, or a test's stand-in.
extern SHORT(WINAPI *popupKeyState)(int key);

LRESULT CALLBACK PopupWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Full size at the bottom right of the work area, shown without activation.
void ShowQuickView(HWND popup);
// Scrolls the item list so that the current slot is among its first eight rows.
void FollowCurrentItem();
// The popup's picture, into dc for a client area of client's size.
void DrawQuickView(HDC dc, const RECT &client);

#endif
