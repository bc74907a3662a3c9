// resources_test.cpp: the pictures as start-up loads them, the icon group
// and the two dialog templates as they come up on the screen.
#include "support.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "resources/resource.h"
#include "shell/globals.h"

namespace {

const BITMAPINFOHEADER *BitmapHeader(WORD id)
{
    HRSRC found = FindResourceA(NULL, MAKEINTRESOURCEA(id), (LPCSTR)RT_BITMAP);
    if (found == NULL)
        return nullptr;
    return (const BITMAPINFOHEADER *)LockResource(LoadResource(NULL, found));
}

TEST(Resources, PicturesHaveTheirSizesAndPaletteDepths)
{
    struct Row {
        WORD id;
        LONG width, height;
        bool palette;  // 4 or 8 bits; otherwise 1 bit
    } rows[] = {
        {IDB_LOGO, 90, 86, true},  {IDB_SKY, 113, 59, true},    {IDB_OBJ, 32, 26, true},
        {IDB_SYS, 55, 21, true},   {IDB_ABOUT, 394, 187, false},
    };
    for (const Row &row : rows) {
        const BITMAPINFOHEADER *header = BitmapHeader(row.id);
        ASSERT_NE(nullptr, header) << row.id;
        EXPECT_EQ(row.width, header->biWidth) << row.id;
        EXPECT_EQ(row.height, header->biHeight) << row.id << " (bottom-up)";
        EXPECT_EQ((DWORD)BI_RGB, header->biCompression) << row.id;
        if (row.palette)
            EXPECT_TRUE(header->biBitCount == 4 || header->biBitCount == 8) << row.id;
        else
            EXPECT_EQ(1, header->biBitCount) << row.id;
    }
}

// Loaded as start-up loads them, the first pixel's colour turns into the
// window colour: the background of each header picture vanishes and its
// drawing stays.
TEST(Resources, HeaderPicturesLoseTheirBackgroundWhenLoaded)
{
    struct Row {
        WORD id;
        std::vector<POINT> background, ink;
    } rows[] = {
        {IDB_LOGO, {{0, 85}, {0, 0}, {89, 0}, {89, 85}}, {{35, 40}, {8, 50}}},
        {IDB_SKY, {{0, 58}, {112, 58}}, {{2, 2}}},
        {IDB_OBJ, {{0, 25}, {0, 0}, {31, 12}}, {{8, 12}, {15, 24}}},
        {IDB_SYS, {{0, 20}, {0, 0}}, {{46, 9}, {28, 13}, {30, 4}}},
    };
    const COLORREF window = GetSysColor(COLOR_WINDOW) & 0xFFFFFF;
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    for (const Row &row : rows) {
        HBITMAP bitmap = (HBITMAP)LoadImageA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(row.id),
                                             IMAGE_BITMAP, 0, 0, LR_LOADTRANSPARENT);
        ASSERT_NE((HBITMAP)NULL, bitmap) << row.id;
        HGDIOBJ old = SelectObject(memory, bitmap);
        for (POINT p : row.background)
            EXPECT_EQ(window, GetPixel(memory, p.x, p.y) & 0xFFFFFF)
                << row.id << " at " << p.x << "," << p.y;
        for (POINT p : row.ink)
            EXPECT_NE(window, GetPixel(memory, p.x, p.y) & 0xFFFFFF)
                << row.id << " at " << p.x << "," << p.y;
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
}

TEST(Resources, IconGroupHoldsSmallAndLarge)
{
    HRSRC found = FindResourceA(NULL, MAKEINTRESOURCEA(IDI_CLIPDOCK), (LPCSTR)RT_GROUP_ICON);
    ASSERT_NE((HRSRC)NULL, found);
    const BYTE *group = (const BYTE *)LockResource(LoadResource(NULL, found));
    const WORD count = *(const WORD *)(group + 4);
    std::vector<int> sizes;
    for (WORD i = 0; i < count; i++)
        sizes.push_back(group[6 + 14 * i]);  // one 14-byte entry per image, width first
    EXPECT_EQ((std::vector<int>{16, 32}), sizes);
    for (int size : {16, 32}) {
        HICON icon = (HICON)LoadImageA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDI_CLIPDOCK),
                                       IMAGE_ICON, size, size, 0);
        ASSERT_NE((HICON)NULL, icon) << size;
        ICONINFO info;
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP mask;
        GetObjectA(info.hbmMask, sizeof mask, &mask);
        EXPECT_EQ(size, mask.bmWidth);
        DeleteObject(info.hbmMask);
        DeleteObject(info.hbmColor);
        DestroyIcon(icon);
    }
}

INT_PTR CALLBACK InertDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

struct ControlRow {
    int id;
    const char *className;
    const char *text;
    RECT units;  // x, y, width, height in dialog units
    DWORD style, exStyle;
    bool sized = true;  // spin and picture controls size themselves
    bool framed = false;
};

void ExpectControls(HWND dialog, const std::vector<ControlRow> &rows)
{
    std::vector<int> order;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        order.push_back(GetDlgCtrlID(child));
    std::vector<int> expected;
    for (const ControlRow &row : rows)
        expected.push_back(row.id);
    EXPECT_EQ(expected, order) << "template (tab) order";

    for (const ControlRow &row : rows) {
        HWND control = GetDlgItem(dialog, row.id);
        ASSERT_NE((HWND)NULL, control) << row.id;
        char name[64], text[64];
        GetClassNameA(control, name, sizeof name);
        EXPECT_STRCASEEQ(row.className, name) << row.id;
        if (row.text != nullptr) {
            GetWindowTextA(control, text, sizeof text);
            EXPECT_STREQ(row.text, text) << row.id;
        }
        // The dialog manager maps the place and the size each on its own.
        RECT at = {row.units.left, row.units.top, 0, 0};
        RECT size = {0, 0, row.units.right, row.units.bottom};
        MapDialogRect(dialog, &at);
        MapDialogRect(dialog, &size);
        RECT place = {at.left, at.top, at.left + size.right, at.top + size.bottom};
        RECT actual;
        GetWindowRect(control, &actual);
        MapWindowPoints(NULL, dialog, (POINT *)&actual, 2);
        EXPECT_EQ(place.left, actual.left) << row.id;
        EXPECT_EQ(place.top, actual.top) << row.id;
        if (row.sized) {
            EXPECT_EQ(place.right, actual.right) << row.id;
            EXPECT_EQ(place.bottom, actual.bottom) << row.id;
        }
        EXPECT_EQ(row.style, (DWORD)GetWindowLongA(control, GWL_STYLE) & row.style) << row.id;
        EXPECT_EQ(row.exStyle, (DWORD)GetWindowLongA(control, GWL_EXSTYLE) & row.exStyle)
            << row.id;
        if (row.framed) {  // the dialog manager draws a bordered edit sunken
            EXPECT_TRUE((GetWindowLongA(control, GWL_STYLE) & WS_BORDER) ||
                        (GetWindowLongA(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE))
                << row.id;
        }
    }
}

TEST(Resources, SettingsDialogTemplate)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
    HWND dialog = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_SETTINGS),
                                     NULL, InertDialogProc, 0);
    ASSERT_NE((HWND)NULL, dialog);
    char title[32];
    GetWindowTextA(dialog, title, sizeof title);
    EXPECT_STREQ("Settings", title);
    EXPECT_TRUE(IsWindowVisible(dialog));
    RECT client, units = {0, 0, 186, 78};
    GetClientRect(dialog, &client);
    MapDialogRect(dialog, &units);
    EXPECT_EQ(units.right, client.right);
    EXPECT_EQ(units.bottom, client.bottom);
    const DWORD tab = WS_VISIBLE | WS_TABSTOP, edit = tab | ES_NUMBER | ES_AUTOHSCROLL;
    const DWORD spin = WS_VISIBLE | UDS_SETBUDDYINT | UDS_ARROWKEYS;
    const DWORD label = WS_VISIBLE | WS_GROUP;
    ExpectControls(dialog, {
        {IDCANCEL, "Button", "Cancel", {100, 60, 50, 14}, tab | BS_PUSHBUTTON, 0},
        {IDOK, "Button", "OK", {34, 60, 50, 14}, tab | BS_DEFPUSHBUTTON, 0},
        {IDC_MIN_SPIN, UPDOWN_CLASSA, "", {48, 24, 11, 14}, spin, 0, false},
        {IDC_MAX_EDIT, "Edit", "", {93, 24, 40, 14}, edit, 0, true, true},
        {IDC_MIN_LABEL, "Static", "Transparency Min.", {9, 12, 63, 8}, label, WS_EX_TRANSPARENT},
        {IDC_MAX_LABEL, "Static", "Transparency Max.", {93, 12, 63, 8}, label, WS_EX_TRANSPARENT},
        {IDC_MIN_EDIT, "Edit", "", {9, 24, 40, 14}, edit, 0, true, true},
        {IDC_MAX_SPIN, UPDOWN_CLASSA, "", {133, 24, 11, 14}, spin, 0, false},
    });
    for (int id : {IDC_MIN_SPIN, IDC_MAX_SPIN})
        EXPECT_EQ(0, GetWindowLongA(GetDlgItem(dialog, id), GWL_STYLE) &
                         (UDS_ALIGNLEFT | UDS_ALIGNRIGHT | UDS_AUTOBUDDY)) << id;
    DestroyWindow(dialog);
}

TEST(Resources, AboutDialogTemplateShowsThePicture)
{
    HWND dialog = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_ABOUT), NULL,
                                     InertDialogProc, 0);
    ASSERT_NE((HWND)NULL, dialog);
    char title[32];
    GetWindowTextA(dialog, title, sizeof title);
    EXPECT_STREQ("About", title);
    EXPECT_FALSE(IsWindowVisible(dialog)) << "the About box is not visible by its template";
    LONG style = GetWindowLongA(dialog, GWL_STYLE);
    EXPECT_EQ((LONG)(WS_CAPTION | WS_SYSMENU), style & (WS_CAPTION | WS_SYSMENU));
    // The picture control's text names the bitmap resource by number.
    ExpectControls(dialog, {{IDC_ABOUT_PICTURE, "Static", nullptr, {0, 0, 225, 94},
                             WS_VISIBLE | SS_BITMAP, 0, false}});
    HBITMAP picture = (HBITMAP)SendDlgItemMessageA(dialog, IDC_ABOUT_PICTURE, STM_GETIMAGE,
                                                   IMAGE_BITMAP, 0);
    ASSERT_NE((HBITMAP)NULL, picture);
    BITMAP info;
    GetObjectA(picture, sizeof info, &info);
    EXPECT_EQ(394, info.bmWidth);
    EXPECT_EQ(187, info.bmHeight);

    // At 96 DPI the box is 339 x 153 pixels with the system's dialog font
    // (wider under Wine): what it cuts off of the picture must be blank.
    HDC memory = CreateCompatibleDC(NULL);
    HGDIOBJ previous = SelectObject(memory, picture);
    int inkOutside = 0;
    for (int y = 0; y < info.bmHeight; y++)
        for (int x = 0; x < info.bmWidth; x++)
            inkOutside += (x >= 339 || y >= 153) && GetPixel(memory, x, y) != RGB(255, 255, 255);
    SelectObject(memory, previous);
    DeleteDC(memory);
    EXPECT_EQ(0, inkOutside) << "drawn past the box";
    DestroyWindow(dialog);
}

}  // namespace
