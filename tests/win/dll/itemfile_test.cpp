/*
 * itemfile_test.cpp: creating, appending to and reading back item files
 * through libtarn.dll, on real files opened by this program's C runtime.
 */
#include "tarn_dll.h"

#include <fcntl.h>
#include <io.h>
#include <limits.h>
#include <string.h>

namespace {

const unsigned char ROOM_ABC[16] = {0x52, 0x4F, 0x4F, 0x4D, 0x01, 0x00, 0x00, 0x00,
                                    0x20, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00};

const char SIGN_TEXT[] = ".Tarn's Clipboard.";
const unsigned char GUID_BYTES[16] = {0xF7, 0x3E, 0x92, 0x5E, 0x61, 0xC5, 0x90, 0x4E,
                                      0xBE, 0x30, 0xE2, 0x51, 0x05, 0xA4, 0x84, 0x69};

bool Contains(const Bytes &bytes, size_t from, size_t to, const void *needle, size_t size)
{
    const unsigned char *n = static_cast<const unsigned char *>(needle);
    for (size_t i = from; i + size <= to && i + size <= bytes.size(); ++i)
        if (memcmp(bytes.data() + i, n, size) == 0)
            return true;
    return false;
}

UINT HtmlFormat()
{
    UINT format = RegisterClipboardFormatA("HTML Format");
    EXPECT_NE(0u, format);
    return format;
}

class ItemFile : public TarnFileTest {};

TEST_F(ItemFile, NewFileIsExactlyItsHeaderArea)
{
    FILE *stream = NewItemFile("new");
    ASSERT_NE(nullptr, stream);
    /* The library wrote through this program's FILE: its position is
     * where the library's last write, the zero fill, ended. */
    EXPECT_EQ(256, ftell(stream));
    EXPECT_EQ(TARN_OK, tarn.CloseClipboardFile(stream));
    ASSERT_EQ(0, fflush(stream));

    Bytes bytes = DiskBytes(PathOf("new"));
    ASSERT_EQ(256u, bytes.size());
    EXPECT_EQ(0, memcmp(bytes.data(), "CLIPBOOK", 8));
    EXPECT_EQ(0u, ReadU32(bytes, 8)) << "itemCount";
    EXPECT_EQ(256u, ReadU32(bytes, 12)) << "headerSize";
    /* The directory tree is at least 177 bytes, at most 240, so the sign and
     * the guid lie inside it and the last 16 bytes are zero fill. */
    EXPECT_TRUE(Contains(bytes, 16, 256, SIGN_TEXT, 18));
    EXPECT_TRUE(Contains(bytes, 16, 256, GUID_BYTES, 16));
    EXPECT_TRUE(Bytes(bytes.begin() + 240, bytes.end()) == Bytes(16, 0));
    EXPECT_EQ(0u, ItemCount(stream));
}

TEST_F(ItemFile, TextEntryAppendsOneRoomAfterTheHeaderArea)
{
    FILE *stream = NewItemFile("text");
    ASSERT_NE(nullptr, stream);
    Bytes created = StreamBytes(stream);
    ASSERT_EQ(256u, created.size());

    EXPECT_EQ(0, INSERT_ENTRY(stream, CF_TEXT, "", Bytes({0x61, 0x62, 0x63, 0x00})));
    ASSERT_EQ(0, fflush(stream));

    Bytes bytes = DiskBytes(PathOf("text"));
    ASSERT_EQ(288u, bytes.size());
    EXPECT_EQ(1u, ReadU32(bytes, 8)) << "itemCount";
    EXPECT_EQ(256u, ReadU32(bytes, 12)) << "headerSize";
    /* An unnamed entry leaves the tree and its zero fill as they were. */
    EXPECT_TRUE(Bytes(bytes.begin() + 16, bytes.begin() + 256) ==
                Bytes(created.begin() + 16, created.end()));
    EXPECT_TRUE(Bytes(bytes.begin() + 256, bytes.begin() + 272) ==
                Bytes(ROOM_ABC, ROOM_ABC + 16));
    EXPECT_TRUE(Bytes(bytes.begin() + 272, bytes.begin() + 276) ==
                Bytes({0x61, 0x62, 0x63, 0x00}));
    EXPECT_TRUE(Bytes(bytes.begin() + 276, bytes.end()) == Bytes(12, 0));
}

TEST_F(ItemFile, TextAndNamedEntriesAnswerTheirOwnQueries)
{
    const Bytes text = TextBytes("clipboard text");
    const Bytes html = TextBytes("Version:0.9\r\nStartHTML:-1\r\n<b>bold</b>");
    UINT htmlFormat = HtmlFormat();

    FILE *stream = NewItemFile("html");
    ASSERT_NE(nullptr, stream);
    EXPECT_EQ(0, INSERT_ENTRY(stream, CF_TEXT, "", text));
    EXPECT_EQ(1, INSERT_ENTRY(stream, htmlFormat, "HTML Format", html));
    EXPECT_EQ(2u, ItemCount(stream));
    EXPECT_ENTRY(stream, 0, CF_TEXT, "", text);
    EXPECT_ENTRY(stream, 1, 0, "HTML Format", html);
    Close(stream);

    /* The same answers from the file on disk, as a restore opens it. */
    FILE *again = Open("html", "r+b");
    ASSERT_NE(nullptr, again);
    EXPECT_EQ(2u, ItemCount(again));
    EXPECT_ENTRY(again, 0, CF_TEXT, "", text);
    EXPECT_ENTRY(again, 1, 0, "HTML Format", html);
}

TEST_F(ItemFile, FormatNameReadStaysInsideTheGivenSize)
{
    FILE *stream = NewItemFile("name");
    ASSERT_NE(nullptr, stream);
    INSERT_ENTRY(stream, HtmlFormat(), "HTML Format", TextBytes("<p>"));
    for (int32_t size : {0, 1, 4, 10}) {
        SCOPED_TRACE(size);
        char buffer[64];
        memset(buffer, 0, sizeof buffer);
        /* What a short buffer gets is the tree store's business; where it
         * lands is not. */
        if (tarn.GetClipbordFileItemFormatName(stream, 0, buffer, size) == TARN_OK) {
            EXPECT_EQ(0, memcmp(buffer, "HTML Format", (size_t)size));
        }
        for (size_t i = (size_t)size; i < sizeof buffer; ++i)
            ASSERT_EQ(0, buffer[i]) << "byte " << i << " written past the size";
    }
}

TEST_F(ItemFile, RoomSizeFollowsTheDataLength)
{
    static const struct {
        size_t dataLength;
        long roomSize;
    } cases[] = {{1, 32}, {15, 32}, {16, 32}, {17, 48}, {32, 48}, {33, 64}, {100, 128}};

    FILE *stream = NewItemFile("sizes");
    ASSERT_NE(nullptr, stream);
    long end = 256;
    int32_t index = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.dataLength);
        Bytes data = PatternBytes(c.dataLength, (unsigned)c.dataLength);
        EXPECT_EQ(index, INSERT_ENTRY(stream, CF_DIB, "", data));
        end += c.roomSize;
        Bytes bytes = StreamBytes(stream);
        EXPECT_EQ((size_t)end, bytes.size());
        EXPECT_EQ((uint32_t)c.roomSize, ReadU32(bytes, (size_t)(end - c.roomSize) + 8));
        EXPECT_TRUE(Bytes(bytes.begin() + (end - c.roomSize) + 16 + (long)c.dataLength,
                          bytes.end()) == Bytes((size_t)c.roomSize - 16 - c.dataLength, 0))
            << "room padding is not zero";
        ++index;
    }
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
        EXPECT_ENTRY(stream, (int32_t)i, CF_DIB, "",
                     PatternBytes(cases[i].dataLength, (unsigned)cases[i].dataLength));
}

TEST_F(ItemFile, EmptyInsertFailsAndTheNextInsertTakesItsIndex)
{
    FILE *stream = NewItemFile("empty");
    ASSERT_NE(nullptr, stream);
    const Bytes first = TextBytes("first");
    const Bytes second = WideBytes(L"second");
    EXPECT_EQ(0, INSERT_ENTRY(stream, CF_TEXT, "", first));
    const Bytes before = StreamBytes(stream);

    const char nothing[1] = {0};
    int32_t index = -7;
    EXPECT_EQ(TARN_FAIL, tarn.InsertClipboardItem(stream, CF_TEXT, "", nothing, 0, &index));
    EXPECT_EQ(-7, index) << "a failed insert reported an index";
    EXPECT_EQ(1u, ItemCount(stream));
    /* A named one too: its name must not reach the stored tree. */
    EXPECT_EQ(TARN_FAIL, tarn.InsertClipboardItem(stream, 0xC100, "Rich Text Format", nothing,
                                                  0, &index));
    EXPECT_EQ(1u, ItemCount(stream));
    /* Only a stray room header past the last room may have been written;
     * header, tree and counted rooms are as they were. */
    Bytes after = StreamBytes(stream);
    ASSERT_GE(after.size(), before.size());
    EXPECT_TRUE(Bytes(after.begin(), after.begin() + (long)before.size()) == before);

    EXPECT_EQ(1, INSERT_ENTRY(stream, CF_UNICODETEXT, "", second));
    EXPECT_EQ(2u, ItemCount(stream));
    EXPECT_ENTRY(stream, 0, CF_TEXT, "", first);
    EXPECT_ENTRY(stream, 1, CF_UNICODETEXT, "", second);
    /* The good insert wrote over what the failed one left behind. */
    EXPECT_EQ(256u + 32 + 32, StreamBytes(stream).size());
}

TEST_F(ItemFile, LoadNeedsRoomForTheWholeData)
{
    FILE *stream = NewItemFile("load");
    ASSERT_NE(nullptr, stream);
    const Bytes data = PatternBytes(17, 5);
    INSERT_ENTRY(stream, CF_DIB, "", data);

    Bytes buffer(64, 0xCC);
    EXPECT_EQ(TARN_FAIL, tarn.LoadClipboardFileItem(stream, 0, buffer.data(), 16));
    EXPECT_TRUE(buffer == Bytes(64, 0xCC));
    EXPECT_EQ(TARN_FAIL, tarn.LoadClipboardFileItem(stream, 0, buffer.data(), 0));
    EXPECT_EQ(TARN_OK, tarn.LoadClipboardFileItem(stream, 0, buffer.data(), 17));
    EXPECT_TRUE(Bytes(buffer.begin(), buffer.begin() + 17) == data);
    /* A larger buffer takes the data and nothing more. */
    buffer.assign(64, 0xCC);
    EXPECT_EQ(TARN_OK, tarn.LoadClipboardFileItem(stream, 0, buffer.data(), 64));
    EXPECT_TRUE(Bytes(buffer.begin(), buffer.begin() + 17) == data);
    EXPECT_TRUE(Bytes(buffer.begin() + 17, buffer.end()) == Bytes(47, 0xCC));
}

TEST_F(ItemFile, IndexesOutsideTheEntriesFail)
{
    FILE *stream = NewItemFile("range");
    ASSERT_NE(nullptr, stream);
    char buffer[256];
    uint32_t value = 0;
    EXPECT_EQ(TARN_FAIL, tarn.GetClipboardFileItemSize(stream, 0, &value)) << "empty file";
    EXPECT_EQ(TARN_FAIL, tarn.GetClipbordFileItemBaseFormat(stream, 0, &value)) << "empty file";

    INSERT_ENTRY(stream, CF_TEXT, "", TextBytes("zero"));
    INSERT_ENTRY(stream, HtmlFormat(), "HTML Format", TextBytes("<i>one</i>"));
    for (int32_t index : {2, 3, -1, -2, 0xFFFF, 0x10000, INT_MAX, INT_MIN}) {
        SCOPED_TRACE(index);
        memset(buffer, 0, sizeof buffer);
        EXPECT_EQ(TARN_FAIL, tarn.GetClipbordFileItemBaseFormat(stream, index, &value));
        EXPECT_EQ(TARN_FAIL, tarn.GetClipbordFileItemFormatName(stream, index, buffer, 255));
        EXPECT_EQ(TARN_FAIL, tarn.GetClipboardFileItemSize(stream, index, &value));
        EXPECT_EQ(TARN_FAIL, tarn.LoadClipboardFileItem(stream, index, buffer, sizeof buffer));
        EXPECT_EQ(TARN_FAIL, tarn.LoadClipboardFileItemPart(stream, index, 0, buffer, 1));
    }
    EXPECT_ENTRY(stream, 1, 0, "HTML Format", TextBytes("<i>one</i>"));
}

TEST_F(ItemFile, HeaderAreaGrowthCarriesEveryRoomAlong)
{
    FILE *stream = NewItemFile("grow");
    ASSERT_NE(nullptr, stream);

    struct Entry {
        uint32_t format;
        std::string name;
        Bytes data;
    };
    std::vector<Entry> entries;
    /* Larger than the 4096-byte pieces the rooms move in. */
    entries.push_back({CF_DIB, "", PatternBytes(10000, 1)});
    EXPECT_EQ(0, INSERT_ENTRY(stream, CF_DIB, "", entries[0].data));

    uint32_t headerSize = 256;
    int growths = 0;
    for (int k = 1; k < 200 && headerSize < 1024; ++k) {
        Entry entry;
        if (k % 3 == 0) {
            entry = {CF_TEXT, "", PatternBytes((size_t)k * 7 % 40 + 1, (unsigned)k)};
        } else {
            char name[64];
            snprintf(name, sizeof name, "Clipdock Test Format Number %03d", k);
            entry = {0xC000u + (uint32_t)k, name,
                     PatternBytes((size_t)k * 13 % 90 + 1, (unsigned)k)};
        }
        entries.push_back(entry);
        SCOPED_TRACE("insert " + std::to_string(k));
        ASSERT_EQ(k, INSERT_ENTRY(stream, entry.format, entry.name.c_str(), entry.data));

        Bytes bytes = StreamBytes(stream);
        uint32_t now = ReadU32(bytes, 12);
        ASSERT_EQ(0u, now % 64) << "headerSize " << now;
        ASSERT_GE(now, headerSize) << "the tree only grew, the header area shrank";
        /* No insert failed and no area shrank, so nothing lies past the rooms. */
        uint64_t end = now;
        for (int i = 0; i <= k; ++i) {
            ASSERT_LE(end + 16, bytes.size()) << "room " << i;
            ASSERT_EQ(0, memcmp(bytes.data() + end, "ROOM", 4)) << "room " << i;
            ASSERT_EQ((uint16_t)i, ReadU16(bytes, (size_t)end + 6)) << "room " << i;
            end += ReadU32(bytes, (size_t)end + 8);
        }
        ASSERT_EQ(end, bytes.size());
        if (now != headerSize) {
            ++growths;
            headerSize = now;
            /* The insert that grew the area moved its own new room too. */
            for (size_t i = 0; i < entries.size(); ++i)
                EXPECT_ENTRY(stream, (int32_t)i, entries[i].format, entries[i].name.c_str(),
                             entries[i].data);
        }
    }
    ASSERT_GE(headerSize, 1024u);
    EXPECT_GE(growths, 3);
    Close(stream);

    FILE *again = Open("grow", "r+b");
    ASSERT_NE(nullptr, again);
    EXPECT_EQ(entries.size(), ItemCount(again));
    for (size_t i = 0; i < entries.size(); ++i)
        EXPECT_ENTRY(again, (int32_t)i, entries[i].format, entries[i].name.c_str(),
                     entries[i].data);

    /* A disk that takes no more bytes while the rooms move: every write
     * lands in the stream's buffer, the seeks' flushes fail, and the insert
     * must not report the item written. */
    FILE *small = NewItemFile("refused");
    ASSERT_NE(nullptr, small);
    INSERT_ENTRY(small, CF_TEXT, "", TextBytes("kept"));
    Close(small);
    Bytes before = DiskBytes(PathOf("refused"));
    HANDLE readOnly = CreateFileA(PathOf("refused").c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, readOnly);
    FILE *full = _fdopen(_open_osfhandle((intptr_t)readOnly, _O_BINARY), "r+b");
    ASSERT_NE(nullptr, full);
    std::string growing(200, 'g');
    Bytes lost = TextBytes("lost");
    EXPECT_EQ(TARN_FAIL, tarn.InsertClipboardItem(full, 0xC0FF, growing.c_str(), lost.data(),
                                                  (int32_t)lost.size(), nullptr));
    fclose(full);
    EXPECT_TRUE(DiskBytes(PathOf("refused")) == before);
}

TEST_F(ItemFile, StreamsThatAreNoItemFilesAreRefused)
{
    Bytes good;
    {
        FILE *stream = NewItemFile("model");
        ASSERT_NE(nullptr, stream);
        INSERT_ENTRY(stream, CF_TEXT, "", TextBytes("abc"));
        good = StreamBytes(stream);
        ASSERT_EQ(288u, good.size());
    }
    Bytes text(300, 'x');
    memcpy(text.data(), "This is a text file, not an item file.", 38);
    Bytes lowerMagic = good;
    memcpy(lowerMagic.data(), "clipbook", 8);
    Bytes shortHeader(good.begin(), good.begin() + 12);

    static const char *const names[] = {"empty", "text", "magic", "short"};
    const Bytes contents[] = {Bytes(), text, lowerMagic, shortHeader};
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(names[i]);
        FILE *stream = RawFile(names[i], contents[i]);
        ASSERT_NE(nullptr, stream);
        char buffer[256] = {0};
        uint32_t value = 0;
        int32_t index = -7;
        EXPECT_EQ(TARN_FAIL, tarn.GetClipbordFileItemsCount(stream, &value));
        EXPECT_EQ(TARN_FAIL, tarn.GetClipbordFileItemBaseFormat(stream, 0, &value));
        EXPECT_EQ(TARN_FAIL, tarn.GetClipbordFileItemFormatName(stream, 0, buffer, 255));
        EXPECT_EQ(TARN_FAIL, tarn.GetClipboardFileItemSize(stream, 0, &value));
        EXPECT_EQ(TARN_FAIL, tarn.LoadClipboardFileItem(stream, 0, buffer, sizeof buffer));
        EXPECT_EQ(TARN_FAIL, tarn.InsertClipboardItem(stream, CF_TEXT, "", "abc", 4, &index));
        EXPECT_EQ(-7, index);
        EXPECT_EQ(TARN_OK, tarn.CloseClipboardFile(stream));
        EXPECT_TRUE(StreamBytes(stream) == contents[i]) << "a refused stream was written";
    }
}

TEST_F(ItemFile, HeaderSizeOutsideItsBoundsIsRefused)
{
    FILE *model = NewItemFile("model");
    ASSERT_NE(nullptr, model);
    const Bytes good = StreamBytes(model);
    ASSERT_EQ(256u, good.size());

    for (uint32_t headerSize : {0u, 16u, 32u, 48u, 100u, 16448u, 65536u, 65600u, 0xFFFFFFC0u}) {
        SCOPED_TRACE(headerSize);
        Bytes bytes = good;
        bytes.resize(70000, 0);
        for (int b = 0; b < 4; ++b)
            bytes[12 + b] = (unsigned char)(headerSize >> (8 * b));
        FILE *stream = RawFile(("bad" + std::to_string(headerSize)).c_str(), bytes);
        ASSERT_NE(nullptr, stream);
        EXPECT_EQ(UINT32_MAX, ItemCount(stream));
        EXPECT_EQ(TARN_FAIL, tarn.InsertClipboardItem(stream, CF_TEXT, "", "abc", 4, nullptr));
        Close(stream);
    }

    /* The largest accepted area: the tree followed by zeros up to 16384. */
    Bytes bytes = good;
    bytes.resize(16384, 0);
    bytes[12] = 0x00;
    bytes[13] = 0x40;
    FILE *stream = RawFile("largest", bytes);
    ASSERT_NE(nullptr, stream);
    EXPECT_EQ(0u, ItemCount(stream));
    const Bytes data = TextBytes("after a large header area");
    EXPECT_EQ(0, INSERT_ENTRY(stream, CF_TEXT, "", data));
    /* The commit shrank the area back to what the tree needs and moved the
     * room down; the stream keeps its length, the tail is left over. */
    Bytes after = StreamBytes(stream);
    EXPECT_EQ(256u, ReadU32(after, 12));
    EXPECT_EQ(16384u + 48, after.size());
    EXPECT_ENTRY(stream, 0, CF_TEXT, "", data);
    EXPECT_EQ(1, INSERT_ENTRY(stream, CF_TEXT, "", data));
    EXPECT_ENTRY(stream, 0, CF_TEXT, "", data);
    EXPECT_ENTRY(stream, 1, CF_TEXT, "", data);
}

TEST_F(ItemFile, NullArgumentsFailWithoutTouchingTheFile)
{
    FILE *stream = NewItemFile("null");
    ASSERT_NE(nullptr, stream);
    const Bytes data = TextBytes("kept");
    INSERT_ENTRY(stream, CF_TEXT, "", data);
    const Bytes before = StreamBytes(stream);
    char buffer[256] = {0};
    uint32_t value = 0;
    int32_t index = -7;

    EXPECT_EQ(TARN_FAIL, tarn.CreateClipboardFile(nullptr));
    EXPECT_EQ(TARN_OK, tarn.CloseClipboardFile(nullptr));
    EXPECT_EQ(TARN_FAIL, tarn.InsertClipboardItem(nullptr, CF_TEXT, "", "abc", 4, &index));
    EXPECT_EQ(TARN_FAIL, tarn.GetClipbordFileItemsCount(nullptr, &value));
    EXPECT_EQ(TARN_FAIL, tarn.GetClipbordFileItemBaseFormat(nullptr, 0, &value));
    EXPECT_EQ(TARN_FAIL, tarn.GetClipbordFileItemFormatName(nullptr, 0, buffer, 255));
    EXPECT_EQ(TARN_FAIL, tarn.GetClipboardFileItemSize(nullptr, 0, &value));
    EXPECT_EQ(TARN_FAIL, tarn.LoadClipboardFileItem(nullptr, 0, buffer, sizeof buffer));
    EXPECT_EQ(TARN_FAIL, tarn.LoadClipboardFileItemPart(nullptr, 0, 0, buffer, 1));

    EXPECT_EQ(TARN_FAIL, tarn.InsertClipboardItem(stream, CF_TEXT, "", "abc", -1, &index));
    EXPECT_EQ(TARN_FAIL, tarn.InsertClipboardItem(stream, CF_TEXT, "", "abc", INT_MIN, &index));
    EXPECT_EQ(TARN_FAIL, tarn.InsertClipboardItem(stream, CF_TEXT, nullptr, "abc", 4, &index));
    EXPECT_EQ(TARN_FAIL, tarn.InsertClipboardItem(stream, CF_TEXT, "", nullptr, 4, &index));
    EXPECT_EQ(-7, index);

    EXPECT_EQ(TARN_FAIL, tarn.GetClipbordFileItemsCount(stream, nullptr));
    EXPECT_EQ(TARN_FAIL, tarn.GetClipbordFileItemBaseFormat(stream, 0, nullptr));
    EXPECT_EQ(TARN_FAIL, tarn.GetClipboardFileItemSize(stream, 0, nullptr));
    EXPECT_EQ(TARN_FAIL, tarn.LoadClipboardFileItem(stream, 0, nullptr, 64));
    EXPECT_EQ(TARN_FAIL, tarn.LoadClipboardFileItemPart(stream, 0, 0, nullptr, 1));
    EXPECT_TRUE(StreamBytes(stream) == before) << "a refused call wrote to the file";

    const Bytes html = TextBytes("<u>");
    INSERT_ENTRY(stream, HtmlFormat(), "HTML Format", html);
    EXPECT_EQ(TARN_FAIL, tarn.GetClipbordFileItemFormatName(stream, 1, nullptr, 255));
    EXPECT_EQ(TARN_FAIL, tarn.GetClipbordFileItemFormatName(stream, 1, buffer, -1));
    EXPECT_EQ(2u, ItemCount(stream));
    EXPECT_ENTRY(stream, 0, CF_TEXT, "", data);
    EXPECT_ENTRY(stream, 1, 0, "HTML Format", html);
}

} // namespace
