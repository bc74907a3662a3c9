// The item list on a real window: the scroll table, the row count, the
// click that restores a row's item, the reset, the panel kept awake; and
// its rows painted into a memory device context.
#include "support.h"

#include "collection/slots.h"
#include "shell/globals.h"
#include "ui/fonts.h"
#include "ui/itemlist.h"
#include "ui/panel.h"

namespace {

const int W = 180;
const COLORREF FREE_FRAME = RGB(93, 255, 255), CURRENT_FRAME = RGB(0, 14, 55),
               OCCUPIED_FRAME = RGB(0, 128, 234);

HWND MakeList()
{
    static bool registered;
    if (!registered) {
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = ItemListWindowProc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.hCursor = LoadCursor(NULL, IDC_ARROW);
        wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
        wc.lpszClassName = "Betal_Clipboard";
        registered = RegisterClassExA(&wc) != 0;
    }
    return CreateWindowExA(WS_EX_CLIENTEDGE, "Betal_Clipboard", "",
                           WS_CHILD | WS_VISIBLE | WS_VSCROLL, 0, 146, W, 454, panelWindow, NULL,
                           GetModuleHandleA(NULL), NULL);
}

SCROLLINFO ScrollState(HWND list)
{
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    GetScrollInfo(list, SB_VERT, &info);
    return info;
}

class ItemListTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        list = MakeList();
        ASSERT_NE(list, (HWND)NULL);
        itemListWindow = list;
    }
    void TearDown() override
    {
        DestroyWindow(list);
        itemListWindow = NULL;
        UiTest::TearDown();
    }
    void Paint(Canvas &canvas, int width = W)
    {
        RECT client = {0, 0, width, canvas.height()};
        DrawItemList(canvas.dc(), client);
    }
    HWND list = NULL;
};

TEST_F(ItemListTest, ScrollBarRangeAndPageOnCreateAndSize)
{
    ItemListWindowProc(list, WM_CREATE, 0, 0);
    SCROLLINFO info = ScrollState(list);
    EXPECT_EQ(info.nMin, 0);
    EXPECT_EQ(info.nMax, 31);
    EXPECT_EQ(info.nPage, 5u);
    EXPECT_EQ(info.nPos, 0);

    listTopRow = 7;
    SetListPosition(list, 7);
    MoveWindow(list, 0, 146, W, 400, FALSE);
    info = ScrollState(list);
    EXPECT_EQ(info.nPage, 8u);
    EXPECT_EQ(info.nPos, 0);
    EXPECT_EQ(listTopRow, 7u) << "a size leaves the list's own position alone";
    RECT client;
    GetClientRect(list, &client);
    EXPECT_EQ(listRowCount, ListRowCountFor(client.bottom));
}

TEST_F(ItemListTest, RowCountForClientHeights)
{
    const struct {
        int height;
        DWORD rows;
    } rows[] = {{0, 1}, {1, 2}, {59, 2}, {60, 2}, {61, 3}, {120, 3}, {121, 4}, {450, 9}, {481, 10}};
    for (const auto &row : rows)
        EXPECT_EQ(ListRowCountFor(row.height), row.rows) << "height " << row.height;
}

TEST_F(ItemListTest, ScrollRequestsMoveWithinTheBarAndAlwaysWakeThePanel)
{
    const struct {
        int from;
        WORD code;
        int to;
    } rows[] = {
        {0, SB_BOTTOM, 24},   {5, SB_PAGEUP, 0},    {8, SB_PAGEUP, 0},
        {10, SB_PAGEUP, 2},   {20, SB_PAGEDOWN, 24}, {24, SB_PAGEDOWN, 24},
        {16, SB_PAGEDOWN, 24}, {0, SB_LINEUP, 0},    {3, SB_LINEUP, 2},
        {3, SB_LINEDOWN, 4},  {24, SB_LINEDOWN, 24}, {13, SB_TOP, 0},
        {13, SB_THUMBPOSITION, 13}, {13, SB_ENDSCROLL, 13},
    };
    MoveWindow(list, 0, 146, W, 454, FALSE);  // page 8
    for (const auto &row : rows) {
        SetListPosition(list, row.from);
        listTopRow = (DWORD)row.from;
        targetAlpha = 0;
        LRESULT result = SendMessageA(list, WM_VSCROLL, MAKEWPARAM(row.code, 0), 0);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(ScrollState(list).nPos, row.to) << "code " << row.code << " from " << row.from;
        EXPECT_EQ(listTopRow, (DWORD)row.to) << "code " << row.code << " from " << row.from;
        EXPECT_EQ(targetAlpha, transparencyMax) << "code " << row.code << " from " << row.from;
    }
    // The panel's fade-out sends the list back to the top.
    SendMessageA(list, LIST_RESET_MESSAGE, 0, 0);
    EXPECT_EQ(ScrollState(list).nPos, 0);
    EXPECT_EQ(listTopRow, 0u);
}

TEST_F(ItemListTest, MouseMovesWakeThePanelAndStartItsFade)
{
    targetAlpha = transparencyMin;
    SendMessageA(list, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    EXPECT_EQ(targetAlpha, transparencyMax);
    EXPECT_TRUE(PumpUntil([] { return panelFadeTicks > 0; }, 3000)) << "no fade timer";
}

TEST_F(ItemListTest, ClickRestoresTheSlotUnderThePointer)
{
    for (int slot = 1; slot < SLOT_COUNT; slot++)
        StoreText(slot, "item " + std::to_string(slot), SLOT_OCCUPIED);
    const struct {
        DWORD top;
        int y;
        int slot;  // -1: nothing restored
    } rows[] = {
        {0, 0, 1}, {0, 59, 1}, {0, 60, 2}, {3, 130, 6}, {24, 400, 31},
        {25, 400, -1}, {31, 0, -1}, {32, 10, -1}, {0, 5000, -1},
    };
    for (const auto &row : rows) {
        ASSERT_TRUE(PutClipboardText("before"));
        listTopRow = row.top;
        targetAlpha = 0;
        SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, row.y));
        std::string expected = row.slot < 0 ? "before" : "item " + std::to_string(row.slot);
        EXPECT_EQ(ClipboardText(), expected) << "top " << row.top << ", y " << row.y;
        EXPECT_EQ(targetAlpha, transparencyMax);
        if (row.slot >= 0) {
            EXPECT_TRUE(itemSlots[row.slot].flags & SLOT_CURRENT);
        }
    }
}

TEST_F(ItemListTest, RowFramesAndNumbersShowTheSlotState)
{
    StoreMissing(2, SLOT_OCCUPIED | SLOT_CURRENT);
    StoreMissing(3, SLOT_OCCUPIED);
    listRowCount = 4;
    Canvas actual(W, 300), expected(W, 300);
    Paint(actual);
    const struct {
        int row;
        COLORREF frame;
        const wchar_t *number;
        const LOGFONTA *font;
        int points;
        COLORREF color;
    } rows[] = {
        {1, FREE_FRAME, L"1", &regularFontTemplate, 7, RGB(93, 179, 255)},
        {2, CURRENT_FRAME, L"2", &boldFontTemplate, 10, RGB(0, 102, 204)},
        {3, OCCUPIED_FRAME, L"3", &boldFontTemplate, 10, RGB(0, 102, 204)},
    };
    for (const auto &row : rows) {
        int y = 60 * row.row - 59;
        EXPECT_EQ(actual.At(1, y), row.frame) << "row " << row.row;
        EXPECT_EQ(actual.At(W - 2, y), row.frame) << "row " << row.row;
        EXPECT_EQ(actual.At(W - 2, y + 58), row.frame) << "row " << row.row;
        EXPECT_EQ(actual.At(1, y + 58), row.frame) << "row " << row.row;
        EXPECT_EQ(actual.At(W / 2, y + 30), RGB(255, 255, 255)) << "row " << row.row;
        RECT label = {3, y + 2, 19, y + 56};
        DrawReference(expected, row.number, label, DT_SINGLELINE | DT_BOTTOM, row.font, row.points,
                      row.color, OPAQUE);
        EXPECT_TRUE(actual.SameAs(expected, label)) << "number of row " << row.row;
    }
    EXPECT_TRUE(actual.Blank({0, 181, W, 300})) << "only four rows, the hidden one included";
}

TEST_F(ItemListTest, FreeSlotThatKeepsAFileNameShowsItsPreview)
{
    StoreText(1, "kept after clear", 0);
    listRowCount = 2;
    Canvas canvas(W, 120);
    Paint(canvas);
    EXPECT_EQ(canvas.At(1, 1), FREE_FRAME);
    EXPECT_FALSE(canvas.Blank({20, 3, W - 20, 57}));
}

// With all 32 slots taken every item is in view: the panel's preview shows
// a current slot 0, and the list shows every other slot down to 31.
TEST_F(ItemListTest, EveryStoredItemIsInView)
{
    const struct {
        const char *what;
        DWORD incoming, newest;
        DWORD firstSlot;  // shown in the first visible row at the top
        int rowOf31;      // at scroll position 24
    } cases[] = {
        {"slot 0 free", 0, SLOT_OCCUPIED | SLOT_CURRENT, 1, 7},
        {"slot 0 current (a repeated copy)", SLOT_OCCUPIED | SLOT_CURRENT, SLOT_OCCUPIED, 1, 7},
        {"slot 0 not current (a restore)", SLOT_OCCUPIED, SLOT_OCCUPIED | SLOT_CURRENT, 0, 8},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        for (int slot = 2; slot < SLOT_COUNT; slot++)
            StoreMissing(slot, SLOT_OCCUPIED);
        StoreMissing(1, c.newest);
        if (c.incoming != 0)
            StoreMissing(0, c.incoming);
        else
            itemSlots[0].flags = 0;
        listRowCount = 10;
        listTopRow = 0;
        EXPECT_EQ(ListSlotAt(0), c.firstSlot);
        Canvas top(W, 600);
        Paint(top);
        EXPECT_EQ(top.At(1, 1), (itemSlots[c.firstSlot].flags & SLOT_CURRENT) ? CURRENT_FRAME
                                                                               : OCCUPIED_FRAME);
        listTopRow = 24;
        int y31 = 60 * c.rowOf31 - 59;
        Canvas bottom(W, 660);
        Paint(bottom);
        EXPECT_EQ(bottom.At(1, y31), OCCUPIED_FRAME) << "slot 31 drawn";
        EXPECT_TRUE(bottom.Blank({0, y31 + 60, W, 660})) << "no row past slot 31";
    }
}

TEST_F(ItemListTest, PaintLowersThePositionAndDrawsOnlyWhatItMay)
{
    listRowCount = 9;
    listTopRow = 40;
    Canvas canvas(W, 600);
    Paint(canvas);
    EXPECT_EQ(listTopRow, 32u);
    EXPECT_TRUE(canvas.Blank({0, 0, W, 600}));

    listTopRow = 0;
    listRowCount = 1;  // the hidden row only
    Paint(canvas);
    EXPECT_TRUE(canvas.Blank({0, 0, W, 600}));
}

// The list of the docked panel: 180 pixels less the panel's frame, less the
// list's edge and scroll bar.
TEST_F(ItemListTest, NoPreviewGlyphSitsTenPixelsLeftOfTheRowCentre)
{
    StoreItem(1, {{0xFFFF, "<i>x</i>", "HTML Format"}}, SLOT_OCCUPIED);
    listRowCount = 2;
    MoveWindow(list, 0, 146, 180 - 2 * GetSystemMetrics(SM_CXFRAME), 454, FALSE);
    RECT client;
    GetClientRect(list, &client);
    const int width = client.right;
    Canvas actual(width, 120), expected(width, 120);
    Paint(actual, width);
    int x = (width - 40) / 2 - objInfo.bmWidth / 2 + 10;
    EXPECT_EQ(x + objInfo.bmWidth / 2, width / 2 - 10);
    BlitReference(expected, objBitmap, objInfo, x, 1 + 2 + 5);
    RECT glyph = {x, 8, x + objInfo.bmWidth, 8 + objInfo.bmHeight};
    EXPECT_TRUE(actual.SameAs(expected, glyph));
    // The text under it, wrapped within the row's box where the two lines
    // fit, or the short one, rather than one line cut at both ends.
    RECT text = {20, 8 + objInfo.bmHeight + 3, width - 20, 57};
    Canvas wrapped(width, 120), shortened(width, 120);
    DrawReference(wrapped, L"Clipboard Item - No preview", text, DT_CENTER | DT_WORDBREAK,
                  &regularFontTemplate, 7, RGB(0, 0, 0), OPAQUE);
    DrawReference(shortened, L"No preview", text, DT_CENTER, &regularFontTemplate, 7,
                  RGB(0, 0, 0), OPAQUE);
    EXPECT_TRUE(actual.SameAs(wrapped, text) || actual.SameAs(shortened, text));
}

TEST_F(ItemListTest, WindowPaintReleasesWhatItMade)
{
    StoreText(1, "text", SLOT_OCCUPIED | SLOT_CURRENT);
    MoveWindow(list, 0, 146, W, 454, FALSE);
    ShowWindow(panelWindow, SW_SHOWNOACTIVATE);
    RedrawWindow(list, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    DWORD before = CountGdiObjects();
    for (int i = 0; i < 50; i++)
        RedrawWindow(list, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    EXPECT_EQ(CountGdiObjects(), before);
    ShowWindow(panelWindow, SW_HIDE);
}

}  // namespace
