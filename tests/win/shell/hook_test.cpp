// hook_test.cpp: the keyboard hook on real input, and the library's entry
// points through its export table.
//
// Keys are injected one event at a time and each is waited for before the
// next: the hook samples the keys' state when the event is processed, so
// injecting a whole chord at once would let it see only the end state.
#include "support.h"

#include <shlwapi.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tarnhook.h"

namespace {

HHOOK watchHook = NULL;
int hookCalls = 0;

bool KeyIsDown(int vk)
{
    return (GetAsyncKeyState(vk) & 0x8000) != 0;
}

// A hook of this thread only, seeing every event before (or after) the
// library's: it tells when an injected event has been processed.
LRESULT CALLBACK WatchKeys(int code, WPARAM wParam, LPARAM lParam)
{
    if (code >= 0)
        hookCalls++;
    return CallNextHookEx(watchHook, code, wParam, lParam);
}

// A "Clipboard Viewer" popup on a thread of its own that stops taking
// messages once its window exists, for 30 s or until it is let go. Its
// window is of the class the fixture's popups registered, and only looked up
// (never recorded) by that class's procedure.
struct HungPopup {
    HANDLE thread = NULL, ready = NULL, release = NULL;
    HWND window = NULL;  // written by the popup's thread before ready

    static DWORD WINAPI Run(void *param)
    {
        HungPopup *self = (HungPopup *)param;
        self->window = CreateWindowExA(0, "Betal_Notify", "Clipboard Viewer", WS_POPUP, 0, 0,
                                       100, 100, NULL, NULL, GetModuleHandleA(NULL), NULL);
        HWND window = self->window;
        SetEvent(self->ready);
        if (window == NULL)
            return 1;
        WaitForSingleObject(self->release, 30000);
        DestroyWindow(window);
        return 0;
    }
    bool Start()
    {
        ready = CreateEventA(NULL, TRUE, FALSE, NULL);
        release = CreateEventA(NULL, TRUE, FALSE, NULL);
        thread = CreateThread(NULL, 0, Run, this, 0, NULL);
        return thread != NULL && WaitForSingleObject(ready, 10000) == WAIT_OBJECT_0 &&
               window != NULL;
    }
    ~HungPopup()
    {
        SetEvent(release);
        if (thread != NULL) {
            WaitForSingleObject(thread, 10000);
            CloseHandle(thread);
        }
        CloseHandle(ready);
        CloseHandle(release);
    }
};

class Hook : public ::testing::Test {
protected:
    // One focused window for the suite: Wine takes two seconds to let go of
    // a focused window when there is no window manager.
    static RecordingWindow *target;
    RecordingWindow *popup = nullptr, *secondPopup = nullptr, *otherTitle = nullptr;
    std::vector<BYTE> down;

    static void SetUpTestSuite()
    {
        target = new RecordingWindow("HookTarget", "keys",
                                     {WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN, WM_SYSKEYUP},
                                     WS_POPUP | WS_VISIBLE);
    }
    static void TearDownTestSuite()
    {
        delete target;
        target = nullptr;
        // The program registers this class itself in the tests that start it.
        UnregisterClassA("Betal_Notify", GetModuleHandleA(NULL));
    }

    void SetUp() override
    {
        target->got.clear();
        popup = new RecordingWindow("Betal_Notify", "Clipboard Viewer", {HOTKEY_MESSAGE});
        secondPopup = new RecordingWindow("Betal_Notify", "Clipboard Viewer", {HOTKEY_MESSAGE});
        otherTitle = new RecordingWindow("Betal_Notify", "Clipboard", {HOTKEY_MESSAGE});
        watchHook = SetWindowsHookExA(WH_KEYBOARD, WatchKeys, NULL, GetCurrentThreadId());
        ASSERT_NE((HHOOK)NULL, watchHook);
        ASSERT_EQ(1, Win32_InstallClipboardHook());
        SetForegroundWindow(target->window);
        SetFocus(target->window);
        ASSERT_TRUE(PumpUntil([&] { return GetFocus() == target->window; }, 2000));
    }
    void TearDown() override
    {
        while (!down.empty())
            Key(down.back(), true);
        EXPECT_EQ(1, Win32_UninstallClipboardHook());
        UnhookWindowsHookEx(watchHook);
        delete otherTitle;
        delete secondPopup;
        delete popup;
        PumpFor(50);
    }

    // One key event, queued and not yet processed.
    void Inject(BYTE vk, bool up)
    {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
        input.ki.wScan = (WORD)MapVirtualKeyA(vk, 0);
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        // The right-hand Ctrl and Alt are told from the left ones by this flag.
        if (vk == VK_UP || vk == VK_DOWN || vk == VK_RCONTROL || vk == VK_RMENU)
            input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
        ASSERT_EQ(1u, SendInput(1, &input, sizeof input));
        if (up)
            down.erase(std::remove(down.begin(), down.end(), vk), down.end());
        else
            down.push_back(vk);
    }
    // One key event, processed before this returns.
    void Key(BYTE vk, bool up, DWORD timeoutMs = 2000)
    {
        int before = hookCalls;
        Inject(vk, up);
        ASSERT_TRUE(PumpUntil([&] { return hookCalls > before; }, timeoutMs))
            << "key " << (int)vk << (up ? " up" : " down") << " was not processed";
    }
    // Looks at the queued key-down of vk without removing it, as a modal loop
    // does: true when the look finds it; false when the hooks saw an event
    // that the look did not get (a hook kept it), or after two seconds.
    bool PeekKeyDown(BYTE vk)
    {
        DWORD start = GetTickCount();
        do {
            int before = hookCalls;
            MSG msg;
            if (PeekMessageA(&msg, target->window, WM_KEYFIRST, WM_KEYLAST, PM_NOREMOVE) &&
                (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) && msg.wParam == vk)
                return true;
            if (hookCalls > before)
                return false;
            MsgWaitForMultipleObjects(0, NULL, FALSE, 20, QS_ALLINPUT);
        } while (GetTickCount() - start < 2000);
        return false;
    }
    void Chord(std::vector<BYTE> keys)
    {
        for (BYTE vk : keys)
            Key(vk, false);
    }
    void ReleaseAll()
    {
        while (!down.empty())
            Key(down.back(), true);
    }
    // The masks the popup got, in order.
    static std::vector<WPARAM> Masks(const RecordingWindow *w)
    {
        std::vector<WPARAM> masks;
        for (const Recorded &r : w->got) {
            masks.push_back(r.wParam);
            EXPECT_EQ(0, r.lParam);
        }
        return masks;
    }
    bool TargetGotDown(BYTE vk) const
    {
        for (const Recorded &r : target->got)
            if ((r.message == WM_KEYDOWN || r.message == WM_SYSKEYDOWN) && r.wParam == vk)
                return true;
        return false;
    }
    // The key events the program got, each as its key with + for a press
    // and - for a release; the right-hand Ctrl and Alt as RCtrl and RAlt.
    std::string TargetKeys() const
    {
        std::string keys;
        for (const Recorded &r : target->got) {
            bool press = r.message == WM_KEYDOWN || r.message == WM_SYSKEYDOWN;
            bool right = (r.lParam & (1 << 24)) != 0;
            if (r.wParam == VK_CONTROL)
                keys += right ? "RCtrl" : "Ctrl";
            else if (r.wParam == VK_MENU)
                keys += right ? "RAlt" : "Alt";
            else if (r.wParam == VK_SHIFT)
                keys += "Shift";
            else if (r.wParam == VK_UP)
                keys += "Up";
            else
                keys += (char)r.wParam;
            keys += press ? "+ " : "- ";
        }
        return keys;
    }
    void Forget()
    {
        target->got.clear();
        popup->got.clear();
        secondPopup->got.clear();
        otherTitle->got.clear();
    }
};

RecordingWindow *Hook::target = nullptr;

TEST_F(Hook, CtrlAltUpReportsUpAndKeepsTheKey)
{
    Chord({VK_CONTROL, VK_MENU});
    Forget();
    Key(VK_UP, false);
    EXPECT_EQ(std::vector<WPARAM>{HOTKEY_UP}, Masks(popup));
    EXPECT_EQ(std::vector<WPARAM>{HOTKEY_UP}, Masks(secondPopup)) << "every popup is told";
    EXPECT_TRUE(otherTitle->got.empty()) << "a window with another title is not told";
    EXPECT_FALSE(TargetGotDown(VK_UP)) << "the chord reached the program";
}

TEST_F(Hook, CtrlAltShiftDownReportsBothKeys)
{
    Chord({VK_CONTROL, VK_MENU, VK_SHIFT});
    ASSERT_FALSE(popup->got.empty());
    EXPECT_EQ(HOTKEY_SHIFT, Masks(popup).back()) << "Shift alone is one of the eight";
    Forget();
    Key(VK_DOWN, false);
    EXPECT_EQ(std::vector<WPARAM>{HOTKEY_DOWN | HOTKEY_SHIFT}, Masks(popup));
    EXPECT_FALSE(TargetGotDown(VK_DOWN));
}

TEST_F(Hook, OtherKeysUnderCtrlAltReportNothingHeldAndPass)
{
    Chord({VK_CONTROL, VK_MENU});
    EXPECT_EQ(std::vector<WPARAM>{0}, Masks(popup)) << "Alt's own event, with Ctrl held";
    EXPECT_TRUE(TargetGotDown(VK_MENU));
    Forget();
    Key('T', false);
    EXPECT_EQ(std::vector<WPARAM>{0}, Masks(popup));
    EXPECT_TRUE(TargetGotDown('T'));
    // Releasing Up under Ctrl+Alt: nothing is held any more, the event passes.
    Key(VK_UP, false);
    Forget();
    Key(VK_UP, true);
    EXPECT_EQ(std::vector<WPARAM>{0}, Masks(popup)) << "T is held, but it is none of the eight";
    ASSERT_EQ(1, target->Count(WM_KEYUP));
    EXPECT_EQ((WPARAM)VK_UP, target->got.back().wParam);
}

TEST_F(Hook, CtrlOrAltAloneSendsNothing)
{
    Chord({VK_CONTROL, VK_UP});
    ReleaseAll();
    Chord({VK_MENU, VK_UP});
    ReleaseAll();
    EXPECT_TRUE(popup->got.empty());
    EXPECT_TRUE(TargetGotDown(VK_UP));
    int ups = 0;
    for (const Recorded &r : target->got)
        ups += (r.message == WM_KEYDOWN || r.message == WM_SYSKEYDOWN) && r.wParam == VK_UP;
    EXPECT_EQ(2, ups);
}

TEST_F(Hook, WithoutAPopupTheChordIsStillKept)
{
    delete popup;
    delete secondPopup;
    popup = secondPopup = nullptr;
    Chord({VK_CONTROL, VK_MENU});
    target->got.clear();
    Key(VK_UP, false);
    EXPECT_FALSE(TargetGotDown(VK_UP));
    EXPECT_TRUE(otherTitle->got.empty());
    popup = new RecordingWindow("Betal_Notify", "Clipboard Viewer", {HOTKEY_MESSAGE});
    secondPopup = new RecordingWindow("Betal_Notify", "Clipboard Viewer", {HOTKEY_MESSAGE});
}

// A modal loop (a window being moved, a menu) peeks at input with
// PM_NOREMOVE, and the hook is called with HC_NOREMOVE for every such look.
// A chord is reported and kept at the first look, and the platform removes
// the kept event, so it is neither seen by the program nor reported again.
TEST_F(Hook, PeekedChordIsReportedAndKeptAtTheFirstLook)
{
    Chord({VK_CONTROL, VK_MENU});
    Forget();
    Inject(VK_UP, false);
    EXPECT_FALSE(PeekKeyDown(VK_UP)) << "a look found the chord";
    EXPECT_EQ(std::vector<WPARAM>{HOTKEY_UP}, Masks(popup));
    // T is queued behind where the Up was: once T is handled, a Up left in
    // the queue would have been reported (and kept) a second time.
    Key(VK_UP, true);
    Key('T', false);
    EXPECT_EQ((std::vector<WPARAM>{HOTKEY_UP, 0, 0}), Masks(popup)) << "one event, one report";
    EXPECT_FALSE(TargetGotDown(VK_UP)) << "the chord reached the program";
}

TEST_F(Hook, PeekedKeyUnderCtrlAltIsReportedOnce)
{
    Chord({VK_CONTROL, VK_MENU});
    Forget();
    Inject('T', false);
    for (int look = 0; look < 3; look++)
        ASSERT_TRUE(PeekKeyDown('T')) << "look " << look;
    EXPECT_TRUE(popup->got.empty()) << "reported while only peeked at";
    ASSERT_TRUE(PumpUntil([&] { return TargetGotDown('T'); }, 2000));
    EXPECT_EQ(std::vector<WPARAM>{0}, Masks(popup)) << "one event, one report";
    EXPECT_EQ(std::vector<WPARAM>{0}, Masks(secondPopup));
}

// AltGr, the right Alt of most European layouts, arrives as left Ctrl with
// right Alt. With or without Shift and a key it is typing ("@" on a German
// layout, a capital L with stroke on a Polish one), never a chord: every key
// reaches the program and nothing is reported. Only the left Alt makes a
// chord, with either Ctrl.
TEST_F(Hook, AltGrTypingPassesAndOnlyTheLeftAltMakesAChord)
{
    struct Row {
        std::vector<BYTE> keys;  // pressed in order, released in reverse
        std::vector<WPARAM> masks;
        const char *program;  // what the program gets
    } rows[] = {
        {{VK_LCONTROL, VK_RMENU, 'Q'}, {}, "Ctrl+ RAlt+ Q+ Q- RAlt- Ctrl- "},
        {{VK_LCONTROL, VK_RMENU, VK_SHIFT, 'L'}, {}, "Ctrl+ RAlt+ Shift+ L+ L- Shift- RAlt- Ctrl- "},
        {{VK_LCONTROL, VK_RMENU, VK_UP}, {}, "Ctrl+ RAlt+ Up+ Up- RAlt- Ctrl- "},
        {{VK_RCONTROL, VK_LMENU, VK_UP}, {0, HOTKEY_UP, 0},
         "RCtrl+ Alt+ Up- Alt- RCtrl- "},
        {{VK_LCONTROL, VK_RMENU, VK_LMENU, VK_UP}, {0, HOTKEY_UP, 0},
         "Ctrl+ RAlt+ Alt+ Up- Alt- RAlt- Ctrl- "},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.program);
        Forget();
        for (BYTE vk : row.keys) {
            Key(vk, false);
            if (vk == VK_RMENU) {
                // The state the platform gives AltGr, and the one the hook reads.
                EXPECT_TRUE(KeyIsDown(VK_LCONTROL) && KeyIsDown(VK_RMENU) && KeyIsDown(VK_MENU));
                EXPECT_FALSE(KeyIsDown(VK_LMENU));
            }
        }
        ReleaseAll();
        EXPECT_EQ(row.masks, Masks(popup));
        EXPECT_EQ(row.program, TargetKeys());
    }
}

// A popup whose thread stops taking messages must not stop the keyboard of
// the program the hook runs in; the popups that do answer are still told.
TEST_F(Hook, HungPopupDoesNotHoldTheProgramsKeys)
{
    HungPopup hung;
    ASSERT_TRUE(hung.Start());
    DWORD start = GetTickCount();
    Key(VK_CONTROL, false, 40000);
    Key(VK_MENU, false, 40000);
    Key(VK_UP, false, 40000);
    Key(VK_UP, true, 40000);
    Key('T', false, 40000);
    DWORD elapsed = GetTickCount() - start;
    // Each report may wait its timeout for the hung window; a wait until that
    // window answers would last the whole 30 s it sleeps.
    EXPECT_LT(elapsed, 15000u) << "the hung popup held the keys";
    EXPECT_EQ((std::vector<WPARAM>{0, HOTKEY_UP, 0, 0}), Masks(popup));
    EXPECT_FALSE(TargetGotDown(VK_UP));
    EXPECT_TRUE(TargetGotDown('T'));
}

// A popup that comes to the top of the z-order while it handles its report
// (as a shown popup may) is not found again behind the next one: each popup
// is told once per event, and two of them do not tell each other for ever.
WNDPROC recordingProc = NULL;
int raises = 0;

LRESULT CALLBACK RaiseWhenTold(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Bounded, so that a hook that loops over these windows still returns.
    if (message == HOTKEY_MESSAGE && raises++ < 100)
        SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return CallWindowProcA(recordingProc, window, message, wParam, lParam);
}

TEST_F(Hook, PopupsThatReorderThemselvesAreToldOnceEach)
{
    raises = 0;
    recordingProc = (WNDPROC)GetWindowLongPtrA(popup->window, GWLP_WNDPROC);
    SetWindowLongPtrA(popup->window, GWLP_WNDPROC, (LONG_PTR)RaiseWhenTold);
    SetWindowLongPtrA(secondPopup->window, GWLP_WNDPROC, (LONG_PTR)RaiseWhenTold);
    Chord({VK_CONTROL, VK_MENU});
    Key(VK_UP, false);
    EXPECT_EQ((std::vector<WPARAM>{0, HOTKEY_UP}), Masks(popup));
    EXPECT_EQ((std::vector<WPARAM>{0, HOTKEY_UP}), Masks(secondPopup));
    EXPECT_FALSE(TargetGotDown(VK_UP));
}

TEST(LibraryEntry, VersionIsAnsweredOnlyForTheTwoRecordSizes)
{
    HMODULE library = GetModuleHandleA("libtarn.dll");
    ASSERT_NE((HMODULE)NULL, library);
    DLLGETVERSIONPROC getVersion =
        (DLLGETVERSIONPROC)(void (*)())GetProcAddress(library, "DllGetVersion");
    ASSERT_NE(nullptr, getVersion);

    struct Row {
        DWORD size;
        HRESULT result;
    } rows[] = {{20, S_OK}, {32, S_OK}, {24, E_INVALIDARG}, {0, E_INVALIDARG},
                {16, E_INVALIDARG}, {40, E_INVALIDARG}};
    for (const Row &row : rows) {
        unsigned char bytes[48], before[48];
        memset(bytes, 0xCC, sizeof bytes);
        memcpy(bytes, &row.size, 4);
        memcpy(before, bytes, sizeof bytes);
        EXPECT_EQ(row.result, getVersion((DLLVERSIONINFO *)bytes)) << row.size;
        if (row.result != S_OK) {
            EXPECT_EQ(0, memcmp(before, bytes, sizeof bytes)) << "size " << row.size;
            continue;
        }
        const DLLVERSIONINFO2 *info = (const DLLVERSIONINFO2 *)bytes;
        EXPECT_EQ(row.size, info->info1.cbSize);
        EXPECT_EQ(1u, info->info1.dwMajorVersion);
        EXPECT_EQ(0u, info->info1.dwMinorVersion);
        EXPECT_EQ(0u, info->info1.dwBuildNumber);
        EXPECT_EQ((DWORD)DLLVER_PLATFORM_WINDOWS, info->info1.dwPlatformID);
        if (row.size == 32) {
            EXPECT_EQ(0u, info->dwFlags);
            EXPECT_EQ(0x0001000000000000ull, info->ullVersion);
        }
        EXPECT_EQ(0, memcmp(before + row.size, bytes + row.size, sizeof bytes - row.size))
            << "written past a record of " << row.size;
    }
}

TEST(LibraryEntry, HostEntryAnswersEveryReasonWithZero)
{
    for (DWORD reason : {0u, 1u, 2u, 3u, 0xFFFFFFFFu}) {
        DWORD record[4] = {0, 0, reason, 0};
        EXPECT_EQ(0, BetalLibMain(NULL, NULL, NULL, record)) << reason;
    }
    EXPECT_EQ(1, Win32_UninstallClipboardHook()) << "without a hook installed";
}

}  // namespace
