// The Settings and About dialogs, run modally from the program's own
// templates and driven from inside their message loop; the transparency
// range kept in the settings file across a restart.
#include "support.h"

#include <commctrl.h>

#include <string.h>

#include <functional>
#include <vector>

#include "resources/resource.h"
#include "shell/settings.h"
#include "ui/dialogs.h"
#include "ui/panel.h"

namespace {

const UINT ACT_MESSAGE = WM_APP + 50;
const UINT STILL_OPEN_MESSAGE = WM_APP + 51;
const UINT_PTR SAFETY_TIMER = 99;
const INT_PTR TIMED_OUT = -1, SURVIVED = -2;

DLGPROC realProc;
std::function<void(HWND)> action;
bool stillOpen;

// Runs the real procedure and, once the box is up, the test's action in
// the box's own modal loop; a box still open after 10 s ends with TIMED_OUT.
INT_PTR CALLBACK Driver(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        INT_PTR result = realProc(dialog, message, wParam, lParam);
        PostMessageA(dialog, ACT_MESSAGE, 0, 0);
        SetTimer(dialog, SAFETY_TIMER, 10000, NULL);
        return result;
    }
    case ACT_MESSAGE:
        action(dialog);
        return TRUE;
    case STILL_OPEN_MESSAGE:
        stillOpen = true;
        if (wParam != 0)
            EndDialog(dialog, SURVIVED);
        else
            PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        return TRUE;
    case WM_TIMER:
        if (wParam == SAFETY_TIMER) {
            EndDialog(dialog, TIMED_OUT);
            return TRUE;
        }
        break;
    }
    return realProc(dialog, message, wParam, lParam);
}

// Runs the box from the program's template. Without a window manager, Wine
// waits two seconds for a shown top-level window to be withdrawn when it
// ends; unless asShipped, the Settings box's WS_VISIBLE is cleared in a copy
// of the template, and the box, busy with the test's messages, is never shown.
INT_PTR RunDialog(WORD templateId, DLGPROC procedure, std::function<void(HWND)> act,
                  bool asShipped = false)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
    realProc = procedure;
    action = std::move(act);
    stillOpen = false;
    HINSTANCE instance = GetModuleHandleA(NULL);
    if (asShipped)
        return DialogBoxParamA(instance, MAKEINTRESOURCEA(templateId), NULL, Driver, 0);
    HRSRC resource = FindResourceA(instance, MAKEINTRESOURCEA(templateId), (LPCSTR)RT_DIALOG);
    EXPECT_NE(resource, (HRSRC)NULL);
    if (resource == NULL)
        return TIMED_OUT;
    DWORD size = SizeofResource(instance, resource);
    const void *shipped = LockResource(LoadResource(instance, resource));
    std::vector<DWORD> copy((size + 3) / 4);
    memcpy(copy.data(), shipped, size);
    WORD *words = (WORD *)copy.data();
    EXPECT_EQ(words[1], 0xFFFF) << "an extended dialog template";
    copy[3] &= ~(DWORD)WS_VISIBLE;  // DLGTEMPLATEEX: version, signature, help id, ex style, style
    return DialogBoxIndirectParamA(instance, (LPCDLGTEMPLATEA)copy.data(), NULL, Driver, 0);
}

std::string Field(HWND dialog, int id)
{
    char text[64] = {0};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

std::string Stored(const char *key)
{
    char text[64] = {0};
    ReadSetting(TRANSPARENCY_SECTION, key, "<none>", text, sizeof text);
    return text;
}

INT_PTR SettingsOk(const char *minimum, const char *maximum)
{
    return RunDialog(IDD_SETTINGS, SettingsDialogProc, [=](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_MIN_EDIT, minimum);
        SetDlgItemTextA(dialog, IDC_MAX_EDIT, maximum);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     (LPARAM)GetDlgItem(dialog, IDOK));
    });
}

class DialogsTest : public UiTest {};

TEST_F(DialogsTest, SettingsOpensWithTheRangeAndPairedSpinControls)
{
    transparencyMin = 40;
    transparencyMax = 230;
    std::string shownMin, shownMax;
    HWND minBuddy = NULL, maxBuddy = NULL, minEdit = NULL, maxEdit = NULL;
    LRESULT minRange = 0, maxRange = 0;
    INT_PTR result = RunDialog(IDD_SETTINGS, SettingsDialogProc, [&](HWND dialog) {
        shownMin = Field(dialog, IDC_MIN_EDIT);
        shownMax = Field(dialog, IDC_MAX_EDIT);
        minEdit = GetDlgItem(dialog, IDC_MIN_EDIT);
        maxEdit = GetDlgItem(dialog, IDC_MAX_EDIT);
        minBuddy = (HWND)SendDlgItemMessageA(dialog, IDC_MIN_SPIN, UDM_GETBUDDY, 0, 0);
        maxBuddy = (HWND)SendDlgItemMessageA(dialog, IDC_MAX_SPIN, UDM_GETBUDDY, 0, 0);
        minRange = SendDlgItemMessageA(dialog, IDC_MIN_SPIN, UDM_GETRANGE, 0, 0);
        maxRange = SendDlgItemMessageA(dialog, IDC_MAX_SPIN, UDM_GETRANGE, 0, 0);
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }, true);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(shownMin, "40");
    EXPECT_EQ(shownMax, "230");
    EXPECT_NE(minEdit, (HWND)NULL);
    EXPECT_EQ(minBuddy, minEdit);
    EXPECT_EQ(maxBuddy, maxEdit);
    // Low word the upper limit, high word the lower one.
    EXPECT_EQ(LOWORD(minRange), 255);
    EXPECT_EQ(HIWORD(minRange), 0);
    EXPECT_EQ(LOWORD(maxRange), 255);
    EXPECT_EQ(HIWORD(maxRange), 0);
}

TEST_F(DialogsTest, OkStoresTheTypedValuesAsTheyAre)
{
    const struct {
        const char *minimum, *maximum;
        DWORD storedMin, storedMax;
    } rows[] = {
        {"", "200", 0, 200},         // an empty field reads as 0
        {"16", "300", 16, 300},      // beyond the spin range, taken as typed
        {"200", "100", 200, 100},    // minimum above maximum, accepted
        {"0", "0", 0, 0},
        {"99999999999", "7", 0, 7},  // no number in range: 0
    };
    for (const auto &row : rows) {
        transparencyMin = 16;
        transparencyMax = 255;
        EXPECT_EQ(SettingsOk(row.minimum, row.maximum), 0);
        EXPECT_EQ(transparencyMin, row.storedMin) << row.minimum << " / " << row.maximum;
        EXPECT_EQ(transparencyMax, row.storedMax) << row.minimum << " / " << row.maximum;
        EXPECT_EQ(Stored(TRANSPARENCY_MIN_KEY), std::to_string(row.storedMin));
        EXPECT_EQ(Stored(TRANSPARENCY_MAX_KEY), std::to_string(row.storedMax));
    }
}

TEST_F(DialogsTest, TypedValueStaysAsTypedUntilTheSpinIsUsed)
{
    std::string shown;
    RunDialog(IDD_SETTINGS, SettingsDialogProc, [&](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_MAX_EDIT, "300");
        shown = Field(dialog, IDC_MAX_EDIT);
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(shown, "300");
    EXPECT_EQ(transparencyMax, 300u);
}

TEST_F(DialogsTest, CancelEscapeAndCloseChangeNothing)
{
    const std::function<void(HWND)> endings[] = {
        [](HWND dialog) { SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0); },
        [](HWND dialog) {
            HWND edit = GetDlgItem(dialog, IDC_MIN_EDIT);
            SetFocus(edit);
            PostMessageA(edit, WM_KEYDOWN, VK_ESCAPE, 0);
            PostMessageA(dialog, STILL_OPEN_MESSAGE, 1, 0);  // reached only if Esc failed
        },
        [](HWND dialog) { SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); },
    };
    int which = 0;
    for (const auto &ending : endings) {
        transparencyMin = 16;
        transparencyMax = 255;
        INT_PTR result = RunDialog(IDD_SETTINGS, SettingsDialogProc, [&](HWND dialog) {
            SetDlgItemTextA(dialog, IDC_MIN_EDIT, "1");
            SetDlgItemTextA(dialog, IDC_MAX_EDIT, "2");
            ending(dialog);
        });
        EXPECT_EQ(result, 0) << "ending " << which;
        EXPECT_EQ(transparencyMin, 16u) << "ending " << which;
        EXPECT_EQ(transparencyMax, 255u) << "ending " << which;
        EXPECT_EQ(Stored(TRANSPARENCY_MIN_KEY), "<none>") << "ending " << which;
        which++;
    }
}

// A new run takes a stored pair only when it leaves the panel visible.
TEST_F(DialogsTest, RestartTakesOnlyAUsableStoredPair)
{
    const struct {
        const char *minimum, *maximum;  // nullptr: no such key
        DWORD loadedMin, loadedMax;
    } rows[] = {
        {"40", "230", 40, 230},   {"0", "16", 0, 16},       {"255", "255", 255, 255},
        {"40", "300", 16, 255},   {"0", "0", 16, 255},      {"1", "15", 16, 255},
        {"200", "100", 16, 255},  {"256", "256", 16, 255},  {"16", "4294967295", 16, 255},
        {nullptr, nullptr, 16, 255}, {nullptr, "200", 16, 255}, {"30", nullptr, 16, 255},
        {"", "200", 16, 255},     {"abc", "200", 16, 255},  {"12x", "200", 16, 255},
        {"-5", "200", 16, 255},   {"7 7", "200", 16, 255},  {"4294967296", "200", 16, 255},
    };
    for (const auto &row : rows) {
        DeleteFileA(settingsFilePath);
        if (row.minimum != nullptr)
            WriteSetting(TRANSPARENCY_SECTION, TRANSPARENCY_MIN_KEY, row.minimum);
        if (row.maximum != nullptr)
            WriteSetting(TRANSPARENCY_SECTION, TRANSPARENCY_MAX_KEY, row.maximum);
        transparencyMin = 1;  // what the last run was left with
        transparencyMax = 2;
        LoadTransparencyRange();
        const char *shownMin = row.minimum ? row.minimum : "(missing)";
        const char *shownMax = row.maximum ? row.maximum : "(missing)";
        EXPECT_EQ(transparencyMin, row.loadedMin) << shownMin << " / " << shownMax;
        EXPECT_EQ(transparencyMax, row.loadedMax) << shownMin << " / " << shownMax;
    }
}

TEST_F(DialogsTest, AboutIgnoresEscapeAndEnterAndClosesFromItsCaption)
{
    HBITMAP picture = NULL;
    INT_PTR result = RunDialog(IDD_ABOUT, AboutDialogProc, [&](HWND dialog) {
        picture = (HBITMAP)SendDlgItemMessageA(dialog, IDC_ABOUT_PICTURE, STM_GETIMAGE,
                                               IMAGE_BITMAP, 0);
        PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageA(dialog, WM_KEYDOWN, VK_RETURN, 0);
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        PostMessageA(dialog, STILL_OPEN_MESSAGE, 0, 0);  // then the close button
    });
    EXPECT_TRUE(stillOpen) << "Esc or Enter ended the About box";
    EXPECT_EQ(result, 0);
    EXPECT_NE(picture, (HBITMAP)NULL);
}

}  // namespace
