/*
 * panel.cpp: the panel's window procedure and its state: the clipboard
 * viewer chain, the fade and the timers behind it, the non-client hit test
 * with the window-button glyphs, the menus and the commands.
 */
#include "ui/panel.h"

#include <commctrl.h>

#include "collection/capture.h"
#include "collection/restore.h"
#include "collection/retry.h"
#include "collection/slots.h"
#include "resources/resource.h"
#include "shell/globals.h"
#include "shell/startup.h"
#include "shell/tray.h"
#include "ui/dialogs.h"
#include "ui/itemlist.h"
#include "ui/panelpaint.h"

DWORD transparencyMin = 16;
DWORD transparencyMax = 255;
DWORD currentAlpha = 0;
DWORD targetAlpha = 0;
bool keepPanelShown = false;
bool hideWhenFaded = false;
HWND nextClipboardViewer = NULL;
DWORD listTopRow = 0;

namespace {

// Widths of the window buttons, counted from the right edge of the window.
const int CLOSE_AREA_WIDTH = 18;
const int BUTTON_AREA_WIDTH = 40;

// Which way the fade goes. The limits may be equal (a user who wants no
// fading), so the target alone cannot tell a show from a fade-out.
bool fadingIn = false;

// The hover watch: whether the pointer has been off the panel since the
// watch started, where it rested at the last tick, and for how many ticks
// since it arrived there.
bool hoverArmed = false;
POINT hoverPoint;
int hoverTicks = 0;

// A new fade target, and the inactivity count started over.
void FadeTowards(HWND panel, DWORD alpha, bool in)
{
    targetAlpha = alpha;
    fadingIn = in;
    RestartTimer(panel, FADE_TIMER, FADE_PERIOD);
    RestartTimer(panel, AUTOHIDE_TIMER, AUTOHIDE_PERIOD);
}

// Strictly inside the panel's window rectangle; cursor is where it is.
bool PointerOnPanel(HWND panel, POINT *cursor)
{
    RECT frame;
    return GetCursorPos(cursor) && GetWindowRect(panel, &frame) && cursor->x > frame.left &&
           cursor->x < frame.right && cursor->y > frame.top && cursor->y < frame.bottom;
}

// Only a shown panel is watched: a pointer resting where a hidden panel
// lies must not bring it to full opacity unseen. A pointer already on the
// panel (it chose "Hide", or rests there while the panel hides itself)
// counts only once it has left and come back.
void StartHoverWatch(HWND panel)
{
    if (!IsWindowVisible(panel))
        return;
    POINT cursor;
    hoverArmed = !PointerOnPanel(panel, &cursor);
    hoverTicks = -1;
    RestartTimer(panel, HOVER_TIMER, HOVER_PERIOD);
}

void StopHoverWatch(HWND panel)
{
    KillTimer(panel, HOVER_TIMER);
}

void EndClickThrough(HWND panel)
{
    if (GetWindowLongA(panel, GWL_EXSTYLE) & WS_EX_TRANSPARENT)
        SetWindowLongA(panel, GWL_EXSTYLE, (LONG)panelExStyle);
}

void HidePanel(HWND panel)
{
    ShowWindow(panel, SW_HIDE);
    panelHidden = true;
    StopHoverWatch(panel);
}

void ShowDialog(HWND panel, WORD templateId, DLGPROC procedure)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);  // the Settings box's spin controls
    DialogBoxParamA(appInstance, MAKEINTRESOURCEA(templateId), panel, procedure, 0);
}

LRESULT MsgCreate(HWND panel, WPARAM wParam, LPARAM lParam)
{
    // The first capture runs before CreateWindowEx returns, and its tray
    // notice already needs the panel's handle.
    panelWindow = panel;
    listTopRow = 0;
    currentAlpha = transparencyMin;
    // Joining the chain runs the first capture before SetClipboardViewer
    // returns, so clipboardWasEmpty is already known below.
    nextClipboardViewer = SetClipboardViewer(panel);
    if (clipboardWasEmpty && (itemSlots[0].flags & SLOT_OCCUPIED) != 0) {
        // Putting the newest item back is no news: the capture of this change
        // counts as the first one and gives no notice, which would otherwise
        // come before the tray icon and the popup exist.
        firstCapturePending = true;
        RestoreClipboardItem(0, panel);
        // Whatever the restore did (placed, waits, or found nothing to
        // place), every later change is news: the user's own restores are
        // told apart by their owner, and a copy cancels a restore that waits.
        firstCapturePending = false;
    }
    SetTimer(panel, INSTALLER_PROBE_TIMER, INSTALLER_PROBE_PERIOD, NULL);
    return DefWindowProcA(panel, WM_CREATE, wParam, lParam);
}

LRESULT MsgSize(HWND panel, WPARAM wParam, LPARAM lParam)
{
    WakePanel(panel);
    int width = LOWORD(lParam), height = HIWORD(lParam);
    int header = logoInfo.bmHeight + 60;
    if (itemListWindow != NULL)
        MoveWindow(itemListWindow, 0, header, width, height - logoInfo.bmHeight - 80, TRUE);
    return DefWindowProcA(panel, WM_SIZE, wParam, lParam);
}

LRESULT MsgPaint(HWND panel, WPARAM wParam, LPARAM lParam)
{
    PaintPanel(panel);
    return DefWindowProcA(panel, WM_PAINT, wParam, lParam);
}

LRESULT MsgClose(HWND panel, WPARAM wParam, LPARAM lParam)
{
    ChangeClipboardChain(panel, nextClipboardViewer);
    nextClipboardViewer = NULL;
    KillTimer(panel, INSTALLER_PROBE_TIMER);
    StopHoverWatch(panel);
    PostQuitMessage(0);
    return DefWindowProcA(panel, WM_CLOSE, wParam, lParam);
}

// A menu tracked for a window that is not in the foreground stays open
// when the user clicks elsewhere; the empty message after it lets the
// platform finish the menu's mode.
void TrackMenu(HWND panel, HMENU menu, int x, int y)
{
    SetForegroundWindow(panel);
    TrackPopupMenu(menu, 0, x, y, 0, panel, NULL);
    PostMessageA(panel, WM_NULL, 0, 0);
}

LRESULT MsgContextMenu(HWND panel, WPARAM wParam, LPARAM lParam)
{
    HMENU menu = CreatePopupMenu();
    if (menu != NULL) {
        AppendMenuA(menu, MF_STRING, CMD_CLEAR_ALL, "Clear all");
        AppendMenuA(menu, MF_STRING, CMD_HIDE, "Hide");
        AppendMenuA(menu, MF_STRING | (keepPanelShown ? MF_CHECKED : MF_UNCHECKED), CMD_DONT_HIDE,
                    "Don't hide");
        AppendMenuA(menu, MF_SEPARATOR, 0, NULL);
        AppendMenuA(menu, MF_STRING, CMD_SETTINGS, "Settings...");
        AppendMenuA(menu, MF_STRING, CMD_ABOUT, "About");
        POINT at = {(short)LOWORD(lParam), (short)HIWORD(lParam)};
        // From the keyboard (the menu key, Shift+F10) there is no point:
        // the menu opens at the panel's top left.
        if (at.x == -1 && at.y == -1) {
            at = POINT{0, 0};
            ClientToScreen(panel, &at);
        }
        TrackMenu(panel, menu, at.x, at.y);
        DestroyMenu(menu);
    }
    return DefWindowProcA(panel, WM_CONTEXTMENU, wParam, lParam);
}

// The panel has no caption bar: the header strip moves it, and the sys
// glyphs at its top right act as minimise and close buttons. The point is
// signed: monitors left of or above the primary one lie at negative
// coordinates.
LRESULT MsgNcHitTest(HWND panel, WPARAM wParam, LPARAM lParam)
{
    WakePanel(panel);
    int x = (short)LOWORD(lParam), y = (short)HIWORD(lParam);
    RECT frame;
    GetWindowRect(panel, &frame);
    if (y >= frame.top + logoInfo.bmHeight)
        return DefWindowProcA(panel, WM_NCHITTEST, wParam, lParam);
    LRESULT hit = DefWindowProcA(panel, WM_NCHITTEST, wParam, lParam);
    if (hit != HTCLIENT)
        return hit;
    if (y >= frame.top + sysInfo.bmHeight || x <= frame.right - sysInfo.bmWidth)
        return HTCAPTION;
    if (x > frame.right - CLOSE_AREA_WIDTH)
        return HTCLOSE;
    if (x > frame.right - BUTTON_AREA_WIDTH)
        return HTMINBUTTON;
    return HTCAPTION;
}

// The platform's own tracking of a close button would draw its button over
// the header and cancel the close when the pointer moves during the click.
LRESULT MsgNcLButtonDown(HWND panel, WPARAM wParam, LPARAM lParam)
{
    if (wParam == HTMINBUTTON) {
        hideWhenFaded = true;
        FadeOutPanel(panel);
        return 0;
    }
    if (wParam == HTCLOSE) {
        PostMessageA(panel, WM_CLOSE, 0, 0);
        return 0;
    }
    return DefWindowProcA(panel, WM_NCLBUTTONDOWN, wParam, lParam);
}

void CmdClearAll(HWND panel)
{
    // A copy that waits for the clipboard would come back after the clear.
    CancelWaitingCapture();
    ClearCollection();
    ClearClipboard(panel);
    if (itemListWindow != NULL)
        RepaintNow(itemListWindow);
    RepaintNow(panel);
}

LRESULT MsgCommand(HWND panel, WPARAM wParam, LPARAM lParam)
{
    RestartTimer(panel, AUTOHIDE_TIMER, AUTOHIDE_PERIOD);
    switch (LOWORD(wParam)) {
    case CMD_SETTINGS:
        ShowDialog(panel, IDD_SETTINGS, SettingsDialogProc);
        break;
    case CMD_HIDE_NOW:
        ShowWindow(panel, SW_HIDE);
        StopHoverWatch(panel);
        break;
    case CMD_CLEAR_ALL:
        CmdClearAll(panel);
        break;
    case CMD_HIDE:
        FadeOutPanel(panel);
        break;
    case CMD_DONT_HIDE:
        keepPanelShown = !keepPanelShown;
        break;
    case CMD_EXIT:
        PostMessageA(panel, WM_CLOSE, 0, 0);
        break;
    case CMD_ABOUT:
        ShowDialog(panel, IDD_ABOUT, AboutDialogProc);
        break;
    }
    return DefWindowProcA(panel, WM_COMMAND, wParam, lParam);
}

// Shown in full: opaque to clicks, nothing left to fade or watch.
void ShownFully(HWND panel)
{
    hideWhenFaded = false;
    KillTimer(panel, FADE_TIMER);
    StopHoverWatch(panel);
    EndClickThrough(panel);
}

// A fade-out at the minimum: hidden at once, or after the delay.
void FadedOut(HWND panel, bool hideNow)
{
    if (hideNow) {
        hideWhenFaded = false;
        HidePanel(panel);
    } else {
        RestartTimer(panel, HIDE_DELAY_TIMER, HIDE_DELAY_PERIOD);
    }
}

// One step of the fade: 60% of the distance, the rest at once when that is
// less than 10, so that every fade between the limits takes four steps.
LRESULT FadeStep(HWND panel)
{
    if (currentAlpha == targetAlpha) {
        KillTimer(panel, FADE_TIMER);
        // Nothing to fade: the limits are equal, or the panel is already
        // there. A show still ends at full opacity (start-up left the panel
        // at 32 whatever the range) and takes clicks; a panel sent away while
        // hidden, or through the minimise area, ends hidden instead of
        // staying as a faint strip.
        if (fadingIn && currentAlpha == transparencyMax) {
            SetPanelOpacity(currentAlpha);
            ShownFully(panel);
        } else if (!fadingIn && currentAlpha == transparencyMin) {
            FadedOut(panel, panelHidden || hideWhenFaded);
        }
        return 0;
    }
    DWORD diff = currentAlpha > targetAlpha ? currentAlpha - targetAlpha
                                            : targetAlpha - currentAlpha;
    DWORD step = diff * 60 / 100;
    if (step < 10)
        currentAlpha = targetAlpha;
    else if (currentAlpha > targetAlpha)
        currentAlpha -= step;
    else
        currentAlpha += step;
    SetPanelOpacity(currentAlpha);

    // The end of the fade is its target, not the limits: Settings may have
    // changed them while it ran.
    if (currentAlpha != targetAlpha)
        return 0;
    KillTimer(panel, FADE_TIMER);
    if (fadingIn)
        ShownFully(panel);
    else
        FadedOut(panel, hideWhenFaded);
    return 0;
}

// A click-through panel sees no mouse messages: the cursor resting on it
// for two ticks after it arrived brings it back.
void HoverStep(HWND panel)
{
    POINT cursor;
    if (!PointerOnPanel(panel, &cursor)) {
        hoverArmed = true;
        hoverTicks = -1;
        return;
    }
    if (!hoverArmed)
        return;
    if (hoverTicks < 0 || cursor.x != hoverPoint.x || cursor.y != hoverPoint.y) {
        hoverPoint = cursor;
        hoverTicks = 0;
        return;
    }
    if (++hoverTicks < 2)
        return;
    hoverTicks = -1;
    CallPanel(panel, false);
    EndClickThrough(panel);
}

void WatchInstaller(HWND panel)
{
    if (InstallerRunning())
        PostMessageA(panel, WM_CLOSE, 0, 0);
}

// A viewer ahead of the panel that is destroyed without leaving the chain
// takes the chain's head with it, and no change is announced any more. An
// empty head while the panel is a member can only mean that: the panel joins
// again (which captures what it missed) and keeps the viewers after it.
void WatchViewerChain(HWND panel)
{
    if (GetClipboardViewer() != NULL)
        return;
    HWND after = nextClipboardViewer;
    HWND previous = SetClipboardViewer(panel);
    nextClipboardViewer = previous != NULL ? previous : (IsWindow(after) ? after : NULL);
}

LRESULT MsgTimer(HWND panel, WPARAM wParam, LPARAM lParam)
{
    WatchInstaller(panel);
    switch (wParam) {
    case INSTALLER_PROBE_TIMER:
        WatchViewerChain(panel);
        break;
    case FADE_TIMER:
        return FadeStep(panel);
    case AUTOHIDE_TIMER:
        if (!keepPanelShown) {
            FadeOutPanel(panel);
            panelHidden = true;
        }
        return 0;
    case HOVER_TIMER:
        HoverStep(panel);
        return 0;
    case CLIPBOARD_RETRY_TIMER:
        RetryClipboardWaits(panel);
        return 0;
    case HIDE_DELAY_TIMER:
        // Shown again since (with equal limits the alpha cannot tell): stays.
        // Not the alpha against the minimum: Settings may have changed it.
        KillTimer(panel, HIDE_DELAY_TIMER);
        if (!fadingIn)
            HidePanel(panel);
        break;
    }
    return DefWindowProcA(panel, WM_TIMER, wParam, lParam);
}

LRESULT MsgDrawClipboard(HWND panel, WPARAM wParam, LPARAM lParam)
{
    CaptureClipboard(panel);
    RepaintNow(panel);
    if (nextClipboardViewer != NULL)
        SendMessageA(nextClipboardViewer, WM_DRAWCLIPBOARD, wParam, lParam);
    return 1;
}

LRESULT MsgChangeCbChain(WPARAM wParam, LPARAM lParam)
{
    if ((HWND)wParam == nextClipboardViewer)
        nextClipboardViewer = (HWND)lParam;
    else if (nextClipboardViewer != NULL)
        SendMessageA(nextClipboardViewer, WM_CHANGECBCHAIN, wParam, lParam);
    return 1;
}

void ShowTrayMenu(HWND panel)
{
    POINT cursor;
    GetCursorPos(&cursor);
    HMENU menu = CreatePopupMenu();
    if (menu == NULL)
        return;
    AppendMenuA(menu, MF_STRING, CMD_EXIT, "Exit");
    TrackMenu(panel, menu, cursor.x, cursor.y);
    DestroyMenu(menu);
}

// A panel pushed wholly or partly off the screen by a new resolution (a
// laptop undocked) goes back where start-up docked it; one the user moved
// within the screen stays. The screen spans every monitor.
LRESULT MsgDisplayChange(HWND panel, WPARAM wParam, LPARAM lParam)
{
    int primaryWidth = GetSystemMetrics(SM_CXSCREEN);
    int primaryHeight = GetSystemMetrics(SM_CYSCREEN);
    RECT screen = {0, 0, primaryWidth, primaryHeight};
    int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    int height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (width > 0 && height > 0) {  // 0 before Windows 98 and 2000: one screen only
        screen.left = GetSystemMetrics(SM_XVIRTUALSCREEN);
        screen.top = GetSystemMetrics(SM_YVIRTUALSCREEN);
        screen.right = screen.left + width;
        screen.bottom = screen.top + height;
    }
    RECT frame;
    if (GetWindowRect(panel, &frame) &&
        (frame.left < screen.left || frame.top < screen.top || frame.right > screen.right ||
         frame.bottom > screen.bottom)) {
        RECT docked = DockedPanelRect(primaryWidth, primaryHeight);
        SetWindowPos(panel, NULL, docked.left, docked.top, docked.right - docked.left,
                     docked.bottom - docked.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return DefWindowProcA(panel, WM_DISPLAYCHANGE, wParam, lParam);
}

LRESULT MsgTrayCallback(HWND panel, WPARAM wParam, LPARAM lParam)
{
    if (lParam == WM_LBUTTONDOWN)
        CallPanel(panel, false);
    else if (lParam == WM_RBUTTONDOWN)
        ShowTrayMenu(panel);
    return DefWindowProcA(panel, TRAY_CALLBACK_MESSAGE, wParam, lParam);
}

}  // namespace

void RestartTimer(HWND window, UINT_PTR id, UINT period)
{
    KillTimer(window, id);
    SetTimer(window, id, period, NULL);
}

void RepaintNow(HWND window)
{
    if (window == NULL)
        return;  // a null window would invalidate every window of the desktop
    InvalidateRect(window, NULL, TRUE);
    UpdateWindow(window);
}

void RetryClipboardWaits(HWND panel)
{
    // The change came before any restore or clear that waits with it, so
    // its content is taken before theirs replaces it.
    bool changed = RetryCapture();
    changed = RetryPlacement() || changed;
    if (!CaptureWaiting() && !PlacementWaiting())
        KillTimer(panel, CLIPBOARD_RETRY_TIMER);
    // What changed late shows as it would have at once.
    if (changed)
        RepaintNow(panel);
}

// A shown panel that wakes is no longer sent away: a capture must not pop
// the quick-view up beside it.
void WakePanel(HWND panel)
{
    if (IsWindowVisible(panel))
        panelHidden = false;
    FadeTowards(panel, transparencyMax, true);
}

void CallPanel(HWND panel, bool sendAway)
{
    ShowWindow(panel, SW_SHOWNOACTIVATE);
    panelHidden = sendAway;
    FadeTowards(panel, sendAway ? transparencyMin : transparencyMax, !sendAway);
}

void FadeOutPanel(HWND panel)
{
    targetAlpha = transparencyMin;
    fadingIn = false;
    SetTimer(panel, FADE_TIMER, FADE_PERIOD, NULL);
    KillTimer(panel, AUTOHIDE_TIMER);
    SetWindowLongA(panel, GWL_EXSTYLE, (LONG)(panelExStyle | WS_EX_TRANSPARENT));
    if (itemListWindow != NULL)
        SendMessageA(itemListWindow, LIST_RESET_MESSAGE, 0, 0);
    StartHoverWatch(panel);
}

LRESULT CALLBACK PanelWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Registered at run time, so not a case of the switch.
    UINT taskbarCreated = TaskbarCreatedMessage();
    if (taskbarCreated != 0 && message == taskbarCreated) {
        RestoreTrayIcon();  // the taskbar started again without our icon
        return 0;
    }
    switch (message) {
    case WM_CREATE:
        return MsgCreate(window, wParam, lParam);
    case WM_SIZE:
        return MsgSize(window, wParam, lParam);
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE)
            RestartTimer(window, AUTOHIDE_TIMER, AUTOHIDE_PERIOD);
        break;
    case WM_MOVE:
    case WM_MOVING:
    case WM_MOUSEMOVE:
        WakePanel(window);
        break;
    case WM_PAINT:
        return MsgPaint(window, wParam, lParam);
    case WM_CLOSE:
        return MsgClose(window, wParam, lParam);
    case WM_CONTEXTMENU:
        return MsgContextMenu(window, wParam, lParam);
    case WM_NCHITTEST:
        return MsgNcHitTest(window, wParam, lParam);
    case WM_NCLBUTTONDOWN:
        return MsgNcLButtonDown(window, wParam, lParam);
    case WM_COMMAND:
        return MsgCommand(window, wParam, lParam);
    case WM_TIMER:
        return MsgTimer(window, wParam, lParam);
    case WM_DRAWCLIPBOARD:
        return MsgDrawClipboard(window, wParam, lParam);
    case WM_CHANGECBCHAIN:
        return MsgChangeCbChain(wParam, lParam);
    case TRAY_CALLBACK_MESSAGE:
        return MsgTrayCallback(window, wParam, lParam);
    case WM_DISPLAYCHANGE:
        return MsgDisplayChange(window, wParam, lParam);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
