// The tray icon on Wine's tray. Its tip and balloon cannot be read back from
// the platform, so the records handed to Shell_NotifyIconA are checked, and
// the platform's answers to them.
#include "support.h"

#include <shellapi.h>

#include "collection/capture.h"
#include "shell/globals.h"
#include "shell/tray.h"

namespace {

class TrayTest : public CollectionTest {
protected:
    void TearDown() override
    {
        RemoveTrayIcon();
        CollectionTest::TearDown();
    }
    // True when the platform knows our icon: a modify of it succeeds.
    bool IconExists()
    {
        NOTIFYICONDATAA probe = {};
        probe.cbSize = NOTIFYICONDATAA_V2_SIZE;
        probe.hWnd = panelWindow;
        probe.uID = TRAY_ICON_ID;
        return realPlatformCalls.notifyIcon(NIM_MODIFY, &probe) != FALSE;
    }
};

TEST_F(TrayTest, AddAndRemove)
{
    AddTrayIcon();
    ASSERT_EQ(trayCalls.size(), 1u);
    const NOTIFYICONDATAA &added = trayCalls[0].record;
    EXPECT_EQ(trayCalls[0].message, (DWORD)NIM_ADD);
    EXPECT_TRUE(trayCalls[0].result);
    EXPECT_EQ(added.cbSize, (DWORD)NOTIFYICONDATAA_V2_SIZE);
    EXPECT_EQ(added.hWnd, panelWindow);
    EXPECT_EQ(added.uID, 0x6051977u);
    EXPECT_EQ(added.uFlags, (UINT)(NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_STATE));
    EXPECT_EQ(added.uCallbackMessage, 0x8001u);
    EXPECT_STREQ(added.szTip, "Tarn Clipboard v1.0");
    EXPECT_EQ(added.dwState, (DWORD)NIS_SHAREDICON);
    EXPECT_EQ(added.dwStateMask, 0u);
    EXPECT_TRUE(IconExists());

    RemoveTrayIcon();
    EXPECT_EQ(trayCalls.back().message, (DWORD)NIM_DELETE);
    EXPECT_EQ(trayCalls.back().record.uFlags, 0u);
    EXPECT_FALSE(IconExists());
}

TEST_F(TrayTest, NoticeChangesOnlyTheTipWhileTheIconIsThere)
{
    AddTrayIcon();
    trayCalls.clear();
    EXPECT_EQ(ShowTrayNotice("1 of 31 - Clipboard", "1 clipboard item collected"), 0);
    ASSERT_EQ(trayCalls.size(), 1u);
    EXPECT_EQ(trayCalls[0].message, (DWORD)NIM_MODIFY);
    EXPECT_TRUE(trayCalls[0].result);
    EXPECT_EQ(trayCalls[0].record.uFlags, (UINT)NIF_TIP);
    EXPECT_STREQ(trayCalls[0].record.szTip, "1 of 31 - Clipboard - Tarn Clipboard v1.0");
}

TEST_F(TrayTest, NoticeReAddsAVanishedIconWithABalloon)
{
    AddTrayIcon();
    RemoveTrayIcon();  // as when the tray itself went away
    trayCalls.clear();
    std::string title(70, 'T'), text(300, 'x');
    EXPECT_EQ(ShowTrayNotice(title.c_str(), text.c_str()), 0);
    ASSERT_EQ(trayCalls.size(), 2u);
    EXPECT_EQ(trayCalls[0].message, (DWORD)NIM_MODIFY);
    EXPECT_FALSE(trayCalls[0].result);
    const TrayCall &add = trayCalls[1];
    EXPECT_EQ(add.message, (DWORD)NIM_ADD);
    EXPECT_TRUE(add.result);
    EXPECT_EQ(add.record.cbSize, (DWORD)NOTIFYICONDATAA_V2_SIZE);
    EXPECT_EQ(add.record.uFlags, (UINT)(NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_STATE | NIF_INFO));
    EXPECT_EQ(add.record.uCallbackMessage, 0x8001u);
    EXPECT_EQ(add.record.dwState, (DWORD)NIS_SHAREDICON);
    EXPECT_EQ(add.record.uTimeout, 10000u);
    EXPECT_EQ(add.record.dwInfoFlags, (DWORD)NIIF_INFO);
    EXPECT_EQ(std::string(add.record.szInfoTitle), title.substr(0, 63));
    EXPECT_EQ(std::string(add.record.szInfo), text.substr(0, 255));
    EXPECT_EQ(std::string(add.record.szTip), title + " - Tarn Clipboard v1.0");
    EXPECT_TRUE(IconExists());
}

// The taskbar started again without the icon: it comes back as it was,
// with the last notice's tip and no balloon.
TEST_F(TrayTest, RestoredIconKeepsTheLastTip)
{
    AddTrayIcon();
    ShowTrayNotice("2 of 31 - Clipboard", "2 clipboard items collected");
    RemoveTrayIcon();
    trayCalls.clear();
    RestoreTrayIcon();
    ASSERT_EQ(trayCalls.size(), 1u);
    const NOTIFYICONDATAA &added = trayCalls[0].record;
    EXPECT_EQ(trayCalls[0].message, (DWORD)NIM_ADD);
    EXPECT_EQ(added.uFlags, (UINT)(NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_STATE));
    EXPECT_EQ(added.uCallbackMessage, 0x8001u);
    EXPECT_STREQ(added.szTip, "2 of 31 - Clipboard - Tarn Clipboard v1.0");
    EXPECT_TRUE(IconExists());
}

TEST_F(TrayTest, TipAfterACaptureNoticeShowsTheCount)
{
    AddTrayIcon();
    StoreTextItem(1, "\\older.crx", "older");
    trayCalls.clear();
    ASSERT_TRUE(PutClipboard({{CF_TEXT, std::string("new\0", 4)}}));
    CaptureClipboard(panelWindow);
    ASSERT_FALSE(trayCalls.empty());
    EXPECT_STREQ(trayCalls.back().record.szTip, "1 of 31 - Clipboard - Tarn Clipboard v1.0");
    EXPECT_EQ(trayCalls.size(), 1u) << "no balloon while the icon exists";
}

}  // namespace
