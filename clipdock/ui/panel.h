/*
 * The panel: the program's main window, docked at the right edge of the
 * screen. It is the program's member of the clipboard viewer chain, fades
 * in and out with layered opacity, and carries out every command.
 */
#ifndef CLIPDOCK_UI_PANEL_H
#define CLIPDOCK_UI_PANEL_H

#include <windows.h>

// Timers of the panel window, with their periods in milliseconds.
#define FADE_TIMER 1
#define AUTOHIDE_TIMER 2
#define HOVER_TIMER 3
#define HIDE_DELAY_TIMER 4
#define INSTALLER_PROBE_TIMER 200
#define FADE_PERIOD 100
#define AUTOHIDE_PERIOD 8000
#define HOVER_PERIOD 250
#define HIDE_DELAY_PERIOD 15000
#define INSTALLER_PROBE_PERIOD 1000
// CLIPBOARD_RETRY_TIMER (6): set by the collection while a job waits for the clipboard.

// Commands (WM_COMMAND, low word of wParam).
#define CMD_SETTINGS 1100
#define CMD_HIDE_NOW 1101
#define CMD_CLEAR_ALL 1103
#define CMD_HIDE 1104
#define CMD_DONT_HIDE 1105
#define CMD_EXIT 1106
#define CMD_ABOUT 1107

extern DWORD transparencyMin;     // opacity of a faded panel; the Settings dialog writes it
extern DWORD transparencyMax;     // opacity of a shown panel; the Settings dialog writes it
extern DWORD currentAlpha;        // the panel's opacity now; only the fade moves it
extern DWORD targetAlpha;         // where the fade goes; panel, item list and popup
extern bool keepPanelShown;       // "Don't hide": the auto-hide does nothing while set
extern bool hideWhenFaded;        // hide as soon as the fade-out ends (the minimise area)
extern HWND nextClipboardViewer;  // the next window in the viewer chain; the panel
extern DWORD listTopRow;          // the item list's scroll position; panel, list and popup

LRESULT CALLBACK PanelWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Fade towards transparencyMax and restart the inactivity count.
void WakePanel(HWND panel);
// Fade towards transparencyMin, letting the mouse through until shown again.
void FadeOutPanel(HWND panel);
// Shows the panel without activating it and fades it up (sendAway false) or
// away (true); panelHidden tells which. The tray click, the popup's hotkeys
// and the hover watch all call the panel through here.
void CallPanel(HWND panel, bool sendAway);

// Stops timer id and starts it again, so that a pending period starts over.
void RestartTimer(HWND window, UINT_PTR id, UINT period);
// Invalidates the whole client area with erasing and updates it at once.
void RepaintNow(HWND window);
// The job of CLIPBOARD_RETRY_TIMER: the change that waits for the clipboard,
// then the restore or clear that waits, try again; the timer stops once
// none waits.
void RetryClipboardWaits(HWND panel);

#endif
