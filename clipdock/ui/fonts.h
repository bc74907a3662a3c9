/*
 * The fonts of every window of the program: two templates (regular and
 * bold) and the one operation that makes a font from a template at a point
 * size for a device context.
 */
#ifndef CLIPDOCK_UI_FONTS_H
#define CLIPDOCK_UI_FONTS_H

#include <windows.h>

extern const LOGFONTA regularFontTemplate;  // weight 500
extern const LOGFONTA boldFontTemplate;     // weight 700

// The face names tried in order; the second is the fallback.
extern const char UI_FONT_FACE[];
extern const char UI_FONT_FALLBACK_FACE[];

// A font from the template at points for dc's vertical resolution, in
// "Tahoma" or else "Times New Roman"; NULL when neither can be made. The
// caller deletes it.
HFONT CreateUiFont(const LOGFONTA *fontTemplate, int points, HDC dc);

#endif
