/*
 * exports_test.cpp: libtarn.dll is found by name next to the program, and
 * each export is there under its own undecorated name.
 */
#include "tarn_dll.h"

#include "libtarn.h"
#include "tarnhook.h"

#include <set>
#include <string.h>
#include <type_traits>

/* The pointer types the tests call through must be the library's own
 * declarations; a changed signature breaks this build, not a run. In the
 * i686 build the calling convention is part of the type, so a convention
 * that differs from the callers' (__cdecl exports, the shell's CALLBACK for
 * DllGetVersion) breaks it too. */
#define SAME_SIGNATURE(name) \
    static_assert(std::is_same<decltype(&name), name##Fn>::value, #name " signature")
SAME_SIGNATURE(CreateClipboardFile);
SAME_SIGNATURE(CloseClipboardFile);
SAME_SIGNATURE(InsertClipboardItem);
SAME_SIGNATURE(GetClipbordFileItemsCount);
SAME_SIGNATURE(GetClipbordFileItemBaseFormat);
SAME_SIGNATURE(GetClipbordFileItemFormatName);
SAME_SIGNATURE(GetClipboardFileItemSize);
SAME_SIGNATURE(LoadClipboardFileItem);
SAME_SIGNATURE(LoadClipboardFileItemPart);
SAME_SIGNATURE(CompareClipboardFiles);
SAME_SIGNATURE(Win32_InstallClipboardHook);
SAME_SIGNATURE(Win32_UninstallClipboardHook);
SAME_SIGNATURE(BetalLibMain);
SAME_SIGNATURE(DllGetVersion);
static_assert(TARN_FAIL == TARN_E_FAIL && TARN_OK == TARN_S_OK, "result codes");

namespace {

std::string FolderOf(const std::string &path)
{
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

TEST(TarnExports, LibraryLoadsFromTheProgramFolder)
{
    const TarnDll &tarn = Tarn();
    ASSERT_NE(nullptr, tarn.module) << "LoadLibraryA(\"libtarn.dll\") failed";
    char program[MAX_PATH] = {0};
    ASSERT_NE(0u, GetModuleFileNameA(nullptr, program, sizeof program - 1));
    /* Anything else would be a stale copy, not the DLL of this build. */
    EXPECT_EQ(FolderOf(program), FolderOf(tarn.path)) << "loaded " << tarn.path;
}

TEST(TarnExports, EveryOperationResolvesUnderItsOwnName)
{
    const TarnDll &tarn = Tarn();
    ASSERT_NE(nullptr, tarn.module);
    EXPECT_EQ("", tarn.missing) << "missing from the export table of " << tarn.path;

    /* A misspelt alias in the export list would make two names one function. */
    std::set<FARPROC> addresses;
    for (const char *name : TARN_EXPORT_NAMES) {
        FARPROC proc = GetProcAddress(tarn.module, name);
        if (proc != nullptr) {
            EXPECT_TRUE(addresses.insert(proc).second) << name << " shares another export's code";
        }
    }
}

/* The entry points besides the item-file operations, called once each
 * through their pointers; installing the hook is left to the program's tests. */
TEST(TarnExports, EntryPointsAnswerThroughTheirPointers)
{
    const TarnDll &tarn = Tarn();
    ASSERT_TRUE(tarn.BetalLibMain && tarn.Win32_UninstallClipboardHook && tarn.DllGetVersion);

    for (uint32_t reason : {0u, 1u, 2u, 3u}) {
        const uint32_t record[4] = {16, 0, reason, 0};
        EXPECT_EQ(0, tarn.BetalLibMain(nullptr, nullptr, nullptr, record)) << reason;
    }
    EXPECT_EQ(1, tarn.Win32_UninstallClipboardHook()) << "no hook was installed";

    union {
        DLLVERSIONINFO2 info2;
        unsigned char bytes[40];
    } record;
    memset(&record, 0xCC, sizeof record);
    record.info2.info1.cbSize = sizeof(DLLVERSIONINFO);
    ASSERT_EQ(S_OK, tarn.DllGetVersion(&record.info2.info1));
    EXPECT_EQ(1u, record.info2.info1.dwMajorVersion);
    EXPECT_EQ(0u, record.info2.info1.dwMinorVersion);
    EXPECT_EQ(0u, record.info2.info1.dwBuildNumber);
    EXPECT_EQ((DWORD)DLLVER_PLATFORM_WINDOWS, record.info2.info1.dwPlatformID);
    for (size_t i = sizeof(DLLVERSIONINFO); i < sizeof record; ++i)
        ASSERT_EQ(0xCC, record.bytes[i]) << "byte " << i << " after the short record";

    memset(&record, 0xCC, sizeof record);
    record.info2.info1.cbSize = sizeof(DLLVERSIONINFO2);
    ASSERT_EQ(S_OK, tarn.DllGetVersion(&record.info2.info1));
    EXPECT_EQ(0u, record.info2.dwFlags);
    EXPECT_EQ(0x0001000000000000ull, record.info2.ullVersion);

    memset(&record, 0xCC, sizeof record);
    record.info2.info1.cbSize = 24;
    EXPECT_EQ(E_INVALIDARG, tarn.DllGetVersion(&record.info2.info1));
    for (size_t i = 4; i < sizeof record; ++i)
        ASSERT_EQ(0xCC, record.bytes[i]) << "byte " << i << " of a refused record";
}

} // namespace
