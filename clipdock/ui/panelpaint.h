/*
 * The panel's painting: the header strip with its three images, the
 * current item's preview in a framed box with its position counter, and
 * the footer line.
 */
#ifndef CLIPDOCK_UI_PANELPAINT_H
#define CLIPDOCK_UI_PANELPAINT_H

#include <windows.h>

#define PANEL_FRAME_COLOR RGB(8, 27, 203)
#define PANEL_TEXT_COLOR RGB(93, 179, 255)
extern const char PANEL_FOOTER_TEXT[];  // "Tarn's Clipboard 2006"

// The panel's WM_PAINT: BeginPaint, DrawPanel, EndPaint.
void PaintPanel(HWND panel);
// Everything a paint draws, into dc for a client area of client's size.
void DrawPanel(HDC dc, const RECT &client);

// The header background, sky and logo, which the popup shares with the
// panel; the panel adds the window-button glyphs.
void DrawHeaderImages(HDC dc, int width, bool withButtons);

#endif
