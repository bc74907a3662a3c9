/*
 * Process-wide values that start-up sets and the other subsystems read.
 * All of them live on the program's one thread.
 */
#ifndef CLIPDOCK_SHELL_GLOBALS_H
#define CLIPDOCK_SHELL_GLOBALS_H

#include <windows.h>

// The platform's SetLayeredWindowAttributes, absent before Windows 2000.
typedef BOOL(WINAPI *LayeredAttributesProc)(HWND window, COLORREF key, BYTE alpha, DWORD flags);

extern HINSTANCE appInstance;   // set by WinMain; every resource, class and window uses it
extern HWND panelWindow;        // the docked panel; written by start-up
extern HWND itemListWindow;     // the item list inside the panel; written by start-up
extern HWND popupWindow;        // the quick-view popup; written by start-up
extern bool panelHidden;        // panel hidden or fading out by itself; start-up, panel, popup

extern OSVERSIONINFOA osVersion;  // filled once by start-up; only major and minor are read
extern DWORD panelExStyle;        // the panel's extended style for this OS version; start-up
extern LayeredAttributesProc layeredAttributesProc;  // looked up by start-up, or null

// The header bitmaps and their dimensions, loaded once by start-up.
extern HBITMAP logoBitmap, skyBitmap, objBitmap, sysBitmap;
extern BITMAP logoInfo, skyInfo, objInfo, sysInfo;

#endif
