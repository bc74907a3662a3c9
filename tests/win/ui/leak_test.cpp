// Ten thousand paints of the panel, the item list and the popup leave the process's GDI
// object count where it was, over every kind of preview.
#include "support.h"

#include "collection/slots.h"
#include "shell/globals.h"
#include "ui/itemlist.h"
#include "ui/panel.h"
#include "ui/panelpaint.h"
#include "ui/popup.h"

namespace {

LRESULT CALLBACK PaintedPanel(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        PaintPanel(window);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeWindow(const char *className, WNDPROC procedure, DWORD exStyle, DWORD style, int x,
                int y, int width, int height, HWND parent)
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = procedure;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszClassName = className;
    RegisterClassExA(&wc);
    return CreateWindowExA(exStyle, className, "", style, x, y, width, height, parent, NULL,
                           GetModuleHandleA(NULL), NULL);
}

COLORREF Halves(int, int y) { return y < 5 ? RGB(200, 0, 0) : RGB(0, 0, 200); }

class LeakTest : public UiTest {};

TEST_F(LeakTest, TenThousandPaintsOfEveryWindowLeaveNoGdiObject)
{
    StoreText(0, "current\ttext", SLOT_OCCUPIED | SLOT_CURRENT);
    DibLayout palette = {10, 10, 8};
    palette.palette = {0x112233, 0x445566};
    palette.colorsUsed = 2;
    StoreItem(1, {{CF_DIB, MakeDib(palette, Halves), ""}}, SLOT_OCCUPIED);
    StoreItem(2, {{0xFFFF, "<b>", "HTML Format"}}, SLOT_OCCUPIED);
    StoreItem(3, {{CF_DIB, std::string(44, 'x'), ""}}, SLOT_OCCUPIED);
    StoreItem(4, {{CF_DIB, MakeDib({300, 200}, Halves), ""}}, SLOT_OCCUPIED);

    HWND panel = MakeWindow("UiLeakPanel", PaintedPanel, WS_EX_TOOLWINDOW, WS_POPUP, 0, 0, 180,
                            400, NULL);
    // Two rows: the hidden row 0 and one visible row.
    HWND list = MakeWindow("UiLeakList", ItemListWindowProc, WS_EX_CLIENTEDGE,
                           WS_CHILD | WS_VISIBLE | WS_VSCROLL, 0, 146, 180, 40, panel);
    HWND popup = MakeWindow("UiLeakPopup", PopupWindowProc, WS_EX_TOOLWINDOW,
                            WS_POPUP | WS_DLGFRAME, 300, 0, 150, 120, NULL);
    ASSERT_TRUE(panel && list && popup);
    itemListWindow = list;
    ShowWindow(panel, SW_SHOWNOACTIVATE);
    ShowWindow(popup, SW_SHOWNOACTIVATE);
    ASSERT_EQ(listRowCount, 2u);

    // Each paint shows another kind of preview: the current slot and the
    // list's position step through slots 0 to 4 (text, palette picture, no
    // preview, short DIB, stretched picture) and past them.
    const HWND windows[] = {panel, list, popup};
    auto paint = [&](int i) {
        int kind = (i / 3) % 6;
        for (int slot = 0; slot < 5; slot++)
            itemSlots[slot].flags = SLOT_OCCUPIED | (slot == kind ? SLOT_CURRENT : 0);
        listTopRow = (DWORD)kind;
        RedrawWindow(windows[i % 3], NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    };
    const int paints = 10000;
    for (int i = 0; i < 36; i++)
        paint(i);
    DWORD before = CountGdiObjects();
    DWORD start = GetTickCount();
    for (int i = 0; i < paints; i++)
        paint(i);
    DWORD took = GetTickCount() - start;
    DWORD after = CountGdiObjects();
    EXPECT_EQ(after, before);
    EXPECT_GT(before, 0u);
    printf("[ info ] %d paints in %lu ms, %lu GDI objects\n", paints, (unsigned long)took,
           (unsigned long)after);

    // The count does see what a paint would leak.
    HPEN leaked = CreatePen(PS_SOLID, 1, 0);
    EXPECT_EQ(CountGdiObjects(), before + 1);
    DeleteObject(leaked);

    itemListWindow = NULL;
    DestroyWindow(popup);
    DestroyWindow(panel);
}

}  // namespace
