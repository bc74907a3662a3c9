/*
 * Process-wide values that start-up sets and the other subsystems read.
 * All of them live on the program's one thread.
 */
#ifndef CLIPDOCK_SHELL_GLOBALS_H
#define CLIPDOCK_SHELL_GLOBALS_H

#include <windows.h>

extern HINSTANCE appInstance;   // set by WinMain; every resource, class and window uses it
extern HWND panelWindow;        // the docked panel; written by start-up
extern HWND itemListWindow;     // the item list inside the panel; written by start-up
extern HWND popupWindow;        // the quick-view popup; written by start-up
extern bool panelHidden;        // panel hidden or fading out by itself; start-up, panel, popup

#endif
