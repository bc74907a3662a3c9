// The settings store on the real ini functions, with its "ENVIRONMENT" redirect.
#include "support.h"

#include "shell/settings.h"

namespace {

std::string RedirectFile()
{
    char windows[MAX_PATH] = {0};
    GetWindowsDirectoryA(windows, MAX_PATH);
    return std::string(windows) + "\\clipdock-environment-test.ini";
}

BOOL WINAPI UserEnvironment(LPSTR buffer, LPDWORD size)
{
    lstrcpynA(buffer, "Environment", (int)*size);
    *size = 12;
    return TRUE;
}

BOOL WINAPI NoUserName(LPSTR, LPDWORD) { return FALSE; }

class SettingsTest : public CollectionTest {
protected:
    void SetUp() override
    {
        CollectionTest::SetUp();
        Forget();
    }
    void TearDown() override
    {
        Forget();
        CollectionTest::TearDown();
    }
    void Forget()
    {
        WritePrivateProfileStringA("HALCYON", NULL, NULL, IniPath().c_str());
        WritePrivateProfileStringA("ENVIRONMENT", NULL, NULL, IniPath().c_str());
        WritePrivateProfileStringA("SettingsTest", NULL, NULL, IniPath().c_str());
        DeleteFileA(RedirectFile().c_str());
    }
};

TEST_F(SettingsTest, ReadsDefaultsWritesAndReplacesValues)
{
    char buffer[64] = {0};
    ASSERT_EQ(ReadSetting("SettingsTest", "key", "default", buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "default");

    ASSERT_EQ(WriteSetting("SettingsTest", "key", "first"), 0);
    ASSERT_EQ(WriteSetting("SettingsTest", "key", "second value"), 0);
    EXPECT_EQ(IniValue("SettingsTest", "key"), "second value");
    // Section and key match without regard to case; the result is cut to the buffer.
    ASSERT_EQ(ReadSetting("settingstest", "KEY", "default", buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "second value");
    char small[7] = {0};
    ASSERT_EQ(ReadSetting("SettingsTest", "key", "default", small, sizeof small), 0);
    EXPECT_STREQ(small, "second");
}

TEST_F(SettingsTest, EnvironmentSectionFollowsTheRedirectOnEveryCall)
{
    std::string other = RedirectFile();
    SetIniValue("HALCYON", "ENVIRONMENT", other.c_str());

    ASSERT_EQ(WriteSetting("Environment", "where", "redirected"), 0);
    EXPECT_EQ(IniValue("ENVIRONMENT", "where", "<none>"), "<none>");
    char buffer[64] = {0};
    GetPrivateProfileStringA("ENVIRONMENT", "where", "", buffer, sizeof buffer, other.c_str());
    EXPECT_STREQ(buffer, "redirected");
    ASSERT_EQ(ReadSetting("eNvIrOnMeNt", "where", "", buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "redirected");

    // Other sections never move.
    ASSERT_EQ(WriteSetting("SettingsTest", "where", "home"), 0);
    EXPECT_EQ(IniValue("SettingsTest", "where"), "home");

    // Nothing is cached: an empty redirect means the settings file itself.
    SetIniValue("HALCYON", "ENVIRONMENT", "");
    ASSERT_EQ(ReadSetting("ENVIRONMENT", "where", "default", buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "default");
    ASSERT_EQ(WriteSetting("ENVIRONMENT", "where", "home"), 0);
    EXPECT_EQ(IniValue("ENVIRONMENT", "where"), "home");
}

// A file name of exactly length characters in the Windows directory.
std::string PathOfLength(size_t length)
{
    char windows[MAX_PATH] = {0};
    GetWindowsDirectoryA(windows, MAX_PATH);
    std::string path = std::string(windows) + "\\";
    return path + std::string(length - path.size() - 4, 'p') + ".ini";
}

// Paths of up to 260 characters are used whole: cut short, they would name
// another file. Before start-up has set the path, and with a longer
// redirect, nothing is read or written.
TEST_F(SettingsTest, PathsAreUsedWholeOrNotAtAll)
{
    const std::string longest = PathOfLength(260), tooLong = PathOfLength(300);
    const std::string cut = longest.substr(0, 259);
    ASSERT_EQ(SETTINGS_PATH_SIZE, (int)longest.size() + 1);
    SetIniValue("HALCYON", "ENVIRONMENT", longest.c_str());
    EXPECT_EQ(WriteSetting("ENVIRONMENT", "where", "redirected"), 0);
    lstrcpynA(settingsFilePath, longest.c_str(), SETTINGS_PATH_SIZE);
    EXPECT_EQ(WriteSetting("SettingsTest", "where", "home"), 0);
    EXPECT_FALSE(FileExists(cut)) << "written into a file of the cut name";

    const struct {
        const char *section;
        std::string settingsPath, redirect;
    } refusals[] = {{"SettingsTest", "", ""}, {"ENVIRONMENT", IniPath(), tooLong}};
    for (const auto &r : refusals) {
        SCOPED_TRACE(r.section);
        SetIniValue("HALCYON", "ENVIRONMENT", r.redirect.c_str());
        lstrcpynA(settingsFilePath, r.settingsPath.c_str(), SETTINGS_PATH_SIZE);
        char buffer[16] = "keep";
        EXPECT_EQ(ReadSetting(r.section, "where", "default", buffer, sizeof buffer), E_FAIL);
        EXPECT_STREQ(buffer, "keep");
        EXPECT_EQ(WriteSetting(r.section, "where", "value"), E_FAIL);
        EXPECT_EQ(IniValue(r.section, "where", "<none>"), "<none>");
    }
    EXPECT_FALSE(FileExists(tooLong.substr(0, 259)));
    for (const std::string &path : {longest, cut, tooLong.substr(0, 259)})
        DeleteFileA(path.c_str());
}

TEST_F(SettingsTest, UserNamedEnvironmentKeepsTheStateInTheRedirectedFile)
{
    std::string other = RedirectFile();
    SetIniValue("HALCYON", "ENVIRONMENT", other.c_str());
    platformCalls.userName = UserEnvironment;
    itemSlots[0] = {SLOT_OCCUPIED, "\\a.crx"};
    itemSlots[2] = {SLOT_OCCUPIED, "\\b.crx"};
    SaveCollectionState();

    char buffer[64] = {0};
    GetPrivateProfileStringA("ENVIRONMENT", "CLIPBOOK_STATE", "<none>", buffer, sizeof buffer,
                             other.c_str());
    EXPECT_STREQ(buffer, "\\a.crx:\\b.crx:");
    EXPECT_EQ(IniValue("ENVIRONMENT", "CLIPBOOK_STATE", "<none>"), "<none>");
}

TEST_F(SettingsTest, UnreadableUserNameMeansTheEmptySection)
{
    platformCalls.userName = NoUserName;
    itemSlots[1] = {SLOT_OCCUPIED, "\\x.crx"};
    SaveCollectionState();
    EXPECT_EQ(IniValue("", "CLIPBOOK_STATE", "<none>"), "\\x.crx:");
    WritePrivateProfileStringA("", NULL, NULL, IniPath().c_str());
}

}  // namespace
