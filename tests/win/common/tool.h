/*
 * tool.h: what the Windows-side helper programs of the end-to-end, hook
 * stress and soak runs share beyond poll.h (windows, message loop, waits):
 * their output, clipboard viewer chain membership, and the program's windows
 * and files as seen from outside.
 */
#ifndef CLIPDOCK_TESTS_WIN_COMMON_TOOL_H
#define CLIPDOCK_TESTS_WIN_COMMON_TOOL_H

#include <windows.h>

#include "poll.h"

// The program's messages and ids as another process meets them.
const UINT TOOL_LIST_RESET = WM_APP + 0;
const UINT TOOL_TRAY_CALLBACK = WM_APP + 1;
const UINT TOOL_HOTKEY = WM_APP + 3;
const UINT TOOL_TRAY_ID = 0x6051977;
const WPARAM TOOL_CMD_DONT_HIDE = 1105;
const WPARAM TOOL_CMD_EXIT = 1106;

// One line on stdout (printf format, newline added), flushed at once so that
// the script reading it sees it now.
void Line(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Membership of one window in the clipboard viewer chain. PassOnInChain
// handles WM_DRAWCLIPBOARD (passed to the next viewer) and WM_CHANGECBCHAIN
// (the chain mended or the notice passed on); false for other messages.
void JoinClipboardChain(HWND viewer);
void LeaveClipboardChain(HWND viewer);
bool PassOnInChain(UINT message, WPARAM wParam, LPARAM lParam);

// The program's panel ("Betal_Clipdock"), waited for ms; NULL if none came.
HWND FindPanel(DWORD ms);
// Until window is visible, at most ms.
bool WaitVisible(HWND window, DWORD ms);
// Prints the item folder and the settings file, one a line; 0 on success.
int PrintPaths();

#endif
