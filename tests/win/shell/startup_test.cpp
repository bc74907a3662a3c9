// startup_test.cpp: the installer wait, the settings path, the OS version
// rule, and start-up's failures with their messages.
#include "support.h"

#include <string.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "collection/capture.h"
#include "collection/platform.h"
#include "collection/restore.h"
#include "collection/slots.h"
#include "shell/globals.h"
#include "shell/settings.h"
#include "shell/startup.h"
#include "tarnhook.h"
#include "ui/panel.h"

namespace {

// All waiters run at once against one mutex: those that must wait are
// still waiting when it closes, the others are done before; also when
// this user may not use the mutex.
TEST(InstallerWait, OnlyTheExactWordWaitsAndOnlyWhileTheMutexExists)
{
    struct Row {
        const char *commandLine;
        bool waits;
    };
    const Row rows[] = {
        {"-wait", true},  {"-WAIT", true},       {"-WaIt", true},
        {"", false},      {"-wait now", false},  {"-waiting", false},
        {"wait", false},  {"-wait -wait", false}, {"/wait", false},
    };
    const size_t n = sizeof rows / sizeof rows[0];
    for (const InstallerMutexKind &kind : INSTALLER_MUTEX_KINDS) {
        SCOPED_TRACE(kind.what);
        HANDLE mutex = MakeInstallerMutex(kind);
        ASSERT_NE((HANDLE)NULL, mutex);

        std::vector<std::atomic<int>> sleeps(n);
        std::vector<std::atomic<bool>> done(n);
        std::vector<std::thread> waiters;
        for (size_t i = 0; i < n; i++) {
            sleeps[i] = -1;
            done[i] = false;
            waiters.emplace_back([&, i] {
                sleeps[i] = WaitForInstaller(rows[i].commandLine);
                done[i] = true;
            });
        }
        Sleep(300);
        for (size_t i = 0; i < n; i++)
            EXPECT_EQ(!rows[i].waits, done[i].load()) << "\"" << rows[i].commandLine << "\"";
        CloseHandle(mutex);
        DWORD closed = GetTickCount();
        for (std::thread &t : waiters)
            t.join();
        EXPECT_LE(GetTickCount() - closed, 2500u) << "a waiter went on long after the mutex closed";
        for (size_t i = 0; i < n; i++) {
            if (rows[i].waits)
                EXPECT_GE(sleeps[i].load(), 1) << "\"" << rows[i].commandLine << "\"";
            else
                EXPECT_EQ(0, sleeps[i].load()) << "\"" << rows[i].commandLine << "\"";
        }
    }
}

TEST(InstallerWait, WithoutTheMutexStartsAtOnce)
{
    DWORD start = GetTickCount();
    EXPECT_EQ(0, WaitForInstaller("-wait"));
    EXPECT_LT(GetTickCount() - start, 500u);
}

TEST(SettingsPath, AppendsTheFileNameOrStaysEmptyWhenItDoesNotFit)
{
    // The buffer holds 261 bytes: 248 characters of directory leave exactly
    // room for "\halcyon.ini" and the terminator.
    const std::string fits(248, 'd'), tooLong(249, 'd');
    struct Row {
        std::string directory, expected;
    } rows[] = {
        {"C:\\windows", "C:\\windows\\halcyon.ini"},
        {"D:\\WINNT", "D:\\WINNT\\halcyon.ini"},
        {fits, fits + "\\halcyon.ini"},
        {tooLong, ""},
        {std::string(300, 'd'), ""},
        {"", ""},
    };
    for (const Row &row : rows) {
        char path[261];
        memset(path, 'x', sizeof path);
        ComposeSettingsPath(row.directory.c_str(), path);
        EXPECT_EQ(row.expected, std::string(path)) << row.directory.size() << " characters";
    }
}

TEST(SettingsPath, StartUpUsesTheWindowsDirectory)
{
    char windows[MAX_PATH];
    ASSERT_NE(0u, GetWindowsDirectoryA(windows, sizeof windows));
    LocateSettingsFile();
    EXPECT_STREQ((std::string(windows) + "\\halcyon.ini").c_str(), settingsFilePath);
    settingsFilePath[0] = '\0';
}

TEST(PanelStyle, FollowsTheVersionOfTheSystem)
{
    struct Row {
        DWORD major, minor, style;
    } rows[] = {
        {4, 0, 0x88},       {4, 10, 0x88},      {4, 90, 0x88},      {5, 0, 0x80088},
        {5, 1, 0x2080088},  {5, 2, 0x2080088},  {6, 0, 0x2080088},  {10, 0, 0x2080088},
    };
    for (const Row &row : rows)
        EXPECT_EQ(row.style, ChoosePanelExStyle(row.major, row.minor))
            << row.major << "." << row.minor;
}

// Start-up with some of its platform calls replaced.
class FailingStartUp : public ::testing::Test {
protected:
    static std::vector<std::string> messages;
    static std::vector<WORD> loaded;
    static DWORD fakeMajor;
    static WORD failingBitmap;
    static std::string failingClass;

    static BOOL WINAPI FakeVersion(OSVERSIONINFOA *info)
    {
        if (!GetVersionExA(info))
            return FALSE;
        info->dwMajorVersion = fakeMajor;
        info->dwMinorVersion = 0;
        return TRUE;
    }
    static HANDLE WINAPI FakeLoadImage(HINSTANCE instance, LPCSTR name, UINT type, int cx,
                                       int cy, UINT flags)
    {
        loaded.push_back(LOWORD((ULONG_PTR)name));
        if (LOWORD((ULONG_PTR)name) == failingBitmap)
            return NULL;
        return LoadImageA(instance, name, type, cx, cy, flags);
    }
    static HWND WINAPI FakeCreateWindow(DWORD exStyle, LPCSTR className, LPCSTR title,
                                        DWORD style, int x, int y, int width, int height,
                                        HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
    {
        if (failingClass == className)
            return NULL;
        return CreateWindowExA(exStyle, className, title, style, x, y, width, height, parent,
                               menu, instance, param);
    }
    static int WINAPI RecordMessage(HWND, LPCSTR text, LPCSTR caption, UINT type)
    {
        EXPECT_EQ(nullptr, caption);
        EXPECT_EQ((UINT)MB_OK, type);
        messages.push_back(text);
        return IDOK;
    }

    void SetUp() override
    {
        messages.clear();
        loaded.clear();
        fakeMajor = 5;
        failingBitmap = 0;
        failingClass.clear();
        appInstance = GetModuleHandleA(NULL);
        startupCalls.getVersion = FakeVersion;
        startupCalls.loadImage = FakeLoadImage;
        startupCalls.createWindow = FakeCreateWindow;
        startupCalls.messageBox = RecordMessage;
        platformCalls.notifyIcon = RecordTray;
    }
    void TearDown() override
    {
        for (HWND *w : {&popupWindow, &panelWindow}) {
            if (IsWindow(*w))
                DestroyWindow(*w);
            *w = NULL;
        }
        itemListWindow = NULL;
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        }
        ShutdownApplication();
        startupCalls = StartupCalls{GetVersionExA, LoadImageA, CreateWindowExA, MessageBoxA};
        platformCalls.notifyIcon = realPlatformCalls.notifyIcon;
    }
    static bool ClassRegistered(const char *name)
    {
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        return GetClassInfoExA(GetModuleHandleA(NULL), name, &wc) != 0;
    }
};
std::vector<std::string> FailingStartUp::messages;
std::vector<WORD> FailingStartUp::loaded;
DWORD FailingStartUp::fakeMajor;
WORD FailingStartUp::failingBitmap;
std::string FailingStartUp::failingClass;

TEST_F(FailingStartUp, RefusesSystemsBeforeVersionFourSilently)
{
    fakeMajor = 3;
    EXPECT_EQ(E_FAIL, InitApplication());
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(loaded.empty());
    EXPECT_FALSE(ClassRegistered("Betal_Clipdock"));
}

TEST_F(FailingStartUp, VersionFourGetsAPanelWithoutLayering)
{
    fakeMajor = 4;
    ASSERT_EQ(S_OK, InitApplication());
    EXPECT_EQ(0x88u, panelExStyle);
    LONG style = GetWindowLongA(panelWindow, GWL_EXSTYLE);
    EXPECT_EQ(0, style & WS_EX_LAYERED);
    EXPECT_EQ(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, style & (WS_EX_TOOLWINDOW | WS_EX_TOPMOST));
    SendMessageA(panelWindow, WM_CLOSE, 0, 0);
}

TEST_F(FailingStartUp, ReportsOnlyTheFirstMissingBitmap)
{
    struct Row {
        WORD bitmap;
        const char *message;
    } rows[] = {
        {1000, "LoadLogo failed!"},
        {1001, "LoadSky failed!"},
        {1002, "LoadObj failed!"},
        {1003, "LoadSys failed!"},
    };
    for (const Row &row : rows) {
        messages.clear();
        loaded.clear();
        failingBitmap = row.bitmap;
        EXPECT_EQ(E_FAIL, InitApplication());
        EXPECT_EQ(std::vector<std::string>{row.message}, messages);
        ASSERT_FALSE(loaded.empty());
        EXPECT_EQ(row.bitmap, loaded.back()) << "bitmaps were loaded after the failing one";
        EXPECT_EQ(row.bitmap - 1000u + 1, loaded.size());
        EXPECT_FALSE(ClassRegistered("Betal_Clipdock"));
        EXPECT_EQ(NULL, panelWindow);
        ShutdownApplication();
    }
}

// Start-up that fails once the panel is in the viewer chain takes it out
// again, so that the viewer after it still gets its notifications.
TEST_F(FailingStartUp, WindowFailureLeavesTheViewerChain)
{
    for (const char *failing : {"Betal_Clipboard", "Betal_Notify"}) {
        RecordingWindow viewer("ChainViewer", "viewer", {WM_DRAWCLIPBOARD});
        HWND before = SetClipboardViewer(viewer.window);
        messages.clear();
        failingClass = failing;
        EXPECT_EQ(E_FAIL, InitApplication());
        EXPECT_EQ(std::vector<std::string>{"CreateWindowEx failed!"}, messages) << failing;
        ASSERT_TRUE(IsWindow(panelWindow));
        EXPECT_EQ(viewer.window, GetClipboardViewer()) << failing;
        ChangeClipboardChain(viewer.window, before);
        DestroyWindow(panelWindow);
        panelWindow = itemListWindow = NULL;
        ShutdownApplication();
    }
}

TEST_F(FailingStartUp, PanelFailureIsReported)
{
    failingClass = "Betal_Clipdock";
    EXPECT_EQ(E_FAIL, InitApplication());
    EXPECT_EQ(std::vector<std::string>{"CreateWindowEx failed!"}, messages);
    EXPECT_EQ(NULL, itemListWindow);
}

// A normal start: only the tray icon shows; panel and popup stay hidden.
TEST_F(StartedProgram, StartsWithEverythingHidden)
{
    EXPECT_TRUE(panelHidden);
    EXPECT_FALSE(IsWindowVisible(panelWindow));
    EXPECT_FALSE(IsWindowVisible(popupWindow));
    EXPECT_EQ(panelWindow, GetParent(itemListWindow));

    RECT panel, client, list, work;
    GetWindowRect(panelWindow, &panel);
    GetClientRect(panelWindow, &client);
    GetWindowRect(itemListWindow, &list);
    int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_EQ(screenWidth - 200, panel.left);
    EXPECT_EQ(50, panel.top);
    EXPECT_EQ(180, panel.right - panel.left);
    EXPECT_EQ(screenHeight - 100, panel.bottom - panel.top);
    POINT origin = {0, 0};
    ClientToScreen(panelWindow, &origin);
    EXPECT_EQ(origin.y + 86 + 60, list.top);
    EXPECT_EQ(client.right, list.right - list.left);
    EXPECT_EQ(client.bottom - 86 - 80, list.bottom - list.top);

    char title[64];
    GetWindowTextA(popupWindow, title, sizeof title);
    EXPECT_STREQ("Clipboard Viewer", title);
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    RECT popup;
    GetWindowRect(popupWindow, &popup);
    EXPECT_EQ(work.right - 160, popup.left);
    EXPECT_EQ(work.bottom - 120, popup.top);
    EXPECT_EQ((LONG)(WS_EX_CLIENTEDGE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST),
              GetWindowLongA(popupWindow, GWL_EXSTYLE) &
                  (WS_EX_CLIENTEDGE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST));
    EXPECT_EQ(panelExStyle, (DWORD)GetWindowLongA(panelWindow, GWL_EXSTYLE) & panelExStyle);

    BYTE alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(panelWindow, NULL, &alpha, &flags));
    EXPECT_EQ(32, alpha);

    // The first capture may already have given the icon a notice.
    int adds = 0;
    for (const auto &call : trayCalls) {
        adds += call.first == NIM_ADD;
        EXPECT_EQ(panelWindow, call.second) << "the tray talks to the panel";
    }
    EXPECT_GE(adds, 1);
    HWND closed = panelWindow, quickView = popupWindow;
    SendMessageA(panelWindow, WM_CLOSE, 0, 0);
    ShutdownApplication();
    EXPECT_FALSE(IsWindow(quickView)) << "shut-down leaves the popup";
    ASSERT_FALSE(trayCalls.empty());
    EXPECT_EQ((DWORD)NIM_DELETE, trayCalls.back().first);
    EXPECT_EQ(closed, trayCalls.back().second);
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    for (const char *name : {"Betal_Clipdock", "Betal_Clipboard", "Betal_Notify"})
        EXPECT_FALSE(GetClassInfoExA(GetModuleHandleA(NULL), name, &wc)) << name;
    EXPECT_EQ(NULL, logoBitmap);
}

}  // namespace

namespace {

// What the panel's creation does with the clipboard it finds: an empty one
// gets the newest stored item back; a full one is left alone.
class StartOnClipboard : public ::testing::Test {
protected:
    void SetUp() override
    {
        appInstance = GetModuleHandleA(NULL);
        platformCalls.notifyIcon = RecordTray;
        trayCalls.clear();
        for (ItemSlot &slot : itemSlots)
            slot.flags = 0;
        FILE *item = BeginNewItem();
        ASSERT_NE(nullptr, item);
        int32_t index = 0;
        ASSERT_EQ(0, CreateClipboardFile(item));
        ASSERT_EQ(0, InsertClipboardItem(item, CF_TEXT, "", "stored words", 13, &index));
        fclose(item);
    }
    void TearDown() override
    {
        StopStartedProgram();
        ClearCollection();
    }
    static void SetClipboard(const char *text)
    {
        ASSERT_TRUE(PumpUntil([] { return OpenClipboard(NULL) != 0; }, 2000));
        EmptyClipboard();
        if (text != nullptr) {
            HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, strlen(text) + 1);
            memcpy(GlobalLock(block), text, strlen(text) + 1);
            GlobalUnlock(block);
            SetClipboardData(CF_TEXT, block);
        }
        CloseClipboard();
    }
    static std::string ClipboardText()
    {
        std::string text;
        if (!PumpUntil([] { return OpenClipboard(NULL) != 0; }, 2000))
            return "(clipboard busy)";
        HANDLE data = GetClipboardData(CF_TEXT);
        if (data != NULL) {
            text = (const char *)GlobalLock(data);
            GlobalUnlock(data);
        }
        CloseClipboard();
        return text;
    }
};

TEST_F(StartOnClipboard, EmptyClipboardGetsTheNewestItemBack)
{
    SetClipboard(nullptr);
    PumpFor(100);
    ASSERT_EQ(S_OK, InitApplication());
    // Putting it back is no news: no notice, which would come before the
    // tray icon is added and go to a popup that does not exist yet.
    ASSERT_FALSE(trayCalls.empty());
    EXPECT_EQ((DWORD)NIM_ADD, trayCalls.front().first) << "a notice came first";
    EXPECT_EQ(1u, trayCalls.size());
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, (HWND)-1, POPUP_SHOW_MESSAGE, POPUP_SHOW_MESSAGE, PM_REMOVE));
    EXPECT_EQ("stored words", ClipboardText());
}

// The clipboard another program holds from the second opening on, and item
// files that cannot be read.
int clipboardOpensLeft;
BOOL WINAPI OpenWhileLeft(HWND owner)
{
    return clipboardOpensLeft-- > 0 && realPlatformCalls.openClipboard(owner);
}
FILE *UnreadableItem(const char *path, const char *mode)
{
    return mode[0] == 'r' ? NULL : realPlatformCalls.openFile(path, mode);
}

// A start-up restore that placed nothing makes no later change its own.
TEST_F(StartOnClipboard, NewestItemThatCannotBeReadLeavesLaterChangesNews)
{
    SetClipboard(nullptr);
    PumpFor(100);
    platformCalls.openFile = UnreadableItem;
    ASSERT_EQ(S_OK, InitApplication());
    platformCalls.openFile = realPlatformCalls.openFile;
    EXPECT_FALSE(firstCapturePending);
}

TEST_F(StartOnClipboard, NewestItemThatWaitsGivesWayToACopy)
{
    SetClipboard(nullptr);
    PumpFor(100);
    clipboardOpensLeft = 1;  // the first capture's
    platformCalls.openClipboard = OpenWhileLeft;
    ASSERT_EQ(S_OK, InitApplication());
    EXPECT_TRUE(PlacementWaiting());
    SetClipboard("copied after the start");
    platformCalls.openClipboard = realPlatformCalls.openClipboard;
    EXPECT_TRUE(PumpUntil([] { return !PlacementWaiting() && !CaptureWaiting(); }, 3000));
    EXPECT_EQ("copied after the start", ClipboardText());
}

TEST_F(StartOnClipboard, ClipboardWithContentIsLeftAlone)
{
    SetClipboard("words of another program");
    PumpFor(100);
    ASSERT_EQ(S_OK, InitApplication());
    EXPECT_EQ("words of another program", ClipboardText());
}

}  // namespace
