/* The tray icon and its balloon notices. */
#ifndef CLIPDOCK_SHELL_TRAY_H
#define CLIPDOCK_SHELL_TRAY_H

#include <windows.h>

#define TRAY_ICON_ID 0x6051977u
#define TRAY_CALLBACK_MESSAGE (WM_APP + 1)

extern const char trayTipText[];  // "Tarn Clipboard v1.0"

void AddTrayIcon();
void RemoveTrayIcon();
int ShowTrayNotice(const char *title, const char *text);

#endif
