/*
 * popup.cpp: the quick-view popup ("Betal_Notify", "Clipboard Viewer").
 * With Ctrl and Alt held, the hook's Up and Down put the neighbouring item
 * onto the clipboard, Space brings the panel up and Shift sends it away;
 * the popup shows a capture (or the held left Shift and Alt keys) only
 * while the panel is hidden, and slides out of sight three seconds later.
 */
#include "ui/popup.h"

#include "collection/capture.h"
#include "collection/clipboard.h"
#include "collection/restore.h"
#include "collection/slots.h"
#include "shell/globals.h"
#include "tarnhook.h"
#include "ui/fonts.h"
#include "ui/itemlist.h"
#include "ui/panel.h"
#include "ui/panelpaint.h"
#include "ui/preview.h"

SHORT(WINAPI *popupKeyState)(int key) = GetAsyncKeyState;

namespace {

// The list shows eight rows after a size; the current slot stays among them.
const DWORD FOLLOW_ROWS = 8;

// The lParam of a hotkey the popup posted back to itself (the hook's is 0),
// and how many of those are queued.
const LPARAM DEFERRED_HOTKEY = 1;
int deferredHotkeys = 0;

// Brings the panel up (sendAway false) or lets it fade out (true).
void CallThePanel(bool sendAway)
{
    if (panelWindow != NULL)
        CallPanel(panelWindow, sendAway);
}

void ShowRequest(HWND popup)
{
    if (!panelHidden)
        return;
    ShowQuickView(popup);
    SetTimer(popup, POPUP_HIDE_TIMER, POPUP_SHOW_PERIOD, NULL);
}

void RestoreIfOccupied(int slot)
{
    if (itemSlots[slot].flags & SLOT_OCCUPIED)
        RestoreClipboardItem(slot, itemListWindow);
}

void Hotkey(HWND popup, WPARAM mask)
{
    // A copy that waits for the clipboard is the newest item: a step starts from it.
    if ((mask == HOTKEY_UP || mask == HOTKEY_DOWN) && CaptureWaiting())
        RetryCapture();
    int current = FindCurrentSlot();
    switch (mask) {
    case HOTKEY_UP:
        if (current == 0)
            break;  // nothing is newer than the incoming slot
        RestoreIfOccupied(current - 1);
        CallThePanel(false);
        break;
    case HOTKEY_DOWN:
        if (current == SLOT_COUNT - 1)
            break;  // the oldest: no step and no panel call
        RestoreIfOccupied(current + 1);
        CallThePanel(false);
        break;
    case HOTKEY_SPACE:
        CallThePanel(false);
        break;
    case HOTKEY_SHIFT:
        CallThePanel(true);
        break;
    default:
        // Any other key, and every chord of two or more keys.
        break;
    }
    if (current != 0)
        FollowCurrentItem();
    ShowRequest(popup);
}

// A hotkey sent while a capture or restore holds the clipboard (the platform
// dispatches sent messages while it waits for another program's rendering)
// would run its restore inside that operation: it is posted back to itself,
// marked, and runs once the operation is over. Hotkeys sent while any such
// one is still queued go behind it, so the steps keep the order of the keys.
void MsgHotkey(HWND popup, WPARAM mask, LPARAM mark)
{
    bool requeued = mark == DEFERRED_HOTKEY && deferredHotkeys > 0;
    if (requeued)
        deferredHotkeys--;
    if (ClipboardHeld() || (!requeued && deferredHotkeys > 0)) {
        if (PostMessageA(popup, HOTKEY_MESSAGE, mask, DEFERRED_HOTKEY))
            deferredHotkeys++;
        return;
    }
    Hotkey(popup, mask);
}

void SlideStep(HWND popup)
{
    KillTimer(popup, POPUP_HIDE_TIMER);
    RECT frame;
    if (!GetWindowRect(popup, &frame))
        return;
    int height = frame.bottom - frame.top;
    if (height <= POPUP_SLIDE_STEP) {
        ShowWindow(popup, SW_HIDE);
        return;
    }
    MoveWindow(popup, frame.left, frame.top + POPUP_SLIDE_STEP, frame.right - frame.left,
               height - POPUP_SLIDE_STEP, TRUE);
    SetTimer(popup, POPUP_HIDE_TIMER, POPUP_SLIDE_PERIOD, NULL);
}

void KeyPoll(HWND popup)
{
    if (popupKeyState(VK_LSHIFT) != 0 && popupKeyState(VK_LMENU) != 0)
        SendMessageA(popup, POPUP_SHOW_MESSAGE, 0, 0);
}

void MsgPaint(HWND popup)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(popup, &paint);
    if (dc == NULL)
        return;
    RECT client;
    GetClientRect(popup, &client);
    DrawQuickView(dc, client);
    EndPaint(popup, &paint);
}

void MsgTimer(HWND popup, WPARAM id)
{
    if (id == POPUP_HIDE_TIMER)
        SlideStep(popup);
    else if (id == KEY_POLL_TIMER)
        KeyPoll(popup);
}

void MsgActivate(HWND popup, WPARAM wParam)
{
    if (LOWORD(wParam) != WA_INACTIVE)
        ShowQuickView(popup);
    else
        SetTimer(popup, POPUP_HIDE_TIMER, POPUP_SHOW_PERIOD, NULL);
}

}  // namespace

void ShowQuickView(HWND popup)
{
    KillTimer(popup, POPUP_HIDE_TIMER);
    RECT work;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0))
        SetRect(&work, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    // On top of the other always-on-top windows: the panel, once it was
    // activated, lies above the popup's place, and a panel sent away at an
    // opaque minimum would hide the popup's preview.
    SetWindowPos(popup, HWND_TOPMOST, work.right - 160, work.bottom - POPUP_HEIGHT, POPUP_WIDTH,
                 POPUP_HEIGHT, SWP_NOACTIVATE);
    ShowWindow(popup, SW_SHOWNOACTIVATE);
    RepaintNow(popup);
}

void FollowCurrentItem()
{
    if (itemListWindow == NULL)
        return;
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    GetScrollInfo(itemListWindow, SB_VERT, &info);
    DWORD position = (DWORD)info.nPos;
    // The scroll position that shows the current slot in the first visible
    // row. Unsigned: with the incoming slot current, it is the largest
    // number and the list goes back to the top.
    DWORD above = (DWORD)FindCurrentSlot() - ListFirstSlot();
    if (position + (FOLLOW_ROWS - 1) < above)
        listTopRow = (DWORD)SetListPosition(itemListWindow, (int)(above - (FOLLOW_ROWS - 1)));
    else if (position > above)
        listTopRow = (DWORD)SetListPosition(itemListWindow, (int)above);
    RepaintNow(itemListWindow);
}

void DrawQuickView(HDC dc, const RECT &client)
{
    int width = client.right;
    DrawHeaderImages(dc, width, false);
    HFONT font = CreateUiFont(&regularFontTemplate, 8, dc);
    HGDIOBJ previous = font != NULL ? SelectObject(dc, font) : NULL;
    SetBkMode(dc, TRANSPARENT);
    RECT box = {3, 15, width - 3, 117};
    DrawItemPreview(FindCurrentSlot(), &box, dc, (DWORD)(width - 6), 102);
    if (font != NULL) {
        SelectObject(dc, previous);
        DeleteObject(font);
    }
}

LRESULT CALLBACK PopupWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        deferredHotkeys = 0;  // a new window's queue holds none
        SetTimer(window, KEY_POLL_TIMER, KEY_POLL_PERIOD, NULL);
        break;
    case WM_DESTROY:
        KillTimer(window, KEY_POLL_TIMER);
        break;
    case WM_ACTIVATE:
        MsgActivate(window, wParam);
        break;
    case WM_PAINT:
        MsgPaint(window);
        break;
    case WM_TIMER:
        MsgTimer(window, wParam);
        break;
    case POPUP_SHOW_MESSAGE:
        ShowRequest(window);
        break;
    case HOTKEY_MESSAGE:
        MsgHotkey(window, wParam, lParam);
        break;
    }
    // Every message, handled or not, ends in the default procedure.
    return DefWindowProcA(window, message, wParam, lParam);
}
