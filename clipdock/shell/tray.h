/* The tray icon and its balloon notices. */
#ifndef CLIPDOCK_SHELL_TRAY_H
#define CLIPDOCK_SHELL_TRAY_H

#include <windows.h>

#define TRAY_ICON_ID 0x6051977u
#define TRAY_CALLBACK_MESSAGE (WM_APP + 1)

extern const char trayTipText[];  // "Tarn Clipboard v1.0"

// At start: the icon with the product's tip.
void AddTrayIcon();
// After the taskbar came back (Explorer restarted): the icon as it was,
// with the tip of the last notice.
void RestoreTrayIcon();
void RemoveTrayIcon();
// The registered "TaskbarCreated" message the taskbar sends every top-level
// window when it starts; 0 if it cannot be registered.
UINT TaskbarCreatedMessage();
int ShowTrayNotice(const char *title, const char *text);

#endif
