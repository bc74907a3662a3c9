/*
 * tarn_dll.cpp: loading libtarn.dll by name and resolving its exports, the
 * private temp folder, the file fixture and the entry helpers.
 */
#include "tarn_dll.h"

#include <string.h>

const char *const TARN_EXPORT_NAMES[14] = {
    "CreateClipboardFile",           "CloseClipboardFile",
    "InsertClipboardItem",           "GetClipbordFileItemsCount",
    "GetClipbordFileItemBaseFormat", "GetClipbordFileItemFormatName",
    "GetClipboardFileItemSize",      "LoadClipboardFileItem",
    "CompareClipboardFiles",         "Win32_InstallClipboardHook",
    "Win32_UninstallClipboardHook",  "DllGetVersion",
    "BetalLibMain",                  "LoadClipboardFileItemPart",
};

namespace {

template <typename Fn>
void Resolve(TarnDll *dll, Fn *slot, const char *name)
{
    FARPROC proc = dll->module != nullptr ? GetProcAddress(dll->module, name) : nullptr;
    if (proc == nullptr) {
        *slot = nullptr;
        dll->missing += name;
        dll->missing += '\n';
        return;
    }
    /* Through the generic function type, which every function type converts to. */
    *slot = reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(proc));
}

TarnDll LoadTarn()
{
    TarnDll dll = {};
    dll.module = LoadLibraryA("libtarn.dll");
    if (dll.module != nullptr) {
        char path[MAX_PATH] = {0};
        GetModuleFileNameA(dll.module, path, sizeof path - 1);
        dll.path = path;
    }
    Resolve(&dll, &dll.CreateClipboardFile, TARN_EXPORT_NAMES[0]);
    Resolve(&dll, &dll.CloseClipboardFile, TARN_EXPORT_NAMES[1]);
    Resolve(&dll, &dll.InsertClipboardItem, TARN_EXPORT_NAMES[2]);
    Resolve(&dll, &dll.GetClipbordFileItemsCount, TARN_EXPORT_NAMES[3]);
    Resolve(&dll, &dll.GetClipbordFileItemBaseFormat, TARN_EXPORT_NAMES[4]);
    Resolve(&dll, &dll.GetClipbordFileItemFormatName, TARN_EXPORT_NAMES[5]);
    Resolve(&dll, &dll.GetClipboardFileItemSize, TARN_EXPORT_NAMES[6]);
    Resolve(&dll, &dll.LoadClipboardFileItem, TARN_EXPORT_NAMES[7]);
    Resolve(&dll, &dll.CompareClipboardFiles, TARN_EXPORT_NAMES[8]);
    Resolve(&dll, &dll.Win32_InstallClipboardHook, TARN_EXPORT_NAMES[9]);
    Resolve(&dll, &dll.Win32_UninstallClipboardHook, TARN_EXPORT_NAMES[10]);
    Resolve(&dll, &dll.DllGetVersion, TARN_EXPORT_NAMES[11]);
    Resolve(&dll, &dll.BetalLibMain, TARN_EXPORT_NAMES[12]);
    Resolve(&dll, &dll.LoadClipboardFileItemPart, TARN_EXPORT_NAMES[13]);
    return dll;
}

/* The folder every test's files live in, made on first use. */
const std::string &TempFolder()
{
    static const std::string folder = [] {
        char base[MAX_PATH] = {0};
        DWORD length = GetTempPathA(sizeof base, base);
        std::string path(base, length < sizeof base ? length : 0);
        path += "clipdock-tarn-dll-" + std::to_string(GetCurrentProcessId()) + "\\";
        CreateDirectoryA(path.c_str(), nullptr);
        return path;
    }();
    return folder;
}

/* Removes the folder once every test has deleted its files. */
class TempFolderEnvironment : public testing::Environment {
public:
    void TearDown() override { RemoveDirectoryA(TempFolder().c_str()); }
};

testing::Environment *const tempFolderEnvironment =
    testing::AddGlobalTestEnvironment(new TempFolderEnvironment);

} // namespace

const TarnDll &Tarn()
{
    static const TarnDll dll = LoadTarn();
    return dll;
}

Bytes TextBytes(const char *text)
{
    return Bytes(text, text + strlen(text) + 1);
}

Bytes WideBytes(const wchar_t *text)
{
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
    return Bytes(p, p + (wcslen(text) + 1) * sizeof(wchar_t));
}

Bytes PatternBytes(size_t n, unsigned seed)
{
    Bytes bytes(n);
    uint32_t state = 2166136261u ^ seed;
    for (size_t i = 0; i < n; ++i) {
        state = state * 16777619u + 0x9E3779B9u;
        bytes[i] = (unsigned char)(state >> 24);
    }
    return bytes;
}

Bytes StreamBytes(FILE *stream)
{
    Bytes bytes;
    if (fflush(stream) != 0 || fseek(stream, 0, SEEK_END) != 0)
        return bytes;
    long length = ftell(stream);
    if (length <= 0 || fseek(stream, 0, SEEK_SET) != 0)
        return bytes;
    bytes.resize((size_t)length);
    bytes.resize(fread(bytes.data(), 1, bytes.size(), stream));
    return bytes;
}

Bytes DiskBytes(const std::string &path)
{
    Bytes bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    DWORD size = GetFileSize(file, nullptr);
    DWORD done = 0;
    if (size != INVALID_FILE_SIZE) {
        bytes.resize(size);
        if (size == 0 || !ReadFile(file, bytes.data(), size, &done, nullptr))
            done = 0;
        bytes.resize(done);
    }
    CloseHandle(file);
    return bytes;
}

uint32_t ReadU32(const Bytes &bytes, size_t offset)
{
    if (offset + 4 > bytes.size())
        return 0xDEADBEEFu;
    return (uint32_t)bytes[offset] | (uint32_t)bytes[offset + 1] << 8 |
           (uint32_t)bytes[offset + 2] << 16 | (uint32_t)bytes[offset + 3] << 24;
}

uint16_t ReadU16(const Bytes &bytes, size_t offset)
{
    if (offset + 2 > bytes.size())
        return 0xBEEF;
    return (uint16_t)(bytes[offset] | bytes[offset + 1] << 8);
}

void PatchStream(FILE *stream, long offset, const void *bytes, size_t size)
{
    ASSERT_EQ(0, fseek(stream, offset, SEEK_SET));
    ASSERT_EQ(size, fwrite(bytes, 1, size, stream));
    ASSERT_EQ(0, fflush(stream));
}

void TarnFileTest::SetUp()
{
    ASSERT_NE(nullptr, tarn.module) << "LoadLibraryA(\"libtarn.dll\") failed, error "
                                    << GetLastError();
    ASSERT_EQ("", tarn.missing) << "not exported by " << tarn.path;
}

void TarnFileTest::TearDown()
{
    for (FILE *stream : streams)
        fclose(stream);
    streams.clear();
    for (const std::string &path : paths)
        DeleteFileA(path.c_str());
    paths.clear();
}

std::string TarnFileTest::PathOf(const char *name) const
{
    const testing::TestInfo *info = testing::UnitTest::GetInstance()->current_test_info();
    return TempFolder() + info->test_suite_name() + "." + info->name() + "." + name + ".crx";
}

FILE *TarnFileTest::Open(const char *name, const char *mode)
{
    std::string path = PathOf(name);
    FILE *stream = fopen(path.c_str(), mode);
    EXPECT_NE(nullptr, stream) << "fopen(\"" << path << "\", \"" << mode << "\")";
    if (stream != nullptr)
        streams.push_back(stream);
    bool known = false;
    for (const std::string &p : paths)
        known = known || p == path;
    if (!known)
        paths.push_back(path);
    return stream;
}

FILE *TarnFileTest::NewItemFile(const char *name)
{
    FILE *stream = Open(name, "w+b");
    if (stream != nullptr) {
        EXPECT_EQ(TARN_OK, tarn.CreateClipboardFile(stream)) << "CreateClipboardFile " << name;
    }
    return stream;
}

FILE *TarnFileTest::RawFile(const char *name, const Bytes &bytes)
{
    FILE *stream = Open(name, "w+b");
    if (stream != nullptr) {
        if (!bytes.empty()) {
            EXPECT_EQ(bytes.size(), fwrite(bytes.data(), 1, bytes.size(), stream));
        }
        EXPECT_EQ(0, fflush(stream));
        EXPECT_EQ(0, fseek(stream, 0, SEEK_SET));
    }
    return stream;
}

void TarnFileTest::Close(FILE *stream)
{
    for (size_t i = 0; i < streams.size(); ++i) {
        if (streams[i] == stream) {
            fclose(stream);
            streams.erase(streams.begin() + (long)i);
            return;
        }
    }
    ADD_FAILURE() << "Close of a stream this test did not open";
}

int32_t InsertEntry(const char *file, int line, FILE *stream, uint32_t format,
                    const char *name, const Bytes &data)
{
    testing::ScopedTrace trace(file, line, std::string("insert \"") + name + "\"");
    int32_t index = -1;
    EXPECT_EQ(TARN_OK, Tarn().InsertClipboardItem(stream, format, name, data.data(),
                                                  (int32_t)data.size(), &index));
    return index;
}

void ExpectEntry(const char *file, int line, FILE *stream, int32_t index, uint32_t format,
                 const char *name, const Bytes &data)
{
    testing::ScopedTrace trace(file, line, "entry " + std::to_string(index));
    const TarnDll &tarn = Tarn();

    uint32_t baseFormat = 0xDEADBEEFu;
    char nameBuffer[256];
    memset(nameBuffer, 0, sizeof nameBuffer);
    int32_t nameResult = tarn.GetClipbordFileItemFormatName(stream, index, nameBuffer, 255);
    int32_t formatResult = tarn.GetClipbordFileItemBaseFormat(stream, index, &baseFormat);
    if (name[0] == '\0') {
        EXPECT_EQ(TARN_OK, formatResult);
        EXPECT_EQ(format, baseFormat);
        EXPECT_EQ(TARN_FAIL, nameResult) << "an unnamed entry has no name";
    } else {
        EXPECT_EQ(TARN_FAIL, formatResult) << "a named entry has no base format";
        EXPECT_EQ(TARN_OK, nameResult);
        EXPECT_STREQ(name, nameBuffer);
    }

    uint32_t size = 0xDEADBEEFu;
    EXPECT_EQ(TARN_OK, tarn.GetClipboardFileItemSize(stream, index, &size));
    EXPECT_EQ(data.size(), size);

    Bytes loaded(data.size(), 0xCC);
    EXPECT_EQ(TARN_OK, tarn.LoadClipboardFileItem(stream, index, loaded.data(),
                                                  (uint32_t)loaded.size()));
    EXPECT_TRUE(loaded == data) << "the data read back differs";

    /* One byte short is refused before anything is copied: not a byte of
     * the buffer, nor of the guard after it, may change. */
    Bytes shortBuffer(data.size() + 16, 0xCC);
    EXPECT_EQ(TARN_FAIL, tarn.LoadClipboardFileItem(stream, index, shortBuffer.data(),
                                                    (uint32_t)data.size() - 1));
    EXPECT_TRUE(shortBuffer == Bytes(data.size() + 16, 0xCC))
        << "a refused load wrote into the buffer";

    /* The same data in two parts, split in its middle; a part one byte past
     * the end is refused as whole loads are. */
    const uint32_t half = (uint32_t)data.size() / 2, rest = (uint32_t)data.size() - half;
    Bytes parts(data.size(), 0xCC);
    if (half > 0) {
        EXPECT_EQ(TARN_OK, tarn.LoadClipboardFileItemPart(stream, index, 0, parts.data(), half));
    }
    EXPECT_EQ(TARN_OK,
              tarn.LoadClipboardFileItemPart(stream, index, half, parts.data() + half, rest));
    EXPECT_TRUE(parts == data) << "the data read in parts differs";
    shortBuffer.assign(data.size() + 16, 0xCC);
    EXPECT_EQ(TARN_FAIL, tarn.LoadClipboardFileItemPart(stream, index, half, shortBuffer.data(),
                                                        rest + 1));
    EXPECT_TRUE(shortBuffer == Bytes(data.size() + 16, 0xCC))
        << "a refused part wrote into the buffer";
}

uint32_t ItemCount(FILE *stream)
{
    uint32_t count = 0xDEADBEEFu;
    if (Tarn().GetClipbordFileItemsCount(stream, &count) != TARN_OK)
        return UINT32_MAX;
    return count;
}
