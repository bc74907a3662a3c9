/*
 * fonts.cpp: the two font templates and CreateUiFont, with which the panel,
 * the item list and the popup make their fonts anew at every paint.
 */
#include "ui/fonts.h"

#ifndef CLEARTYPE_NATURAL_QUALITY
#define CLEARTYPE_NATURAL_QUALITY 6
#endif

const char UI_FONT_FACE[] = "Tahoma";
const char UI_FONT_FALLBACK_FACE[] = "Times New Roman";

// Height and face are filled in by CreateUiFont; every other field is fixed.
const LOGFONTA regularFontTemplate = {0, 0, 0, 0, 500, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                      OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                      CLEARTYPE_NATURAL_QUALITY, DEFAULT_PITCH | FF_ROMAN, ""};
const LOGFONTA boldFontTemplate = {0, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                   OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                   CLEARTYPE_NATURAL_QUALITY, DEFAULT_PITCH | FF_ROMAN, ""};

HFONT CreateUiFont(const LOGFONTA *fontTemplate, int points, HDC dc)
{
    LOGFONTA font = *fontTemplate;
    // Negative: a character height, not a cell height.
    font.lfHeight = -MulDiv(points, GetDeviceCaps(dc, LOGPIXELSY), 72);
    lstrcpynA(font.lfFaceName, UI_FONT_FACE, LF_FACESIZE);
    HFONT made = CreateFontIndirectA(&font);
    if (made != NULL)
        return made;
    lstrcpynA(font.lfFaceName, UI_FONT_FALLBACK_FACE, LF_FACESIZE);
    return CreateFontIndirectA(&font);
}
