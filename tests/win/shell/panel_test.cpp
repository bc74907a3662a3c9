// panel_test.cpp: the panel's window procedure on the real panel: fades,
// hiding, the hit test, the viewer chain, the menus and the commands.
#include "support.h"

#include "collection/capture.h"
#include "collection/platform.h"
#include "collection/restore.h"
#include "collection/slots.h"
#include "shell/globals.h"
#include "shell/startup.h"
#include "shell/tray.h"
#include "tarnhook.h"
#include "ui/panel.h"

namespace {

using Panel = StartedProgram;

void ShowFromTray()
{
    SendMessageA(panelWindow, TRAY_CALLBACK_MESSAGE, TRAY_ICON_ID, WM_LBUTTONDOWN);
}

bool ClickThrough()
{
    return (GetWindowLongA(panelWindow, GWL_EXSTYLE) & WS_EX_TRANSPARENT) != 0;
}

// The pointer at x, y once the platform says it is there.
void MoveCursor(LONG x, LONG y)
{
    ASSERT_TRUE(SetCursorPos(x, y));
    POINT at;
    ASSERT_TRUE(PumpUntil([&] { return GetCursorPos(&at) && at.x == x && at.y == y; }, 2000));
}

TEST_F(Panel, FadesInAndOutInFourStepsEachWay)
{
    ShowFromTray();
    EXPECT_TRUE(IsWindowVisible(panelWindow));
    EXPECT_FALSE(panelHidden);
    EXPECT_EQ(255u, targetAlpha);
    EXPECT_TIMER_RUNNING(panelWindow, FADE_TIMER);

    currentAlpha = 16;
    opacityCalls.clear();
    EXPECT_EQ((std::vector<DWORD>{159, 216, 239, 255}), FadeSteps());
    EXPECT_EQ((std::vector<BYTE>{159, 216, 239, 255}), opacityCalls);
    EXPECT_TIMER_STOPPED(panelWindow, FADE_TIMER);
    EXPECT_FALSE(ClickThrough());

    SendMessageA(panelWindow, WM_COMMAND, CMD_HIDE, 0);
    EXPECT_EQ(16u, targetAlpha);
    EXPECT_TRUE(ClickThrough());
    EXPECT_FALSE(panelHidden) << "\"Hide\" is no automatic fade-out";
    opacityCalls.clear();
    EXPECT_EQ((std::vector<DWORD>{112, 55, 32, 16}), FadeSteps());
    EXPECT_EQ((std::vector<BYTE>{112, 55, 32, 16}), opacityCalls);
    EXPECT_TRUE(ClickThrough()) << "a faded panel lets the mouse through";
    EXPECT_TIMER_STOPPED(panelWindow, FADE_TIMER);
}

TEST_F(Panel, ShortFadesTakeOneStep)
{
    struct Row {
        DWORD from, to;
    } rows[] = {{16, 32}, {32, 16}, {239, 255}, {100, 84}, {200, 201}};
    for (const Row &row : rows) {
        currentAlpha = row.from;
        targetAlpha = row.to;
        EXPECT_EQ(std::vector<DWORD>{row.to}, FadeSteps()) << row.from << " -> " << row.to;
    }
    // 17 apart: 60% is 10, a step of its own.
    currentAlpha = 100;
    targetAlpha = 117;
    EXPECT_EQ((std::vector<DWORD>{110, 117}), FadeSteps());
}

TEST_F(Panel, FadeTimerAtTheTargetOnlyStops)
{
    ShowFromTray();
    currentAlpha = targetAlpha = 16;
    SetWindowLongA(panelWindow, GWL_EXSTYLE, panelExStyle | WS_EX_TRANSPARENT);
    opacityCalls.clear();
    EXPECT_EQ(0, SendMessageA(panelWindow, WM_TIMER, FADE_TIMER, 0));
    EXPECT_TRUE(opacityCalls.empty());
    EXPECT_TIMER_STOPPED(panelWindow, FADE_TIMER);
    EXPECT_TIMER_STOPPED(panelWindow, HIDE_DELAY_TIMER);
    EXPECT_TRUE(ClickThrough());
    EXPECT_TRUE(IsWindowVisible(panelWindow));
}

TEST_F(Panel, LimitsAboveByteRangeReachThePlatformByTheirLowBits)
{
    transparencyMax = 300;
    ShowFromTray();
    currentAlpha = 16;
    std::vector<DWORD> steps = FadeSteps();
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(300u, steps.back());
    EXPECT_EQ(44, opacityCalls.back());
    BYTE alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(panelWindow, NULL, &alpha, &flags));
    EXPECT_EQ(44, alpha);
    EXPECT_FALSE(ClickThrough());
}

// A user who wants no fading sets both limits alike. Start-up leaves the
// panel at 32 and the fade finds nothing to do, yet every show ends at the
// maximum and takes clicks, after an auto-hide and after "Hide" as well.
TEST_F(Panel, EqualLimitsShowThePanelOpaqueAndTakingClicks)
{
    for (DWORD limit : {255u, 180u}) {
        SCOPED_TRACE(limit);
        transparencyMin = transparencyMax = currentAlpha = limit;  // as WM_CREATE leaves it
        ShowWindow(panelWindow, SW_HIDE);
        auto shownFully = [&] {
            opacityCalls.clear();
            ShowFromTray();
            SendMessageA(panelWindow, WM_TIMER, FADE_TIMER, 0);
            EXPECT_EQ(std::vector<BYTE>{(BYTE)limit}, opacityCalls);
            EXPECT_FALSE(ClickThrough());
            EXPECT_TIMER_STOPPED(panelWindow, FADE_TIMER);
            EXPECT_TRUE(IsWindowVisible(panelWindow));
        };
        shownFully();

        SendMessageA(panelWindow, WM_TIMER, AUTOHIDE_TIMER, 0);
        SendMessageA(panelWindow, WM_TIMER, FADE_TIMER, 0);
        EXPECT_FALSE(IsWindowVisible(panelWindow)) << "nothing to fade: hidden at once";
        EXPECT_TRUE(panelHidden);
        shownFully();

        SendMessageA(panelWindow, WM_COMMAND, CMD_HIDE, 0);
        SendMessageA(panelWindow, WM_TIMER, FADE_TIMER, 0);
        EXPECT_TRUE(ClickThrough());
        EXPECT_TIMER_RUNNING(panelWindow, HIDE_DELAY_TIMER);
        shownFully();
        SendMessageA(panelWindow, WM_TIMER, HIDE_DELAY_TIMER, 0);
        EXPECT_TRUE(IsWindowVisible(panelWindow)) << "shown again before the delay ended";
    }
}

TEST_F(Panel, AutoHideFadesOutUnlessDontHideIsChecked)
{
    ShowFromTray();
    SendMessageA(panelWindow, WM_COMMAND, CMD_DONT_HIDE, 0);
    EXPECT_TRUE(keepPanelShown);
    SendMessageA(panelWindow, WM_TIMER, AUTOHIDE_TIMER, 0);
    EXPECT_EQ(255u, targetAlpha);
    EXPECT_FALSE(panelHidden);
    EXPECT_TIMER_RUNNING(panelWindow, AUTOHIDE_TIMER);

    // "Hide" still works with the check mark.
    SendMessageA(panelWindow, WM_COMMAND, CMD_HIDE, 0);
    EXPECT_EQ(16u, targetAlpha);

    ShowFromTray();
    SendMessageA(panelWindow, WM_COMMAND, CMD_DONT_HIDE, 0);
    EXPECT_FALSE(keepPanelShown);
    SendMessageA(panelWindow, WM_TIMER, AUTOHIDE_TIMER, 0);
    EXPECT_EQ(16u, targetAlpha);
    EXPECT_TRUE(panelHidden);
    EXPECT_TRUE(ClickThrough());
    EXPECT_TIMER_STOPPED(panelWindow, AUTOHIDE_TIMER);
    EXPECT_TIMER_RUNNING(panelWindow, FADE_TIMER);
}

TEST_F(Panel, HideWaitsBeforeTheWindowGoesButTheMinimiseAreaHidesAtOnce)
{
    ShowFromTray();
    currentAlpha = 255;
    SendMessageA(panelWindow, WM_COMMAND, CMD_HIDE, 0);
    FadeSteps();
    EXPECT_TRUE(IsWindowVisible(panelWindow)) << "stays at the minimum first";
    EXPECT_TIMER_RUNNING(panelWindow, HIDE_DELAY_TIMER);
    SendMessageA(panelWindow, WM_TIMER, HIDE_DELAY_TIMER, 0);
    EXPECT_FALSE(IsWindowVisible(panelWindow));
    EXPECT_TRUE(panelHidden);
    EXPECT_TIMER_STOPPED(panelWindow, HIDE_DELAY_TIMER);

    // Woken again before the delay ends: the delay hides nothing.
    ShowFromTray();
    currentAlpha = 255;
    SendMessageA(panelWindow, WM_COMMAND, CMD_HIDE, 0);
    FadeSteps();
    ShowFromTray();
    FadeSteps();
    SendMessageA(panelWindow, WM_TIMER, HIDE_DELAY_TIMER, 0);
    EXPECT_TRUE(IsWindowVisible(panelWindow));
    EXPECT_FALSE(panelHidden);

    // New limits from Settings while the panel waits faded, or while it
    // fades: the panel still goes.
    ShowFromTray();
    currentAlpha = 255;
    SendMessageA(panelWindow, WM_COMMAND, CMD_HIDE, 0);
    FadeSteps();
    transparencyMin = transparencyMax = 255;
    SendMessageA(panelWindow, WM_TIMER, HIDE_DELAY_TIMER, 0);
    EXPECT_FALSE(IsWindowVisible(panelWindow)) << "limits changed while faded";
    transparencyMin = 16;
    ShowFromTray();
    currentAlpha = 255;
    SendMessageA(panelWindow, WM_COMMAND, CMD_HIDE, 0);
    transparencyMin = 100;
    FadeSteps();
    EXPECT_TIMER_RUNNING(panelWindow, HIDE_DELAY_TIMER) << "limits changed while fading";
    transparencyMin = 16;
    ShowFromTray();
    FadeSteps();
    SendMessageA(panelWindow, WM_TIMER, HIDE_DELAY_TIMER, 0);
    EXPECT_TRUE(IsWindowVisible(panelWindow));

    EXPECT_EQ(0, SendMessageA(panelWindow, WM_NCLBUTTONDOWN, HTMINBUTTON, 0));
    EXPECT_TRUE(hideWhenFaded);
    EXPECT_EQ(16u, targetAlpha);
    std::vector<DWORD> steps = FadeSteps();
    EXPECT_EQ((std::vector<DWORD>{112, 55, 32, 16}), steps);
    EXPECT_FALSE(IsWindowVisible(panelWindow)) << "hidden as soon as the fade ends";
    EXPECT_TRUE(panelHidden);
    EXPECT_FALSE(hideWhenFaded);
    EXPECT_TIMER_STOPPED(panelWindow, HIDE_DELAY_TIMER);
    EXPECT_TIMER_STOPPED(panelWindow, HOVER_TIMER);
}

// The point is signed: a monitor left of or above the primary one lies at
// negative coordinates, where the header must still drag the panel.
TEST_F(Panel, HitTestFindsCaptionButtonsFrameAndClient)
{
    ShowFromTray();
    RECT docked;
    GetWindowRect(panelWindow, &docked);
    struct Place {
        int x, y;
        const char *what;
    } places[] = {
        {docked.left, docked.top, "docked"},
        {docked.left - 1600, docked.top, "on a monitor left of the primary"},
        {docked.left, docked.top - 1200, "on a monitor above the primary"},
    };
    for (const Place &place : places) {
        SCOPED_TRACE(place.what);
        SetWindowPos(panelWindow, NULL, place.x, place.y, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        RECT frame, client;
        GetWindowRect(panelWindow, &frame);
        GetClientRect(panelWindow, &client);
        ASSERT_EQ(place.x, frame.left);
        POINT origin = {0, 0};
        ClientToScreen(panelWindow, &origin);
        const LONG T = frame.top, R = frame.right, inTop = origin.y + 3;
        ASSERT_LT(R - (origin.x + client.right), 17) << "the frame covers the close area";

        struct Row {
            LONG x, y;
            LRESULT hit;
            const char *what;
        } rows[] = {
            {origin.x + 20, origin.y + 30, HTCAPTION, "header, left"},
            {R - 60, inTop, HTCAPTION, "top row, left of the glyphs"},
            {R - 55, inTop, HTCAPTION, "left edge of the glyphs"},
            {R - 40, inTop, HTCAPTION, "just left of the minimise area"},
            {R - 39, inTop, HTMINBUTTON, "minimise, left end"},
            {R - 18, inTop, HTMINBUTTON, "minimise, right end"},
            {R - 17, inTop, HTCLOSE, "close, left end"},
            {origin.x + client.right - 1, inTop, HTCLOSE, "close, right end"},
            {R - 10, T + 21, HTCAPTION, "below the glyphs"},
            {R - 30, T + 20, HTMINBUTTON, "lowest row of the glyphs"},
            {origin.x + 60, T + 86 + 5, HTCLIENT, "below the header"},
            {origin.x + 60, origin.y + 200, HTCLIENT, "list area"},
            {frame.left, T + 60, HTLEFT, "left frame"},
            {R - 1, T + 60, HTRIGHT, "right frame"},
            {origin.x + 60, T, HTTOP, "top frame"},
            {R - 1, T, HTTOPRIGHT, "top right corner"},
        };
        for (const Row &row : rows) {
            LRESULT hit = SendMessageA(panelWindow, WM_NCHITTEST, 0, MAKELPARAM(row.x, row.y));
            EXPECT_EQ(row.hit, hit) << row.what << " at " << row.x - frame.left << ","
                                    << row.y - T;
        }
    }
    // Pointing at the panel wakes it.
    targetAlpha = 16;
    SendMessageA(panelWindow, WM_NCHITTEST, 0, MAKELPARAM(docked.left + 60, docked.top + 200));
    EXPECT_EQ(255u, targetAlpha);
}

// A new resolution (a laptop undocked) leaves the panel where the old right
// edge was: it goes back where start-up docked it, unless the user had
// moved it somewhere the screen still shows.
TEST_F(Panel, DisplayChangeDocksAPanelLeftOffTheScreen)
{
    RECT docked;
    GetWindowRect(panelWindow, &docked);
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    struct Row {
        int x, y;
        bool back;
        const char *what;
    } rows[] = {
        {100, 40, false, "moved within the screen"},
        {width - 100, 50, true, "partly off the right edge"},
        {width + 300, 50, true, "at the right edge of a wider screen"},
        {-120, 60, true, "partly off the left edge"},
        {200, height - 300, true, "partly below the screen"},
    };
    for (const Row &row : rows) {
        SetWindowPos(panelWindow, NULL, row.x, row.y, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageA(panelWindow, WM_DISPLAYCHANGE, 32, MAKELPARAM(width, height));
        RECT frame;
        GetWindowRect(panelWindow, &frame);
        if (row.back) {
            EXPECT_TRUE(EqualRect(&frame, &docked)) << row.what << ": at " << frame.left << ","
                                                    << frame.top;
        } else {
            EXPECT_EQ(row.x, frame.left) << row.what;
            EXPECT_EQ(row.y, frame.top) << row.what;
        }
    }
}

// The taskbar tells every top-level window when it starts again (Explorer
// restarted); its icons were lost with it.
TEST_F(Panel, TaskbarRestartAddsTheTrayIconBack)
{
    UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    ASSERT_NE(0u, taskbarCreated);
    trayCalls.clear();
    SendMessageA(panelWindow, taskbarCreated, 0, 0);
    EXPECT_EQ((std::vector<std::pair<DWORD, HWND>>{{NIM_ADD, panelWindow}}), trayCalls);
}

TEST_F(Panel, ChainChangesReplaceOrForward)
{
    RecordingWindow first("ChainFirst", "first", {WM_CHANGECBCHAIN, WM_DRAWCLIPBOARD}, WS_POPUP);
    RecordingWindow second("ChainSecond", "second", {WM_CHANGECBCHAIN, WM_DRAWCLIPBOARD},
                           WS_POPUP);
    HWND saved = nextClipboardViewer;
    nextClipboardViewer = first.window;

    // The next viewer leaves: the panel takes the one after it, and tells nobody.
    EXPECT_EQ(1, SendMessageA(panelWindow, WM_CHANGECBCHAIN, (WPARAM)first.window,
                              (LPARAM)second.window));
    EXPECT_EQ(second.window, nextClipboardViewer);
    EXPECT_EQ(0, first.Count(WM_CHANGECBCHAIN));
    EXPECT_EQ(0, second.Count(WM_CHANGECBCHAIN));

    // Another window leaves further down: passed on unchanged.
    HWND other = (HWND)(ULONG_PTR)0x1234, after = (HWND)(ULONG_PTR)0x5678;
    EXPECT_EQ(1, SendMessageA(panelWindow, WM_CHANGECBCHAIN, (WPARAM)other, (LPARAM)after));
    EXPECT_EQ(second.window, nextClipboardViewer);
    ASSERT_EQ(1, second.Count(WM_CHANGECBCHAIN));
    EXPECT_EQ((WPARAM)other, second.got.back().wParam);
    EXPECT_EQ((LPARAM)after, second.got.back().lParam);

    // A clipboard change goes on to the next viewer after the capture.
    EXPECT_EQ(1, SendMessageA(panelWindow, WM_DRAWCLIPBOARD, 0, 0));
    EXPECT_EQ(1, second.Count(WM_DRAWCLIPBOARD));
    EXPECT_EQ(0, first.Count(WM_DRAWCLIPBOARD));

    // Without a next viewer nothing is forwarded.
    nextClipboardViewer = NULL;
    EXPECT_EQ(1, SendMessageA(panelWindow, WM_CHANGECBCHAIN, (WPARAM)other, (LPARAM)after));
    EXPECT_EQ(1, SendMessageA(panelWindow, WM_DRAWCLIPBOARD, 0, 0));
    EXPECT_EQ(1, second.Count(WM_CHANGECBCHAIN));
    EXPECT_EQ(1, second.Count(WM_DRAWCLIPBOARD));
    nextClipboardViewer = saved;
}

// A viewer that joins after the panel and is destroyed without leaving cuts
// the chain off at its head; within a probe period the panel is back, with
// the viewer after it still served.
TEST_F(Panel, RejoinsTheChainCutOffByADestroyedViewer)
{
    RecordingWindow after("ChainBehind", "behind", {WM_DRAWCLIPBOARD});
    RecordingWindow ahead("ChainAhead", "ahead", {WM_DRAWCLIPBOARD});
    HWND saved = nextClipboardViewer;
    nextClipboardViewer = after.window;
    ASSERT_EQ(panelWindow, SetClipboardViewer(ahead.window));
    PumpFor(100);
    DestroyWindow(ahead.window);
    ASSERT_EQ(NULL, GetClipboardViewer()) << "the platform no longer cuts the chain";

    size_t seen = after.got.size();
    EXPECT_TRUE(PumpUntil([] { return GetClipboardViewer() == panelWindow; }, 5000));
    EXPECT_EQ(after.window, nextClipboardViewer);
    EXPECT_GT(after.got.size(), seen) << "joining again captures and passes the change on";

    seen = after.got.size();
    ASSERT_TRUE(PumpUntil([] { return OpenClipboard(NULL) != 0; }, 2000));
    EmptyClipboard();
    HGLOBAL text = GlobalAlloc(GMEM_MOVEABLE, 6);
    memcpy(GlobalLock(text), "later", 6);
    GlobalUnlock(text);
    SetClipboardData(CF_TEXT, text);
    CloseClipboard();
    EXPECT_TRUE(PumpUntil([&] { return after.got.size() > seen; }, 3000))
        << "a later change reaches the panel and the viewer after it";

    // With the head in place the probe changes nothing.
    SendMessageA(panelWindow, WM_TIMER, INSTALLER_PROBE_TIMER, 0);
    EXPECT_EQ(panelWindow, GetClipboardViewer());
    EXPECT_EQ(after.window, nextClipboardViewer);
    nextClipboardViewer = saved;
}

TEST_F(Panel, InstallerMutexClosesTheProgramWithinASecond)
{
    bool first = true;
    for (const InstallerMutexKind &kind : INSTALLER_MUTEX_KINDS) {
        SCOPED_TRACE(kind.what);
        if (!first) {  // the kind before closed the program
            TearDown();
            SetUp();
        }
        first = false;
        HANDLE mutex = MakeInstallerMutex(kind);
        ASSERT_NE((HANDLE)NULL, mutex);
        DWORD start = GetTickCount();
        bool quit = false;
        PumpUntil(
            [&] {
                MSG msg;
                quit = quit || PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE);
                return quit;
            },
            3000);
        DWORD elapsed = GetTickCount() - start;
        CloseHandle(mutex);
        ASSERT_TRUE(quit) << "no quit message within 3 s";
        EXPECT_LE(elapsed, 1600u);
        EXPECT_FALSE(IsWindow(panelWindow));
        EXPECT_NE(panelWindow, GetClipboardViewer());
    }
}

TEST_F(Panel, CloseLeavesTheChainAndEndsTheLoop)
{
    EXPECT_EQ(panelWindow, GetClipboardViewer());
    SendMessageA(panelWindow, WM_COMMAND, CMD_EXIT, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, panelWindow, WM_CLOSE, WM_CLOSE, PM_NOREMOVE))
        << "\"Exit\" posts the close request";
    PumpUntil([] { return !IsWindow(panelWindow); }, 2000);
    EXPECT_FALSE(IsWindow(panelWindow));
    EXPECT_NE(panelWindow, GetClipboardViewer());
    EXPECT_TRUE(PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(0, (int)msg.wParam);
}

BOOL WINAPI RefuseClipboard(HWND) { return FALSE; }

// The panel passes each change on after capturing it: a viewer after it
// tells when a change has been dealt with. The last copy finds the
// clipboard held, and so does the clear: the copy does not come back.
TEST_F(Panel, ClearAllEmptiesTheHistoryAndTheClipboard)
{
    RecordingWindow after("ChainAfter", "after", {WM_DRAWCLIPBOARD});
    nextClipboardViewer = after.window;
    for (const char *words : {"first words", "second words", "copied while held"}) {
        if (strcmp(words, "copied while held") == 0)
            platformCalls.openClipboard = RefuseClipboard;
        size_t seen = after.got.size();
        ASSERT_TRUE(PumpUntil([] { return OpenClipboard(NULL) != 0; }, 2000));
        EmptyClipboard();
        HGLOBAL text = GlobalAlloc(GMEM_MOVEABLE, strlen(words) + 1);
        memcpy(GlobalLock(text), words, strlen(words) + 1);
        GlobalUnlock(text);
        SetClipboardData(CF_TEXT, text);
        CloseClipboard();
        ASSERT_TRUE(PumpUntil([&] { return after.got.size() > seen; }, 3000))
            << "no notification for \"" << words << "\"";
        PumpFor(100);
    }
    ASSERT_NE(0u, itemSlots[1].flags & SLOT_OCCUPIED) << "the first text is not in the history";

    EXPECT_TRUE(CaptureWaiting());

    size_t seen = after.got.size();
    SendMessageA(panelWindow, WM_COMMAND, CMD_CLEAR_ALL, 0);
    platformCalls.openClipboard = realPlatformCalls.openClipboard;
    PumpUntil([&] { return after.got.size() > seen; }, 2000);
    EXPECT_TRUE(PumpUntil([] { return !CaptureWaiting() && !PlacementWaiting(); }, 3000));
    PumpFor(100);
    EXPECT_EQ(0, CountClipboardFormats());
    for (int i = 1; i < SLOT_COUNT; i++)
        EXPECT_EQ(0u, itemSlots[i].flags & SLOT_OCCUPIED) << "slot " << i;
    nextClipboardViewer = NULL;
}

// The menus are read while they are open, then dismissed. Each is tracked
// with the panel in the foreground and followed by an empty message, or it
// would stay open when the user clicks elsewhere.
class MenuProbe {
public:
    static std::vector<std::pair<UINT, std::string>> items;
    static std::vector<UINT> checked;
    static WNDPROC panelProc;
    static HWND foreground;  // while the menu was open
    static RECT placed;      // the menu's window on the screen
    static bool nullPosted;  // the empty message that follows the menu

    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_INITMENUPOPUP) {
            HMENU menu = (HMENU)wParam;
            items.clear();
            checked.clear();
            for (int i = 0; i < GetMenuItemCount(menu); i++) {
                char text[64] = "";
                GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
                UINT id = GetMenuItemID(menu, i);
                items.push_back({id, text});
                if (GetMenuState(menu, i, MF_BYPOSITION) & MF_CHECKED)
                    checked.push_back(id);
            }
            foreground = GetForegroundWindow();
        }
        if (message == WM_ENTERIDLE) {
            if (wParam == MSGF_MENU)  // the menu's own window
                GetWindowRect((HWND)lParam, &placed);
            EndMenu();
        }
        return CallWindowProcA(panelProc, window, message, wParam, lParam);
    }
    static void CALLBACK EndMenuLoop(HWND, UINT, UINT_PTR, DWORD) { EndMenu(); }
    static void Open(UINT message, WPARAM wParam, LPARAM lParam)
    {
        items.clear();
        foreground = NULL;
        placed = RECT{};
        nullPosted = false;
        panelProc = (WNDPROC)SetWindowLongPtrA(panelWindow, GWLP_WNDPROC, (LONG_PTR)Proc);
        // Should the menu loop not go idle, a timer of this thread ends it.
        UINT_PTR guard = SetTimer(NULL, 0, 1500, EndMenuLoop);
        SendMessageA(panelWindow, message, wParam, lParam);
        KillTimer(NULL, guard);
        SetWindowLongPtrA(panelWindow, GWLP_WNDPROC, (LONG_PTR)panelProc);
        MSG msg;
        // Posted messages only: a pending paint is never removed by a peek.
        for (int i = 0; i < 100 && PeekMessageA(&msg, panelWindow, 0, 0,
                                                 PM_REMOVE | PM_QS_POSTMESSAGE); i++)
            nullPosted = nullPosted || msg.message == WM_NULL;
    }
};
std::vector<std::pair<UINT, std::string>> MenuProbe::items;
std::vector<UINT> MenuProbe::checked;
WNDPROC MenuProbe::panelProc;
HWND MenuProbe::foreground;
RECT MenuProbe::placed;
bool MenuProbe::nullPosted;

TEST_F(Panel, MenusOfferTheCommandsWithTheCheckMark)
{
    ShowFromTray();
    const std::vector<std::pair<UINT, std::string>> panelMenu = {
        {CMD_CLEAR_ALL, "Clear all"}, {CMD_HIDE, "Hide"},     {CMD_DONT_HIDE, "Don't hide"},
        {0, ""},                      {CMD_SETTINGS, "Settings..."}, {CMD_ABOUT, "About"},
    };
    MenuProbe::Open(WM_CONTEXTMENU, (WPARAM)panelWindow, MAKELPARAM(1100, 300));
    EXPECT_EQ(panelMenu, MenuProbe::items);
    EXPECT_TRUE(MenuProbe::checked.empty());
    EXPECT_EQ(panelWindow, MenuProbe::foreground);
    EXPECT_TRUE(MenuProbe::nullPosted);
    EXPECT_EQ(1100, MenuProbe::placed.left);
    EXPECT_EQ(300, MenuProbe::placed.top);

    SendMessageA(panelWindow, WM_COMMAND, CMD_DONT_HIDE, 0);
    MenuProbe::Open(WM_CONTEXTMENU, (WPARAM)panelWindow, MAKELPARAM(1100, 300));
    EXPECT_EQ(std::vector<UINT>{CMD_DONT_HIDE}, MenuProbe::checked);

    // Opened from the keyboard in the list (passed on to the panel): at the
    // panel, not the screen's corner.
    MenuProbe::Open(WM_CONTEXTMENU, (WPARAM)itemListWindow, MAKELPARAM(0xFFFF, 0xFFFF));
    POINT origin = {0, 0};
    ClientToScreen(panelWindow, &origin);
    EXPECT_EQ(origin.x, MenuProbe::placed.left);
    EXPECT_EQ(origin.y, MenuProbe::placed.top);

    MenuProbe::Open(TRAY_CALLBACK_MESSAGE, TRAY_ICON_ID, WM_RBUTTONDOWN);
    EXPECT_EQ((std::vector<std::pair<UINT, std::string>>{{CMD_EXIT, "Exit"}}), MenuProbe::items);
    EXPECT_EQ(panelWindow, MenuProbe::foreground);
    EXPECT_TRUE(MenuProbe::nullPosted);
}

// A click-through panel gets no mouse messages: resting the pointer on it
// brings it back after two ticks on the same spot, no longer hidden.
TEST_F(Panel, RestingPointerBringsAFadingPanelBack)
{
    ShowFromTray();
    currentAlpha = 255;
    SendMessageA(panelWindow, WM_TIMER, AUTOHIDE_TIMER, 0);
    ASSERT_TRUE(panelHidden);
    EXPECT_TIMER_RUNNING(panelWindow, HOVER_TIMER);
    FadeSteps();
    RECT frame;
    GetWindowRect(panelWindow, &frame);

    ASSERT_TRUE(SetCursorPos(frame.left - 50, frame.top + 100));
    for (int i = 0; i < 4; i++)
        SendMessageA(panelWindow, WM_TIMER, HOVER_TIMER, 0);
    EXPECT_EQ(16u, targetAlpha) << "the pointer is outside";

    ASSERT_TRUE(SetCursorPos(frame.left + 40, frame.top + 200));
    POINT at;
    ASSERT_TRUE(PumpUntil([&] { return GetCursorPos(&at) && at.x == frame.left + 40; }, 2000));
    SendMessageA(panelWindow, WM_TIMER, HOVER_TIMER, 0);
    SendMessageA(panelWindow, WM_TIMER, HOVER_TIMER, 0);
    EXPECT_EQ(16u, targetAlpha) << "one tick after arriving is not yet resting";
    SendMessageA(panelWindow, WM_TIMER, HOVER_TIMER, 0);
    EXPECT_EQ(255u, targetAlpha);
    EXPECT_FALSE(ClickThrough());
    EXPECT_FALSE(panelHidden) << "captures would show the popup over the shown panel";
    EXPECT_TIMER_RUNNING(panelWindow, FADE_TIMER);
    FadeSteps();
    EXPECT_TIMER_STOPPED(panelWindow, HOVER_TIMER) << "a fully shown panel needs no watch";
    SetCursorPos(0, 0);
}

// The pointer that chose "Hide", or one parked over the panel while it hides
// itself, rests where it was: only one that comes onto the panel after the
// watch started brings it back.
TEST_F(Panel, HoverWatchCountsOnlyAPointerComingOntoThePanel)
{
    struct Way {
        UINT message;
        WPARAM wParam;
        const char *what;
    } ways[] = {
        {WM_COMMAND, CMD_HIDE, "\"Hide\""},
        {WM_TIMER, AUTOHIDE_TIMER, "the auto-hide"},
    };
    for (const Way &way : ways) {
        SCOPED_TRACE(way.what);
        ShowFromTray();
        currentAlpha = 255;
        RECT frame;
        GetWindowRect(panelWindow, &frame);
        MoveCursor(frame.left + 40, frame.top + 200);
        SendMessageA(panelWindow, way.message, way.wParam, 0);
        FadeSteps();
        for (int i = 0; i < 6; i++)
            SendMessageA(panelWindow, WM_TIMER, HOVER_TIMER, 0);
        EXPECT_EQ(16u, targetAlpha) << "the pointer has not moved";
        EXPECT_TRUE(ClickThrough());

        MoveCursor(frame.left - 50, frame.top + 200);
        SendMessageA(panelWindow, WM_TIMER, HOVER_TIMER, 0);
        MoveCursor(frame.left + 40, frame.top + 200);
        for (int i = 0; i < 3; i++)
            SendMessageA(panelWindow, WM_TIMER, HOVER_TIMER, 0);
        EXPECT_EQ(255u, targetAlpha) << "the pointer came back onto the panel";
        EXPECT_FALSE(ClickThrough());
        FadeSteps();
    }
    SetCursorPos(0, 0);
}

// After Ctrl+Alt+Shift the panel is still shown and takes the mouse: a wake
// from it brings it back, no longer sent away, so that a capture does not
// pop the quick-view up beside it. A hidden panel stays sent away.
TEST_F(Panel, AWakeOfAShownPanelEndsItsSendingAway)
{
    ShowFromTray();
    FadeSteps();
    SendMessageA(popupWindow, HOTKEY_MESSAGE, HOTKEY_SHIFT, 0);
    ASSERT_TRUE(panelHidden);
    ASSERT_EQ(16u, targetAlpha);
    RECT frame;
    GetWindowRect(panelWindow, &frame);
    SendMessageA(panelWindow, WM_NCHITTEST, 0, MAKELPARAM(frame.left + 60, frame.top + 200));
    EXPECT_EQ(255u, targetAlpha);
    EXPECT_FALSE(panelHidden);

    SendMessageA(popupWindow, HOTKEY_MESSAGE, HOTKEY_SHIFT, 0);
    ShowWindow(panelWindow, SW_HIDE);
    SendMessageA(panelWindow, WM_MOUSEMOVE, 0, 0);
    EXPECT_TRUE(panelHidden);
}

// A hidden panel is not watched, and one sent away while already at the
// minimum (hidden, then Ctrl+Alt+Shift) ends hidden instead of staying as
// a faint strip.
TEST_F(Panel, AHiddenPanelStaysHiddenAndUnwatched)
{
    ASSERT_FALSE(IsWindowVisible(panelWindow));
    SendMessageA(panelWindow, WM_TIMER, AUTOHIDE_TIMER, 0);  // the first auto-hide after start
    EXPECT_TIMER_STOPPED(panelWindow, HOVER_TIMER);

    currentAlpha = transparencyMin;
    SendMessageA(popupWindow, HOTKEY_MESSAGE, HOTKEY_SHIFT, 0);
    ASSERT_TRUE(IsWindowVisible(panelWindow));
    SendMessageA(panelWindow, WM_TIMER, FADE_TIMER, 0);
    EXPECT_FALSE(IsWindowVisible(panelWindow));
    EXPECT_TRUE(panelHidden);
    EXPECT_TIMER_STOPPED(panelWindow, FADE_TIMER);
    EXPECT_TIMER_STOPPED(panelWindow, HOVER_TIMER);
}

// Losing the activation starts the inactivity count over; gaining it does not.
TEST_F(Panel, DeactivationRestartsTheAutoHide)
{
    RecordingWindow other("PanelElsewhere", "elsewhere", {WM_NULL}, WS_POPUP | WS_VISIBLE);
    ShowFromTray();
    KillTimer(panelWindow, AUTOHIDE_TIMER);
    SetForegroundWindow(panelWindow);
    ASSERT_EQ(panelWindow, GetForegroundWindow());
    EXPECT_TIMER_STOPPED(panelWindow, AUTOHIDE_TIMER);
    SetForegroundWindow(other.window);
    ASSERT_EQ(other.window, GetForegroundWindow());
    EXPECT_TIMER_RUNNING(panelWindow, AUTOHIDE_TIMER);
}

}  // namespace
