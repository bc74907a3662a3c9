// The quick-view popup on real windows: every hotkey case, the list
// following the current item, the show request, the key poll, the
// slide-out, and its picture.
#include "support.h"

#include "collection/capture.h"
#include "collection/clipboard.h"
#include "collection/platform.h"
#include "collection/restore.h"
#include "collection/slots.h"
#include "shell/globals.h"
#include "tarnhook.h"
#include "ui/fonts.h"
#include "ui/itemlist.h"
#include "ui/panel.h"
#include "ui/popup.h"

namespace {

void RegisterClasses()
{
    static bool registered;
    if (registered)
        return;
    registered = true;
    const struct {
        const char *name;
        WNDPROC procedure;
    } classes[] = {{"Betal_Notify", PopupWindowProc}, {"Betal_Clipboard", ItemListWindowProc}};
    for (const auto &c : classes) {
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = c.procedure;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.hCursor = LoadCursor(NULL, IDC_ARROW);
        wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
        wc.lpszClassName = c.name;
        RegisterClassExA(&wc);  // the list's class may be there already
    }
}

RECT WorkArea()
{
    RECT work;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

SHORT WINAPI BothKeysDown(int) { return (SHORT)0x8000; }
SHORT WINAPI OnlyShiftDown(int key) { return key == VK_LSHIFT ? (SHORT)0x8000 : 0; }

class PopupTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        RegisterClasses();
        RECT work = WorkArea();
        popup = CreateWindowExA(WS_EX_CLIENTEDGE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST,
                                "Betal_Notify", "Clipboard Viewer", WS_POPUP | WS_DLGFRAME,
                                work.right - 160, work.bottom - 120, 150, 120, NULL, NULL,
                                GetModuleHandleA(NULL), NULL);
        ASSERT_NE(popup, (HWND)NULL);
        popupWindow = popup;
        list = CreateWindowExA(WS_EX_CLIENTEDGE, "Betal_Clipboard", "",
                               WS_CHILD | WS_VISIBLE | WS_VSCROLL, 0, 146, 180, 454, panelWindow,
                               NULL, GetModuleHandleA(NULL), NULL);
        ASSERT_NE(list, (HWND)NULL);
        MoveWindow(list, 0, 146, 180, 454, FALSE);  // page 8: positions 0 to 24
        itemListWindow = list;
        panelHidden = true;
        ASSERT_TRUE(PutClipboardText("before"));
    }
    void TearDown() override
    {
        popupKeyState = GetAsyncKeyState;
        DestroyWindow(popup);
        DestroyWindow(list);
        popupWindow = itemListWindow = NULL;
        UiTest::TearDown();
    }
    void Hotkey(WPARAM mask) { SendMessageA(popup, HOTKEY_MESSAGE, mask, 0); }
    void SetListPosition(int position)
    {
        ::SetListPosition(list, position);
        listTopRow = (DWORD)position;
    }
    bool PanelCalled() const { return IsWindowVisible(panelWindow) != FALSE; }
    bool PopupShown() const { return IsWindowVisible(popup) != FALSE; }
    HWND popup = NULL, list = NULL;
};

BOOL WINAPI NoTrayIcon(DWORD, PNOTIFYICONDATAA) { return FALSE; }
BOOL WINAPI ClipboardRefused(HWND) { return FALSE; }

// Up and Down step from the current slot: a neighbour that is occupied is
// restored and becomes current; the panel is called (and comes up, so the
// popup stays hidden) unless the step goes past the oldest slot; the list
// follows a current slot.
TEST_F(PopupTest, UpAndDownStepFromTheCurrentSlot)
{
    const struct {
        const char *what;
        WPARAM mask;
        std::vector<int> occupied;
        int current;  // 0: none
        DWORD listFrom;
        const char *clipboard;
        int nowCurrent;
        bool panelCalled;
        DWORD listTo;
    } rows[] = {
        {"up from slot 3", HOTKEY_UP, {1, 2, 3, 4}, 3, 0, "item 2", 2, true, 0},
        {"down with none current", HOTKEY_DOWN, {1, 2}, 0, 5, "item 1", 1, true, 5},
        {"down to a free neighbour", HOTKEY_DOWN, {4}, 4, 0, "before", 4, true, 0},
        {"down from the last slot", HOTKEY_DOWN, {30, 31}, 31, 0, "before", 31, false, 23},
    };
    for (const auto &row : rows) {
        memset(itemSlots, 0, sizeof itemSlots);
        for (int slot : row.occupied)
            StoreText(slot, "item " + std::to_string(slot),
                      SLOT_OCCUPIED | (slot == row.current ? SLOT_CURRENT : 0));
        ASSERT_TRUE(PutClipboardText("before"));
        ShowWindow(panelWindow, SW_HIDE);
        ShowWindow(popup, SW_HIDE);
        panelHidden = true;
        targetAlpha = 0;
        panelFadeTicks = 0;
        SetListPosition((int)row.listFrom);
        Hotkey(row.mask);
        EXPECT_EQ(ClipboardText(), row.clipboard) << row.what;
        EXPECT_EQ(FindCurrentSlot(), row.nowCurrent) << row.what;
        EXPECT_EQ(PanelCalled(), row.panelCalled) << row.what;
        EXPECT_EQ(panelHidden, !row.panelCalled) << row.what;
        EXPECT_EQ(targetAlpha, row.panelCalled ? transparencyMax : 0u) << row.what;
        EXPECT_EQ(listTopRow, row.listTo) << row.what;
        EXPECT_EQ(PopupShown(), !row.panelCalled) << row.what;
        if (row.panelCalled) {
            EXPECT_TRUE(PumpUntil([] { return panelFadeTicks > 0; }, 3000)) << row.what;
        }
    }
    // A copy that waits for the clipboard is the newest item: Down steps
    // from it to slot 1, not from the old mark.
    memset(itemSlots, 0, sizeof itemSlots);
    for (int slot = 1; slot <= 3; slot++)
        StoreText(slot, "item " + std::to_string(slot), SLOT_OCCUPIED | (slot == 2 ? SLOT_CURRENT : 0));
    ASSERT_TRUE(PutClipboardText("copied while held"));
    firstCapturePending = false;
    platformCalls.notifyIcon = NoTrayIcon;
    platformCalls.openClipboard = ClipboardRefused;
    CaptureClipboard(panelWindow);
    platformCalls.openClipboard = realPlatformCalls.openClipboard;
    Hotkey(HOTKEY_DOWN);
    EXPECT_EQ(ClipboardText(), "item 1");
    char folder[MAX_PATH];
    ASSERT_TRUE(EnsureItemFolder(folder));
    EXPECT_NE(FileBytes(folder + std::string(itemSlots[1].name)).find("copied while held"),
              std::string::npos);
    platformCalls.notifyIcon = realPlatformCalls.notifyIcon;
}

// Another program that makes the hook's message arrive in the middle of a
// clipboard operation: the platform dispatches sent messages while it waits
// for the clipboard owner, asked for its delayed text by a capture, or told
// by a restore that its content is gone.
HWND hookedPopup;
int currentDuringTheWait;  // FindCurrentSlot right after the message was sent; -1: never sent

LRESULT CALLBACK HotkeyInTheWaitProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_RENDERFORMAT || message == WM_DESTROYCLIPBOARD) {
        SendMessageA(hookedPopup, HOTKEY_MESSAGE, HOTKEY_DOWN, 0);
        currentDuringTheWait = FindCurrentSlot();
    }
    if (message == WM_RENDERFORMAT) {
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 7);
        memcpy(GlobalLock(block), "copied", 7);
        GlobalUnlock(block);
        SetClipboardData((UINT)wParam, block);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Ctrl+Alt+Down while a capture or a restore holds the clipboard steps only
// once the operation is over, from the slot it left current.
TEST_F(PopupTest, HotkeyWaitsForTheClipboardOperationItArrivesIn)
{
    HWND other = MakeTestWindow("PopupTestOtherProgram", "another program", WS_POPUP,
                                HotkeyInTheWaitProc);
    ASSERT_NE(other, (HWND)NULL);
    hookedPopup = popup;
    platformCalls.notifyIcon = NoTrayIcon;
    const struct {
        const char *what;
        bool capture;          // a capture of delayed text; else a restore of slot 1
        int currentInside;     // while the operation waits for the other program
        int currentAfterIt;    // when the operation is over
        const char *clipboard;  // after the step
        int currentAfterStep;
    } rows[] = {
        // The new item is current in slot 0; Down puts slot 1 back and
        // pushes the new item into the history.
        {"capture", true, 2, 0, "item 1", 2},
        {"restore", false, 1, 1, "item 2", 2},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        memset(itemSlots, 0, sizeof itemSlots);
        for (int slot = 1; slot <= 3; slot++)
            StoreText(slot, "item " + std::to_string(slot),
                      SLOT_OCCUPIED | (slot == 2 ? SLOT_CURRENT : 0));
        ASSERT_TRUE(OpenClipboardWithin(other, 5000));
        EmptyClipboard();
        if (row.capture) {
            SetClipboardData(CF_TEXT, NULL);
        } else {
            HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 7);
            memcpy(GlobalLock(block), "before", 7);
            GlobalUnlock(block);
            SetClipboardData(CF_TEXT, block);
        }
        CloseClipboard();
        currentDuringTheWait = -1;
        firstCapturePending = false;
        if (row.capture)
            CaptureClipboard(panelWindow);
        else
            RestoreClipboardItem(1, list);
        EXPECT_EQ(currentDuringTheWait, row.currentInside) << "the step ran inside the operation";
        EXPECT_EQ(FindCurrentSlot(), row.currentAfterIt);
        if (row.capture) {
            EXPECT_EQ(ClipboardText(), "copied");
        }
        EXPECT_TRUE(PumpUntil([] { return FindCurrentSlot() == 2 && itemSlots[0].flags == 0; }, 3000));
        EXPECT_EQ(FindCurrentSlot(), row.currentAfterStep);
        EXPECT_EQ(ClipboardText(), row.clipboard);
        EXPECT_EQ(GetClipboardOwner(), list);
    }
    platformCalls.notifyIcon = realPlatformCalls.notifyIcon;
    DestroyWindow(other);
}

TEST_F(PopupTest, HotkeyAfterOnePutOffWaitsBehindIt)
{
    // Shift put off by a hold, then Space: the panel ends up, as pressed.
    panelHidden = false;
    ASSERT_TRUE(HoldClipboard(popup));
    Hotkey(HOTKEY_SHIFT);
    ReleaseClipboard();
    Hotkey(HOTKEY_SPACE);
    HWND window = popup;
    EXPECT_TRUE(PumpUntil([window] {
        MSG queued;
        return !PeekMessageA(&queued, window, HOTKEY_MESSAGE, HOTKEY_MESSAGE, PM_NOREMOVE);
    }, 3000));
    EXPECT_FALSE(panelHidden);
}

TEST_F(PopupTest, UpWithNothingNewerOnlyMakesTheShowRequest)
{
    StoreText(1, "item 1", SLOT_OCCUPIED);
    for (DWORD current : {0u, SLOT_CURRENT}) {
        StoreText(0, "incoming", SLOT_OCCUPIED | current);
        ShowWindow(popup, SW_HIDE);
        SetListPosition(5);
        Hotkey(HOTKEY_UP);
        EXPECT_EQ(ClipboardText(), "before");
        EXPECT_FALSE(PanelCalled());
        EXPECT_EQ(targetAlpha, 0u);
        EXPECT_EQ(listTopRow, 5u) << "the list does not follow";
        EXPECT_TRUE(PopupShown());
    }
}

TEST_F(PopupTest, SpaceBringsThePanelUpAndShiftSendsItAway)
{
    panelHidden = true;
    Hotkey(HOTKEY_SPACE);
    EXPECT_TRUE(PanelCalled());
    EXPECT_FALSE(panelHidden);
    EXPECT_EQ(targetAlpha, transparencyMax);
    EXPECT_FALSE(PopupShown());

    Hotkey(HOTKEY_SHIFT);
    EXPECT_TRUE(PanelCalled());
    EXPECT_TRUE(panelHidden);
    EXPECT_EQ(targetAlpha, transparencyMin);
    EXPECT_TRUE(PopupShown());
    RECT frame, work = WorkArea();
    GetWindowRect(popup, &frame);
    EXPECT_EQ(frame.left, work.right - 160);
    EXPECT_EQ(frame.top, work.bottom - 120);
    EXPECT_EQ(frame.right - frame.left, 150);
    EXPECT_EQ(frame.bottom - frame.top, 120);
    EXPECT_EQ(ClipboardText(), "before");
}

TEST_F(PopupTest, OtherKeysAndChordsOnlyFollowAndShow)
{
    StoreText(19, "item 19", SLOT_OCCUPIED);
    StoreText(20, "item 20", SLOT_OCCUPIED | SLOT_CURRENT);
    StoreText(21, "item 21", SLOT_OCCUPIED);
    const WPARAM masks[] = {HOTKEY_UP | HOTKEY_SHIFT, HOTKEY_LEFT, HOTKEY_RIGHT, HOTKEY_RETURN,
                            HOTKEY_PAUSE, HOTKEY_UP | HOTKEY_DOWN, 0};
    for (WPARAM mask : masks) {
        ShowWindow(popup, SW_HIDE);
        SetListPosition(0);
        targetAlpha = 0;
        Hotkey(mask);
        EXPECT_EQ(ClipboardText(), "before") << "mask " << mask;
        EXPECT_FALSE(PanelCalled()) << "mask " << mask;
        EXPECT_EQ(targetAlpha, 0u) << "mask " << mask;
        EXPECT_EQ(listTopRow, 12u) << "mask " << mask;
        EXPECT_TRUE(PopupShown()) << "mask " << mask;
    }
}

TEST_F(PopupTest, FollowingKeepsTheCurrentSlotInTheFirstEightRows)
{
    const struct {
        int position;
        int current;  // 0: none current
        DWORD top;
    } rows[] = {
        {0, 20, 12}, {0, 5, 0}, {0, 8, 0}, {0, 9, 1}, {10, 5, 4}, {10, 11, 10},
        {10, 18, 10}, {10, 19, 11}, {24, 31, 24}, {3, 0, 0}, {0, 1, 0}, {6, 1, 0},
    };
    for (const auto &row : rows) {
        memset(itemSlots, 0, sizeof itemSlots);
        if (row.current != 0)
            itemSlots[row.current].flags = SLOT_OCCUPIED | SLOT_CURRENT;
        SetListPosition(row.position);
        FollowCurrentItem();
        EXPECT_EQ(listTopRow, row.top) << "from " << row.position << ", current " << row.current;
        SCROLLINFO info = {};
        info.cbSize = sizeof info;
        info.fMask = SIF_POS;
        GetScrollInfo(list, SB_VERT, &info);
        EXPECT_EQ((DWORD)info.nPos, row.top);
        if (row.current != 0) {
            // The first visible row shows slot listTopRow + 1.
            EXPECT_GE((DWORD)row.current, listTopRow + 1);
            EXPECT_LE((DWORD)row.current, listTopRow + 8);
        }
    }
}

TEST_F(PopupTest, ShowRequestIsHonouredOnlyWhileThePanelIsHidden)
{
    panelHidden = false;
    SendMessageA(popup, POPUP_SHOW_MESSAGE, 0, 0);
    EXPECT_FALSE(PopupShown());
    panelHidden = true;
    SendMessageA(popup, POPUP_SHOW_MESSAGE, 0, 0);
    EXPECT_TRUE(PopupShown());
}

TEST_F(PopupTest, KeyPollAsksForAShowWhileLeftShiftAndAltAreHeld)
{
    popupKeyState = OnlyShiftDown;
    SendMessageA(popup, WM_TIMER, KEY_POLL_TIMER, 0);
    EXPECT_FALSE(PopupShown());
    popupKeyState = BothKeysDown;
    panelHidden = false;
    SendMessageA(popup, WM_TIMER, KEY_POLL_TIMER, 0);
    EXPECT_FALSE(PopupShown());
    panelHidden = true;
    SendMessageA(popup, WM_TIMER, KEY_POLL_TIMER, 0);
    EXPECT_TRUE(PopupShown());
}

TEST_F(PopupTest, SlideOutShrinksInNineStepsThenHides)
{
    ShowQuickView(popup);
    RECT start;
    GetWindowRect(popup, &start);
    for (int step = 1; step <= 9; step++) {
        SendMessageA(popup, WM_TIMER, POPUP_HIDE_TIMER, 0);
        RECT frame;
        GetWindowRect(popup, &frame);
        EXPECT_EQ(frame.bottom - frame.top, 120 - 12 * step) << "step " << step;
        EXPECT_EQ(frame.bottom, start.bottom);
        EXPECT_EQ(frame.left, start.left);
        EXPECT_EQ(frame.right, start.right);
        EXPECT_TRUE(PopupShown()) << "step " << step;
    }
    SendMessageA(popup, WM_TIMER, POPUP_HIDE_TIMER, 0);
    EXPECT_FALSE(PopupShown());
    // The next show brings back the full size.
    ShowQuickView(popup);
    RECT frame;
    GetWindowRect(popup, &frame);
    EXPECT_EQ(frame.bottom - frame.top, 120);
}

// Shown, the popup hides by itself three seconds later. Clicked, it comes
// back to full size and stays while it is active; once it loses the
// activation it hides three seconds later.
HWND slidingPopup;
bool HidesAfterThreeSeconds(HWND popup)
{
    slidingPopup = popup;
    DWORD start = GetTickCount();
    return PumpUntil([] { return !IsWindowVisible(slidingPopup); }, 8000) &&
           GetTickCount() - start >= 2900;
}

TEST_F(PopupTest, HidesThreeSecondsAfterShownOrDeactivated)
{
    SendMessageA(popup, POPUP_SHOW_MESSAGE, 0, 0);
    ASSERT_TRUE(PopupShown());
    EXPECT_TRUE(HidesAfterThreeSeconds(popup)) << "after a show";

    HWND other = CreateWindowExA(0, "Static", "", WS_POPUP | WS_VISIBLE, 0, 0, 20, 20, NULL,
                                 NULL, GetModuleHandleA(NULL), NULL);
    SendMessageA(popup, POPUP_SHOW_MESSAGE, 0, 0);
    SendMessageA(popup, WM_TIMER, POPUP_HIDE_TIMER, 0);  // sliding
    SetForegroundWindow(popup);
    EXPECT_EQ(popup, GetActiveWindow());
    RECT frame;
    GetWindowRect(popup, &frame);
    EXPECT_EQ(120, frame.bottom - frame.top);
    EXPECT_FALSE(KillTimer(popup, POPUP_HIDE_TIMER)) << "an active popup hides by itself";
    SetForegroundWindow(other);
    EXPECT_EQ(other, GetActiveWindow());
    EXPECT_TRUE(HidesAfterThreeSeconds(popup)) << "after losing the activation";
    DestroyWindow(other);
}

TEST_F(PopupTest, PictureShowsTheHeaderAndTheCurrentItem)
{
    StoreItem(2, {{0xFFFF, "<i>x</i>", "HTML Format"}}, SLOT_OCCUPIED | SLOT_CURRENT);
    RECT client;
    GetClientRect(popup, &client);
    int w = client.right;
    Canvas actual(w, 120), expected(w, 120);
    DrawQuickView(actual.dc(), client);
    // The glyph of the no-preview picture: 7 pixels right of the box's centre.
    int x = (w - 6) / 2 - objInfo.bmWidth / 2 + 10;
    EXPECT_EQ(x + objInfo.bmWidth / 2, w / 2 + 7);
    BlitReference(expected, objBitmap, objInfo, x, 15 + 5);
    RECT glyph = {x, 20, x + objInfo.bmWidth, 20 + objInfo.bmHeight};
    EXPECT_TRUE(actual.SameAs(expected, glyph));
    // The sky at the top left, under no glyph.
    Canvas sky(w, 120);
    BlitReference(sky, skyBitmap, skyInfo, 0, 0);
    RECT corner = {0, 0, 10, 10};
    EXPECT_TRUE(actual.SameAs(sky, corner));
}

TEST_F(PopupTest, WindowPaintDrawsAndReleasesWhatItMade)
{
    StoreText(1, "shown", SLOT_OCCUPIED | SLOT_CURRENT);
    ShowQuickView(popup);
    DWORD before = CountGdiObjects();
    for (int i = 0; i < 50; i++)
        RedrawWindow(popup, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    EXPECT_EQ(CountGdiObjects(), before);
}

}  // namespace
