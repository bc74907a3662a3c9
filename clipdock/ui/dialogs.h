/*
 * The Settings dialog (template 3000), which edits the panel's transparency
 * range, and the About dialog (template 3050). The range is kept in the
 * settings file so that it survives a restart.
 */
#ifndef CLIPDOCK_UI_DIALOGS_H
#define CLIPDOCK_UI_DIALOGS_H

#include <windows.h>

// Where the range is kept: section "HALCYON" of the settings file.
extern const char TRANSPARENCY_SECTION[];
extern const char TRANSPARENCY_MIN_KEY[];  // "transparency_min"
extern const char TRANSPARENCY_MAX_KEY[];  // "transparency_max"

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The settings store's update of a named value, kept as decimal text.
void UpdateNamedSetting(const char *name, DWORD value);
// Start-up: transparencyMin and transparencyMax from the settings file when
// the stored pair is usable (min <= max <= 255, max >= 16), else 16 and 255.
void LoadTransparencyRange();
// Text of decimal digits only that fits 32 bits: true and *value set.
bool ParseDecimal(const char *text, DWORD *value);

#endif
