/*
 * dialogs.cpp: the Settings and About dialog procedures, and the keeping of
 * the transparency range in the settings file.
 */
#include "ui/dialogs.h"

#include <commctrl.h>
#include <stdint.h>

#include "resources/resource.h"
#include "shell/settings.h"
#include "ui/panel.h"

const char TRANSPARENCY_SECTION[] = "HALCYON";
const char TRANSPARENCY_MIN_KEY[] = "transparency_min";
const char TRANSPARENCY_MAX_KEY[] = "transparency_max";

namespace {

const int SPIN_LOWEST = 0;
const int SPIN_HIGHEST = 255;

// A field that is empty or no number in range reads as 0; typed digits are
// taken as they are, above 255 too.
DWORD ReadField(HWND dialog, int id)
{
    char text[64];
    if (GetDlgItemTextA(dialog, id, text, sizeof text) <= 0)
        return 0;
    DWORD value;
    return ParseDecimal(text, &value) ? value : 0;
}

void PairSpin(HWND dialog, int spin, int edit)
{
    SendDlgItemMessageA(dialog, spin, UDM_SETBUDDY, (WPARAM)GetDlgItem(dialog, edit), 0);
}

void SetSpinRange(HWND dialog, int spin)
{
    SendDlgItemMessageA(dialog, spin, UDM_SETRANGE, 0, MAKELPARAM(SPIN_HIGHEST, SPIN_LOWEST));
}

void PutField(HWND dialog, int id, DWORD value)
{
    char text[16];
    wsprintfA(text, "%lu", (unsigned long)value);
    SetDlgItemTextA(dialog, id, text);
}

INT_PTR SettingsInit(HWND dialog)
{
    PairSpin(dialog, IDC_MIN_SPIN, IDC_MIN_EDIT);
    SetSpinRange(dialog, IDC_MIN_SPIN);
    SetSpinRange(dialog, IDC_MAX_SPIN);
    PairSpin(dialog, IDC_MAX_SPIN, IDC_MAX_EDIT);
    PutField(dialog, IDC_MAX_EDIT, transparencyMax);
    PutField(dialog, IDC_MIN_EDIT, transparencyMin);
    return TRUE;
}

// Neither value is checked against the other: the user's digits stand.
void SettingsOk(HWND dialog)
{
    DWORD minimum = ReadField(dialog, IDC_MIN_EDIT);
    DWORD maximum = ReadField(dialog, IDC_MAX_EDIT);
    transparencyMin = minimum;
    transparencyMax = maximum;
    UpdateNamedSetting(TRANSPARENCY_MIN_KEY, minimum);
    UpdateNamedSetting(TRANSPARENCY_MAX_KEY, maximum);
    EndDialog(dialog, 0);
}

// The panel's opacities when nothing usable is stored.
const DWORD DEFAULT_MIN = 16;
const DWORD DEFAULT_MAX = 255;
// A shown panel fainter than this is as good as invisible.
const DWORD LOWEST_STORED_MAX = 16;

bool LoadValue(const char *key, DWORD *value)
{
    char text[64] = {0};
    return ReadSetting(TRANSPARENCY_SECTION, key, "", text, sizeof text) >= 0 &&
           ParseDecimal(text, value);
}

}  // namespace

bool ParseDecimal(const char *text, DWORD *value)
{
    if (text == NULL || text[0] == '\0')
        return false;
    uint64_t result = 0;
    for (const char *p = text; *p != '\0'; p++) {
        if (*p < '0' || *p > '9')
            return false;
        result = result * 10 + (uint64_t)(*p - '0');
        if (result > 0xFFFFFFFFu)
            return false;
    }
    *value = (DWORD)result;
    return true;
}

void UpdateNamedSetting(const char *name, DWORD value)
{
    char text[16];
    wsprintfA(text, "%lu", (unsigned long)value);
    WriteSetting(TRANSPARENCY_SECTION, name, text);
}

void LoadTransparencyRange()
{
    // What the dialog kept may be a slip (a shown opacity of 0, or one whose
    // low 8 bits are all the platform sees): such a pair would leave the
    // panel invisible in every later run, so it lasts only the run it was
    // typed in.
    DWORD minimum, maximum;
    if (LoadValue(TRANSPARENCY_MIN_KEY, &minimum) && LoadValue(TRANSPARENCY_MAX_KEY, &maximum) &&
        minimum <= maximum && maximum <= 255 && maximum >= LOWEST_STORED_MAX) {
        transparencyMin = minimum;
        transparencyMax = maximum;
    } else {
        transparencyMin = DEFAULT_MIN;
        transparencyMax = DEFAULT_MAX;
    }
}

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        return SettingsInit(dialog);
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK)
            SettingsOk(dialog);
        else if (LOWORD(wParam) == IDCANCEL)
            EndDialog(dialog, 0);
        return FALSE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return FALSE;
    case WM_SIZE:
        InvalidateRect(dialog, NULL, TRUE);
        return FALSE;
    }
    return FALSE;
}

// No button: Esc and Enter do nothing, the caption's close button ends it.
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)wParam;
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return FALSE;
    }
    return FALSE;
}
