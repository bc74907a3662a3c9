// Item-file layout and the exported operations on it: the bytes a new file
// and a first insert produce, room sizes, headerSize bounds, header areas
// that grow and shrink, queries, argument checks and hostile files.
#include <gtest/gtest.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bxml.h"
#include "libtarn.h"

namespace {

typedef std::vector<unsigned char> Bytes;

const uint32_t CF_TEXT = 1;
const uint32_t CF_OEMTEXT = 7;
const uint32_t CF_UNICODETEXT = 13;
const uint32_t HTML_FORMAT = 0xC0A1; // a registered format number

// A temporary stream that closes itself.
struct Stream {
    FILE *file;
    Stream() : file(tmpfile()) {}
    explicit Stream(const Bytes &content) : file(tmpfile())
    {
        if (file != nullptr && !content.empty())
            fwrite(content.data(), 1, content.size(), file);
    }
    ~Stream()
    {
        if (file != nullptr)
            fclose(file);
    }
    Stream(const Stream &) = delete;
    Stream &operator=(const Stream &) = delete;
};

Bytes ReadAll(FILE *file)
{
    Bytes content;
    fflush(file);
    fseek(file, 0, SEEK_END);
    long length = ftell(file);
    content.resize((size_t)length);
    fseek(file, 0, SEEK_SET);
    if (length > 0 && fread(content.data(), 1, content.size(), file) != content.size())
        content.clear();
    return content;
}

uint32_t U32At(const Bytes &b, size_t offset)
{
    return (uint32_t)b[offset] | (uint32_t)b[offset + 1] << 8 | (uint32_t)b[offset + 2] << 16 |
           (uint32_t)b[offset + 3] << 24;
}

void PutU32(Bytes &b, size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        b[offset + i] = (unsigned char)(value >> (8 * i));
}

// "52 4F 4F 4D ..." to bytes; anything but hex digits separates.
Bytes Hex(const char *text)
{
    Bytes out;
    int high = -1;
    for (const char *p = text; *p; ++p) {
        int digit;
        if (*p >= '0' && *p <= '9')
            digit = *p - '0';
        else if (*p >= 'A' && *p <= 'F')
            digit = *p - 'A' + 10;
        else if (*p >= 'a' && *p <= 'f')
            digit = *p - 'a' + 10;
        else
            continue;
        if (high < 0) {
            high = digit;
        } else {
            out.push_back((unsigned char)(high << 4 | digit));
            high = -1;
        }
    }
    return out;
}

// The serialised form of the tree a new item file must carry, built
// independently through the tree store.
Bytes NewFileTree()
{
    static unsigned char buffer[16384];
    static const char sign[] = ".Tarn's Clipboard.";
    static const unsigned char guid[16] = {0xF7, 0x3E, 0x92, 0x5E, 0x61, 0xC5, 0x90, 0x4E,
                                           0xBE, 0x30, 0xE2, 0x51, 0x05, 0xA4, 0x84, 0x69};
    bxml_tree tree;
    uint32_t head, node;
    const void *data = nullptr;
    int32_t length = 0;
    Bytes out;
    if (bxml_new(&tree, buffer, sizeof buffer, 0) < 0)
        return out;
    if (bxml_add_node(&tree, 0, 0, &head, "head", 4, nullptr, 0) >= 0 &&
        bxml_add_node(&tree, head, 0, &node, "sign", 4, sign, 18) >= 0 &&
        bxml_add_node(&tree, head, 0, &node, "guid", 4, guid, 16) >= 0 &&
        bxml_add_node(&tree, 0, 0, &node, "body", 4, nullptr, 0) >= 0 &&
        bxml_save(&tree, &data, &length) >= 0)
        out.assign((const unsigned char *)data, (const unsigned char *)data + length);
    bxml_free(&tree);
    return out;
}

// An item file made by hand: header, tree and zero fill up to headerSize.
Bytes HandMadeFile(uint32_t itemCount, uint32_t headerSize, const Bytes &tree, size_t areaEnd)
{
    Bytes file(areaEnd, 0);
    memcpy(file.data(), "CLIPBOOK", 8);
    PutU32(file, 8, itemCount);
    PutU32(file, 12, headerSize);
    if (!tree.empty())
        memcpy(file.data() + 16, tree.data(), std::min(tree.size(), areaEnd - 16));
    return file;
}

Bytes EmptyTree()
{
    static unsigned char buffer[16384];
    bxml_tree tree;
    const void *data = nullptr;
    int32_t length = 0;
    Bytes out;
    if (bxml_new(&tree, buffer, sizeof buffer, 0) >= 0 && bxml_save(&tree, &data, &length) >= 0)
        out.assign((const unsigned char *)data, (const unsigned char *)data + length);
    bxml_free(&tree);
    return out;
}

Bytes Pattern(size_t length, unsigned seed)
{
    Bytes data(length);
    for (size_t i = 0; i < length; ++i)
        data[i] = (unsigned char)(seed * 31 + i * 7 + (i >> 8));
    return data;
}

int32_t Insert(FILE *file, uint32_t format, const char *name, const Bytes &data,
               int32_t *index = nullptr)
{
    return InsertClipboardItem(file, format, name, data.data(), (int32_t)data.size(), index);
}

// Reads entry index back through the size and load operations.
Bytes LoadEntry(FILE *file, int32_t index)
{
    uint32_t size = 0;
    if (GetClipboardFileItemSize(file, index, &size) < 0)
        return Bytes();
    Bytes data(size);
    if (LoadClipboardFileItem(file, index, data.data(), size) < 0)
        return Bytes();
    return data;
}

std::string EntryName(FILE *file, int32_t index)
{
    char name[256] = {0};
    if (GetClipbordFileItemFormatName(file, index, name, 255) < 0)
        return "<fail>";
    return name;
}

uint32_t Count(FILE *file)
{
    uint32_t count = 0xDEADBEEF;
    EXPECT_EQ(TARN_S_OK, GetClipbordFileItemsCount(file, &count));
    return count;
}

class NewItemFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(nullptr, stream.file);
        ASSERT_EQ(TARN_S_OK, CreateClipboardFile(stream.file));
    }
    Stream stream;
};

// ---------------------------------------------------------------- layout

TEST(ItemFileLayout, NewFileIsHeaderTreeAndZeroFill)
{
    Stream stream;
    ASSERT_EQ(TARN_S_OK, CreateClipboardFile(stream.file));
    Bytes file = ReadAll(stream.file);
    Bytes tree = NewFileTree();
    ASSERT_FALSE(tree.empty());

    ASSERT_EQ(256u, file.size());
    EXPECT_EQ(0, memcmp(file.data(), "CLIPBOOK", 8));
    EXPECT_EQ(0u, U32At(file, 8));
    EXPECT_EQ(256u, U32At(file, 12));
    ASSERT_LE(16 + tree.size(), 256u);
    EXPECT_GT(16 + tree.size(), 192u) << "a smaller tree would give a smaller header area";
    EXPECT_EQ(tree, Bytes(file.begin() + 16, file.begin() + 16 + tree.size()));
    for (size_t i = 16 + tree.size(); i < file.size(); ++i)
        ASSERT_EQ(0, file[i]) << "zero fill at " << i;
    EXPECT_EQ(0u, Count(stream.file));
}

TEST(ItemFileLayout, OneTextInsertAddsOneRoomAndKeepsTheTree)
{
    Stream stream;
    ASSERT_EQ(TARN_S_OK, CreateClipboardFile(stream.file));
    Bytes before = ReadAll(stream.file);
    int32_t index = -7;
    ASSERT_EQ(TARN_S_OK, Insert(stream.file, CF_TEXT, "", Hex("61 62 63 00"), &index));
    EXPECT_EQ(0, index);

    Bytes file = ReadAll(stream.file);
    ASSERT_EQ(288u, file.size());
    EXPECT_EQ(1u, U32At(file, 8));
    EXPECT_EQ(256u, U32At(file, 12));
    EXPECT_EQ(Bytes(before.begin() + 16, before.end()), Bytes(file.begin() + 16, file.begin() + 256));
    Bytes room = Hex("52 4F 4F 4D 01 00 00 00 20 00 00 00 04 00 00 00"
                     "61 62 63 00 00 00 00 00 00 00 00 00 00 00 00 00");
    EXPECT_EQ(room, Bytes(file.begin() + 256, file.end()));
}

TEST(ItemFileLayout, RoomSizeIsDataPlusHeaderRoundedToSixteen)
{
    struct {
        size_t dataLength;
        uint32_t roomSize;
    } cases[] = {{1, 32}, {15, 32}, {16, 32}, {17, 48}, {32, 48}, {33, 64}, {4096, 4112}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.dataLength);
        Stream stream;
        ASSERT_EQ(TARN_S_OK, CreateClipboardFile(stream.file));
        Bytes first = Pattern(c.dataLength, 1);
        ASSERT_EQ(TARN_S_OK, Insert(stream.file, CF_TEXT, "", first));
        ASSERT_EQ(TARN_S_OK, Insert(stream.file, CF_OEMTEXT, "", Hex("7A")));
        Bytes file = ReadAll(stream.file);
        EXPECT_EQ(c.roomSize, U32At(file, 256 + 8));
        EXPECT_EQ(c.dataLength, U32At(file, 256 + 12));
        // The second room starts right after the first.
        ASSERT_EQ(256u + c.roomSize + 32, file.size());
        EXPECT_EQ(0, memcmp(file.data() + 256 + c.roomSize, "ROOM", 4));
        for (size_t i = 256 + 16 + c.dataLength; i < 256 + c.roomSize; ++i)
            ASSERT_EQ(0, file[i]) << "room padding at " << i;
        EXPECT_EQ(first, LoadEntry(stream.file, 0));
        EXPECT_EQ(Hex("7A"), LoadEntry(stream.file, 1));
    }
}

// ------------------------------------------------------- headerSize bounds

TEST(ItemFileHeaderSize, OnlyMultiplesOfSixtyFourFromSixtyFourTo16384)
{
    Bytes tree = EmptyTree();
    ASSERT_FALSE(tree.empty());
    ASSERT_LE(tree.size(), 48u);
    struct {
        uint32_t headerSize;
        bool accepted;
    } cases[] = {{0, false},     {32, false},   {48, false},    {64, true},
                 {100, false},   {128, true},   {16320, true},  {16384, true},
                 {16400, false}, {16448, false}, {65536, false}, {65600, false},
                 {0xFFFFFFC0u, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.headerSize);
        size_t areaEnd = std::max<size_t>(std::min<uint32_t>(c.headerSize, 70000), 64);
        Bytes file = HandMadeFile(0, c.headerSize, tree, areaEnd);
        Stream stream(file);
        uint32_t count = 99;
        int32_t expected = c.accepted ? TARN_S_OK : TARN_E_FAIL;
        EXPECT_EQ(expected, GetClipbordFileItemsCount(stream.file, &count));
        if (c.accepted)
            EXPECT_EQ(0u, count);
        else
            EXPECT_EQ(99u, count);
    }
}

TEST(ItemFileHeaderSize, RoomsOfTheLargestHeaderAreaAreFound)
{
    Bytes file = HandMadeFile(1, 16384, NewFileTree(), 16384);
    Bytes room = Hex("52 4F 4F 4D 0D 00 00 00 20 00 00 00 03 00 00 00"
                     "41 42 43 00 00 00 00 00 00 00 00 00 00 00 00 00");
    file.insert(file.end(), room.begin(), room.end());
    Stream stream(file);
    uint32_t format = 0;
    EXPECT_EQ(TARN_S_OK, GetClipbordFileItemBaseFormat(stream.file, 0, &format));
    EXPECT_EQ(CF_UNICODETEXT, format);
    EXPECT_EQ(Hex("41 42 43"), LoadEntry(stream.file, 0));
}

// ------------------------------------------------ growing and shrinking

TEST_F(NewItemFile, HeaderAreaGrowsAndRoomsMoveWithIt)
{
    std::vector<Bytes> data;
    std::vector<std::string> names;
    // A room larger than the move buffer, so the move takes several pieces.
    data.push_back(Pattern(10000, 99));
    names.push_back("");
    ASSERT_EQ(TARN_S_OK, Insert(stream.file, CF_TEXT, "", data[0]));

    uint32_t previousHeaderSize = 256;
    int growths = 0;
    for (int i = 1; i < 60; ++i) {
        std::string name = "Clipdock Custom Format " + std::to_string(i * 37);
        data.push_back(Pattern((size_t)(i * 13 % 97) + 1, (unsigned)i));
        names.push_back(name);
        int32_t index = -1;
        ASSERT_EQ(TARN_S_OK, Insert(stream.file, HTML_FORMAT + i, name.c_str(), data[i], &index));
        ASSERT_EQ(i, index);

        Bytes file = ReadAll(stream.file);
        uint32_t headerSize = U32At(file, 12);
        ASSERT_EQ(0u, headerSize % 64);
        ASSERT_GE(headerSize, previousHeaderSize);
        if (headerSize != previousHeaderSize)
            ++growths;
        previousHeaderSize = headerSize;
        // Growing appends exactly the growth, so no stale bytes follow the rooms.
        size_t rooms = 0;
        for (const Bytes &d : data)
            rooms += (d.size() + 31) & ~(size_t)15;
        ASSERT_EQ(headerSize + rooms, file.size()) << "after insert " << i;
        ASSERT_EQ(0, memcmp(file.data() + headerSize, "ROOM", 4));
    }
    EXPECT_GT(previousHeaderSize, 256u);
    EXPECT_GE(growths, 2);

    ASSERT_EQ(data.size(), Count(stream.file));
    for (size_t i = 0; i < data.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(data[i], LoadEntry(stream.file, (int32_t)i));
        if (names[i].empty()) {
            uint32_t format = 0;
            EXPECT_EQ(TARN_S_OK, GetClipbordFileItemBaseFormat(stream.file, (int32_t)i, &format));
            EXPECT_EQ(CF_TEXT, format);
        } else {
            EXPECT_EQ(names[i], EntryName(stream.file, (int32_t)i));
        }
    }
}

TEST(ItemFileShrink, OversizedHeaderAreaShrinksAndStreamKeepsItsLength)
{
    const struct {
        uint32_t headerSize;
        uint32_t firstLength;  // rooms over two move pieces make the shrink overlap itself
    } rows[] = {{16384, 5000}, {512, 9000}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.headerSize);
        Bytes first = Pattern(row.firstLength, 3);
        uint32_t roomSize = (row.firstLength + 31) & ~15u;
        Bytes file = HandMadeFile(1, row.headerSize, NewFileTree(), row.headerSize);
        Bytes room = Hex("52 4F 4F 4D 01 00 00 00");
        room.resize(16);
        PutU32(room, 8, roomSize);
        PutU32(room, 12, row.firstLength);
        file.insert(file.end(), room.begin(), room.end());
        file.insert(file.end(), first.begin(), first.end());
        file.resize(file.size() + roomSize - 16 - row.firstLength + 8, 0);
        Stream stream(file);

        Bytes second = Pattern(40, 4);
        int32_t index = -1;
        ASSERT_EQ(TARN_S_OK, Insert(stream.file, CF_OEMTEXT, "", second, &index));
        EXPECT_EQ(1, index);

        Bytes after = ReadAll(stream.file);
        EXPECT_EQ(row.headerSize + roomSize + 64, after.size()) << "the stream is never shortened";
        EXPECT_EQ(256u, U32At(after, 12));
        EXPECT_EQ(2u, U32At(after, 8));
        EXPECT_EQ(0, memcmp(after.data() + 256, "ROOM", 4));
        EXPECT_EQ(0, memcmp(after.data() + 256 + roomSize, "ROOM", 4));
        EXPECT_EQ(first, LoadEntry(stream.file, 0));
        EXPECT_EQ(second, LoadEntry(stream.file, 1));
    }
}

TEST_F(NewItemFile, TreeThatWouldOutgrowTheHeaderAreaFailsWithoutWriting)
{
    const std::string name(200, 'N');
    Bytes before;
    int32_t result = TARN_S_OK;
    int inserted = 0;
    for (; inserted < 200; ++inserted) {
        before = ReadAll(stream.file);
        std::string entryName = name + std::to_string(inserted);
        result = Insert(stream.file, HTML_FORMAT, entryName.c_str(), Pattern(20, inserted));
        if (result < 0)
            break;
        ASSERT_LE(U32At(ReadAll(stream.file), 12), 16384u);
    }
    ASSERT_EQ(TARN_E_FAIL, result) << "the tree never filled up";
    EXPECT_GT(inserted, 50);
    EXPECT_EQ(before, ReadAll(stream.file));
    EXPECT_EQ((uint32_t)inserted, Count(stream.file));

    // An unnamed entry still fits: the tree is not touched.
    int32_t index = -1;
    ASSERT_EQ(TARN_S_OK, Insert(stream.file, CF_TEXT, "", Hex("01 02"), &index));
    EXPECT_EQ(inserted, index);
    EXPECT_EQ(Hex("01 02"), LoadEntry(stream.file, index));
    EXPECT_EQ(name + "0", EntryName(stream.file, 0));
}

// ---------------------------------------------------------------- inserts

TEST_F(NewItemFile, ZeroLengthInsertFailsAndTheNextTakesItsIndex)
{
    unsigned char none = 0;
    EXPECT_EQ(TARN_E_FAIL, InsertClipboardItem(stream.file, CF_TEXT, "", &none, 0, nullptr));
    EXPECT_EQ(TARN_E_FAIL, InsertClipboardItem(stream.file, 0, "Named Nothing", nullptr, 0, nullptr));
    Bytes file = ReadAll(stream.file);
    // The room header was written where the room would go, but not counted.
    ASSERT_EQ(272u, file.size());
    EXPECT_EQ(Hex("52 4F 4F 4D FF FF 00 00 10 00 00 00 00 00 00 00"),
              Bytes(file.begin() + 256, file.end()));
    EXPECT_EQ(0u, Count(stream.file));

    int32_t index = -1;
    ASSERT_EQ(TARN_S_OK, Insert(stream.file, CF_TEXT, "", Hex("61 00"), &index));
    EXPECT_EQ(0, index);
    EXPECT_EQ(1u, Count(stream.file));
    EXPECT_EQ(Hex("61 00"), LoadEntry(stream.file, 0));
    // The name of the failed insert never reached the stream.
    Bytes tree = NewFileTree();
    file = ReadAll(stream.file);
    ASSERT_EQ(288u, file.size());
    EXPECT_EQ(tree, Bytes(file.begin() + 16, file.begin() + 16 + tree.size()));
}

TEST_F(NewItemFile, TextAndHtmlFormatQueries)
{
    Bytes text = Hex("48 69 00");
    Bytes html = Pattern(300, 7);
    int32_t first = -1, second = -1;
    ASSERT_EQ(TARN_S_OK, Insert(stream.file, CF_TEXT, "", text, &first));
    ASSERT_EQ(TARN_S_OK, Insert(stream.file, HTML_FORMAT, "HTML Format", html, &second));
    EXPECT_EQ(0, first);
    EXPECT_EQ(1, second);
    EXPECT_EQ(2u, Count(stream.file));

    uint32_t format = 0;
    EXPECT_EQ(TARN_S_OK, GetClipbordFileItemBaseFormat(stream.file, 0, &format));
    EXPECT_EQ(CF_TEXT, format);
    format = 1234;
    EXPECT_EQ(TARN_E_FAIL, GetClipbordFileItemBaseFormat(stream.file, 1, &format));
    EXPECT_EQ(1234u, format);

    EXPECT_EQ("<fail>", EntryName(stream.file, 0));
    EXPECT_EQ("HTML Format", EntryName(stream.file, 1));

    EXPECT_EQ(text, LoadEntry(stream.file, 0));
    EXPECT_EQ(html, LoadEntry(stream.file, 1));
}

TEST_F(NewItemFile, FormatNumberKeepsItsLowSixteenBits)
{
    ASSERT_EQ(TARN_S_OK, Insert(stream.file, 0x12340002u, "", Hex("AA")));
    uint32_t format = 0;
    EXPECT_EQ(TARN_S_OK, GetClipbordFileItemBaseFormat(stream.file, 0, &format));
    EXPECT_EQ(2u, format);
}

TEST_F(NewItemFile, NameReadStaysInsideTheGivenSize)
{
    std::string name(250, 'x');
    name[0] = 'A';
    ASSERT_EQ(TARN_S_OK, Insert(stream.file, 0, name.c_str(), Hex("01")));
    char buffer[32];
    memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(TARN_S_OK, GetClipbordFileItemFormatName(stream.file, 0, buffer, 10));
    EXPECT_EQ(0, memcmp(buffer, name.data(), 10));
    for (size_t i = 10; i < sizeof buffer; ++i)
        ASSERT_EQ('#', buffer[i]) << "written past the size at " << i;
}

TEST_F(NewItemFile, LoadNeedsRoomForAllTheData)
{
    Bytes data = Pattern(33, 5);
    ASSERT_EQ(TARN_S_OK, Insert(stream.file, CF_TEXT, "", data));
    Bytes buffer(64, 0xEE);
    EXPECT_EQ(TARN_E_FAIL, LoadClipboardFileItem(stream.file, 0, buffer.data(), 32));
    EXPECT_EQ(Bytes(64, 0xEE), buffer);
    EXPECT_EQ(TARN_S_OK, LoadClipboardFileItem(stream.file, 0, buffer.data(), 33));
    EXPECT_EQ(data, Bytes(buffer.begin(), buffer.begin() + 33));
    EXPECT_EQ(0xEE, buffer[33]);
}

TEST_F(NewItemFile, LoadPartReadsOnlyRangesInsideTheEntry)
{
    // The second entry, behind a first one, in a file with a third after it:
    // a part never reaches into a neighbour's room or its zero fill.
    const Bytes data = Pattern(40, 9);
    ASSERT_EQ(TARN_S_OK, Insert(stream.file, CF_TEXT, "", Pattern(20, 3)));
    ASSERT_EQ(TARN_S_OK, Insert(stream.file, 0, "HTML Format", data));
    ASSERT_EQ(TARN_S_OK, Insert(stream.file, CF_TEXT, "", Pattern(20, 4)));
    const Bytes before = ReadAll(stream.file);
    const struct {
        uint32_t offset, size;
        bool inside;
    } rows[] = {
        {0, 40, true},          {0, 1, true},          {39, 1, true},
        {13, 27, true},         {13, 20, true},        {40, 1, false},
        {39, 2, false},         {0, 41, false},        {0, 0, false},
        {40, 0, false},         {0xFFFFFFFFu, 2, false}, {2, 0xFFFFFFFFu, false},
        {0x80000000u, 0x80000001u, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(std::to_string(row.offset) + " + " + std::to_string(row.size));
        Bytes buffer(64, 0xEE);
        uint32_t size = row.size <= 64 ? row.size : 64;
        int32_t result =
            LoadClipboardFileItemPart(stream.file, 1, row.offset, buffer.data(), row.size);
        if (row.inside) {
            EXPECT_EQ(TARN_S_OK, result);
            EXPECT_EQ(Bytes(data.begin() + row.offset, data.begin() + row.offset + size),
                      Bytes(buffer.begin(), buffer.begin() + size));
            EXPECT_EQ(Bytes(64 - size, 0xEE), Bytes(buffer.begin() + size, buffer.end()));
        } else {
            EXPECT_EQ(TARN_E_FAIL, result);
            EXPECT_EQ(Bytes(64, 0xEE), buffer);
        }
    }
    EXPECT_EQ(before, ReadAll(stream.file));
}

TEST_F(NewItemFile, IndexOutsideTheEntriesFails)
{
    ASSERT_EQ(TARN_S_OK, Insert(stream.file, CF_TEXT, "", Hex("61")));
    ASSERT_EQ(TARN_S_OK, Insert(stream.file, 0, "Rich Text Format", Hex("62")));
    const int32_t indices[] = {2, 3, -1, -2, 65535, 0x7FFFFFFF, INT32_MIN};
    for (int32_t index : indices) {
        SCOPED_TRACE(index);
        uint32_t value = 77;
        char name[16] = {0};
        unsigned char buffer[16] = {0};
        EXPECT_EQ(TARN_E_FAIL, GetClipbordFileItemBaseFormat(stream.file, index, &value));
        EXPECT_EQ(TARN_E_FAIL, GetClipbordFileItemFormatName(stream.file, index, name, 15));
        EXPECT_EQ(TARN_E_FAIL, GetClipboardFileItemSize(stream.file, index, &value));
        EXPECT_EQ(TARN_E_FAIL, LoadClipboardFileItem(stream.file, index, buffer, sizeof buffer));
        EXPECT_EQ(TARN_E_FAIL, LoadClipboardFileItemPart(stream.file, index, 0, buffer, 1));
        EXPECT_EQ(77u, value);
    }
}

TEST_F(NewItemFile, BadArgumentsFailAndChangeNothing)
{
    ASSERT_EQ(TARN_S_OK, Insert(stream.file, 0, "HTML Format", Hex("3C 62 3E")));
    Bytes before = ReadAll(stream.file);
    FILE *f = stream.file;
    unsigned char data[4] = {1, 2, 3, 4};
    char name[16];
    uint32_t value;
    struct {
        const char *what;
        int32_t result;
    } cases[] = {
        {"create, null stream", CreateClipboardFile(nullptr)},
        {"insert, null stream", InsertClipboardItem(nullptr, CF_TEXT, "", data, 4, nullptr)},
        {"insert, null name", InsertClipboardItem(f, CF_TEXT, nullptr, data, 4, nullptr)},
        {"insert, negative length", InsertClipboardItem(f, CF_TEXT, "", data, -1, nullptr)},
        {"insert, most negative length", InsertClipboardItem(f, CF_TEXT, "", data, INT32_MIN, nullptr)},
        {"insert, null data", InsertClipboardItem(f, CF_TEXT, "", nullptr, 4, nullptr)},
        {"count, null stream", GetClipbordFileItemsCount(nullptr, &value)},
        {"count, null out", GetClipbordFileItemsCount(f, nullptr)},
        {"format, null stream", GetClipbordFileItemBaseFormat(nullptr, 0, &value)},
        {"format, null out", GetClipbordFileItemBaseFormat(f, 0, nullptr)},
        {"name, null stream", GetClipbordFileItemFormatName(nullptr, 0, name, 15)},
        {"name, null buffer", GetClipbordFileItemFormatName(f, 0, nullptr, 15)},
        {"name, negative size", GetClipbordFileItemFormatName(f, 0, name, -1)},
        {"size, null stream", GetClipboardFileItemSize(nullptr, 0, &value)},
        {"size, null out", GetClipboardFileItemSize(f, 0, nullptr)},
        {"load, null stream", LoadClipboardFileItem(nullptr, 0, data, 4)},
        {"load, null buffer", LoadClipboardFileItem(f, 0, nullptr, 4)},
        {"load part, null stream", LoadClipboardFileItemPart(nullptr, 0, 0, data, 1)},
        {"load part, null buffer", LoadClipboardFileItemPart(f, 0, 0, nullptr, 1)},
    };
    for (const auto &c : cases)
        EXPECT_EQ(TARN_E_FAIL, c.result) << c.what;
    EXPECT_EQ(0, CloseClipboardFile(nullptr));
    EXPECT_EQ(0, CloseClipboardFile(f));
    EXPECT_EQ(before, ReadAll(stream.file));
}

TEST(ItemFileInsert, IndexStopsAtTheSixteenBitLimit)
{
    // 65535 rooms of one byte each, made by hand: the next insert takes the
    // last index there is, and the one after that has none left.
    const uint32_t rooms = 65535;
    Bytes file = HandMadeFile(rooms, 256, NewFileTree(), 256);
    file.resize(256 + (size_t)rooms * 32, 0);
    for (uint32_t k = 0; k < rooms; ++k) {
        unsigned char *room = file.data() + 256 + (size_t)k * 32;
        memcpy(room, "ROOM\x01\x00", 6);
        room[6] = (unsigned char)k;
        room[7] = (unsigned char)(k >> 8);
        room[8] = 32;
        room[12] = 1;
        room[16] = (unsigned char)k;
    }
    Stream stream(file);
    int32_t index = -1;
    ASSERT_EQ(TARN_S_OK, Insert(stream.file, CF_TEXT, "", Hex("FE"), &index));
    EXPECT_EQ(65535, index);
    Bytes full = ReadAll(stream.file);
    EXPECT_EQ(TARN_E_FAIL, Insert(stream.file, CF_TEXT, "", Hex("FF")));
    EXPECT_EQ(full, ReadAll(stream.file));
    EXPECT_EQ(Hex("FE"), LoadEntry(stream.file, 65535));
    EXPECT_EQ(Hex("07"), LoadEntry(stream.file, 7));
}

TEST(ItemFileInsert, ReadOnlyStreamFailsWithoutChange)
{
    char path[] = "/tmp/tarn_readonly_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    FILE *writer = fdopen(fd, "w+b");
    ASSERT_NE(nullptr, writer);
    ASSERT_EQ(TARN_S_OK, CreateClipboardFile(writer));
    ASSERT_EQ(TARN_S_OK, Insert(writer, CF_TEXT, "", Hex("61")));
    Bytes before = ReadAll(writer);
    fclose(writer);

    FILE *reader = fopen(path, "rb");
    ASSERT_NE(nullptr, reader);
    EXPECT_EQ(TARN_E_FAIL, Insert(reader, CF_TEXT, "", Hex("62 63")));
    EXPECT_EQ(TARN_E_FAIL, CreateClipboardFile(reader));
    EXPECT_EQ(Hex("61"), LoadEntry(reader, 0));
    EXPECT_EQ(before, ReadAll(reader));
    fclose(reader);
    remove(path);
}

// ---------------------------------------------------------- foreign streams

TEST(ItemFileForeign, StreamWithoutTheMagicFailsEveryQuery)
{
    const char *contents[] = {"", "CLIPBOO", "clipbook and more text to fill a header area...",
                              "CLIPBOOX\x00\x00\x00\x00\x00\x01\x00\x00"};
    for (const char *text : contents) {
        SCOPED_TRACE(text);
        Bytes content((const unsigned char *)text, (const unsigned char *)text + strlen(text));
        if (strncmp(text, "CLIPBOOX", 8) == 0)
            content.resize(256 + 32, 0);
        Stream stream(content);
        uint32_t value = 5;
        char name[16] = {0};
        unsigned char buffer[16] = {0};
        EXPECT_EQ(TARN_E_FAIL, Insert(stream.file, CF_TEXT, "", Hex("61")));
        EXPECT_EQ(TARN_E_FAIL, Insert(stream.file, 0, "HTML Format", Hex("61")));
        EXPECT_EQ(TARN_E_FAIL, GetClipbordFileItemsCount(stream.file, &value));
        EXPECT_EQ(TARN_E_FAIL, GetClipbordFileItemBaseFormat(stream.file, 0, &value));
        EXPECT_EQ(TARN_E_FAIL, GetClipbordFileItemFormatName(stream.file, 0, name, 15));
        EXPECT_EQ(TARN_E_FAIL, GetClipboardFileItemSize(stream.file, 0, &value));
        EXPECT_EQ(TARN_E_FAIL, LoadClipboardFileItem(stream.file, 0, buffer, sizeof buffer));
        EXPECT_EQ(5u, value);
        EXPECT_EQ(content, ReadAll(stream.file));
        EXPECT_EQ(0, CloseClipboardFile(stream.file));
    }
}

TEST(ItemFileForeign, CreateOnAnEmptyStreamThenCountIsZero)
{
    Stream stream;
    EXPECT_EQ(TARN_S_OK, CreateClipboardFile(stream.file));
    EXPECT_EQ(0u, Count(stream.file));
    EXPECT_EQ(0, CloseClipboardFile(stream.file));
}

// ------------------------------------------------------------ hostile files

enum Query { COUNT, FORMAT, NAME, SIZE, LOAD, INSERT };
enum Area { TREE, GARBAGE };

struct Check {
    Query query;
    int32_t index;
    int32_t expected;
};

struct HostileFile {
    const char *what;
    uint32_t itemCount;
    uint32_t headerSize;
    Area area;
    size_t areaEnd; // bytes of header area present, 0 for all of it
    const char *rooms;
    std::vector<Check> checks;
};

const int32_t OK = TARN_S_OK;
const int32_t FAIL = TARN_E_FAIL;

// A fake room hidden in the zero fill of the header area, at offset 208:
// reachable only if room offsets wrapped around 32 bits.
const char *const FAKE_ROOM_AT_208 = "52 4F 4F 4D 01 00 01 00 20 00 00 00 01 00 00 00";

const HostileFile HOSTILE_FILES[] = {
    {"data length runs past the end of the stream", 1, 256, TREE, 0,
     "52 4F 4F 4D 01 00 00 00 20 00 10 00 00 00 10 00"
     "61 62 63 64 00 00 00 00 00 00 00 00 00 00 00 00",
     {{SIZE, 0, FAIL}, {LOAD, 0, FAIL}, {FORMAT, 0, OK}, {INSERT, 0, OK}}},
    {"room size 0 stepped over", 2, 256, TREE, 0,
     "52 4F 4F 4D 01 00 00 00 00 00 00 00 04 00 00 00"
     "61 62 63 64 00 00 00 00 00 00 00 00 00 00 00 00",
     {{SIZE, 0, FAIL}, {SIZE, 1, FAIL}, {LOAD, 1, FAIL}, {INSERT, 0, FAIL}}},
    {"last room of size 0 before the append point", 1, 256, TREE, 0,
     "52 4F 4F 4D 01 00 00 00 00 00 00 00 04 00 00 00"
     "61 62 63 00 00 00 00 00 00 00 00 00 00 00 00 00",
     {{SIZE, 0, FAIL}, {INSERT, 0, FAIL}}},
    {"last room smaller than its data before the append point", 1, 256, TREE, 0,
     "52 4F 4F 4D 01 00 00 00 20 00 00 00 40 00 00 00"
     "61 62 63 00 00 00 00 00 00 00 00 00 00 00 00 00",
     {{SIZE, 0, FAIL}, {INSERT, 0, FAIL}}},
    {"room size smaller than header and data", 1, 256, TREE, 0,
     "52 4F 4F 4D 01 00 00 00 10 00 00 00 04 00 00 00"
     "61 62 63 64 00 00 00 00 00 00 00 00 00 00 00 00",
     {{FORMAT, 0, FAIL}, {SIZE, 0, FAIL}, {LOAD, 0, FAIL}}},
    // Found, so that a reader tells it from the end of the rooms it can
    // reach, but nothing of it reads but its size of 0.
    {"counted room without data", 1, 256, TREE, 0,
     "52 4F 4F 4D 01 00 00 00 10 00 00 00 00 00 00 00",
     {{SIZE, 0, OK}, {FORMAT, 0, FAIL}, {LOAD, 0, FAIL}, {INSERT, 0, OK}}},
    {"room without data before a readable one", 2, 256, TREE, 0,
     "52 4F 4F 4D 0D 00 00 00 10 00 00 00 00 00 00 00"
     "52 4F 4F 4D 01 00 01 00 20 00 00 00 01 00 00 00"
     "61 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
     {{SIZE, 0, OK}, {FORMAT, 0, FAIL}, {FORMAT, 1, OK}, {LOAD, 1, OK}}},
    {"count of billions", 0xFFFFFFF0u, 256, TREE, 0,
     "52 4F 4F 4D 01 00 00 00 20 00 00 00 01 00 00 00"
     "61 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
     {{COUNT, 0, FAIL}, {SIZE, 0, FAIL}, {INSERT, 0, FAIL}}},
    {"count past the rooms present", 3, 256, TREE, 0,
     "52 4F 4F 4D 01 00 00 00 20 00 00 00 01 00 00 00"
     "61 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
     {{COUNT, 0, OK}, {LOAD, 0, OK}, {SIZE, 1, FAIL}, {SIZE, 2, FAIL}, {INSERT, 0, FAIL}}},
    {"wrong room magic", 1, 256, TREE, 0,
     "52 4F 4F 4E 01 00 00 00 20 00 00 00 01 00 00 00"
     "61 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
     {{FORMAT, 0, FAIL}, {LOAD, 0, FAIL}, {INSERT, 0, FAIL}}},
    {"index field out of step", 2, 256, TREE, 0,
     "52 4F 4F 4D 01 00 01 00 20 00 00 00 01 00 00 00"
     "61 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
     "52 4F 4F 4D 01 00 01 00 20 00 00 00 01 00 00 00"
     "62 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
     {{SIZE, 0, FAIL}, {SIZE, 1, FAIL}, {INSERT, 0, FAIL}}},
    {"room size not a multiple of 16", 2, 256, TREE, 0,
     "52 4F 4F 4D 01 00 00 00 21 00 00 00 01 00 00 00"
     "61 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00" // 33 bytes; room 1 follows
     "52 4F 4F 4D 01 00 01 00 20 00 00 00 01 00 00 00"
     "62 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
     {{LOAD, 0, OK}, {LOAD, 1, FAIL}, {INSERT, 0, FAIL}}},
    {"room size that wraps a 32-bit offset", 2, 256, TREE, 0,
     "52 4F 4F 4D 01 00 00 00 D0 FF FF FF 01 00 00 00"
     "61 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
     {{SIZE, 1, FAIL}, {LOAD, 1, FAIL}, {INSERT, 0, FAIL}, {SIZE, 0, OK}}},
    {"header area cut short", 0, 16384, TREE, 1000, "", {{COUNT, 0, FAIL}, {INSERT, 0, FAIL}}},
    {"header at its largest bound", 0, 16384, TREE, 0, "", {{COUNT, 0, OK}, {INSERT, 0, OK}}},
    {"garbage tree area", 1, 256, GARBAGE, 0,
     "52 4F 4F 4D 01 00 00 00 20 00 00 00 01 00 00 00"
     "61 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
     {{COUNT, 0, FAIL}, {LOAD, 0, FAIL}, {INSERT, 0, FAIL}}},
    {"garbage filling the largest tree area", 0, 16384, GARBAGE, 0, "",
     {{COUNT, 0, FAIL}, {NAME, 0, FAIL}, {INSERT, 0, FAIL}}},
    {"named room without a name node", 1, 256, TREE, 0,
     "52 4F 4F 4D FF FF 00 00 20 00 00 00 01 00 00 00"
     "61 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
     {{NAME, 0, FAIL}, {FORMAT, 0, FAIL}, {LOAD, 0, OK}}},
    {"stream ends inside a room header", 1, 256, TREE, 0, "52 4F 4F 4D 01 00 00",
     {{SIZE, 0, FAIL}, {INSERT, 0, FAIL}}},
};

Bytes BuildHostile(const HostileFile &h)
{
    size_t areaEnd = h.areaEnd != 0 ? h.areaEnd : h.headerSize;
    Bytes file = HandMadeFile(h.itemCount, h.headerSize, h.area == TREE ? NewFileTree() : Bytes(),
                              areaEnd);
    if (h.area == GARBAGE)
        for (size_t i = 16; i < areaEnd; ++i)
            file[i] = (unsigned char)(i * 151 + 7);
    if (strcmp(h.what, "room size that wraps a 32-bit offset") == 0) {
        Bytes fake = Hex(FAKE_ROOM_AT_208);
        memcpy(file.data() + 208, fake.data(), fake.size());
        file[224] = 0x7A;
    }
    Bytes rooms = Hex(h.rooms);
    file.insert(file.end(), rooms.begin(), rooms.end());
    return file;
}

int32_t RunQuery(FILE *file, const Check &check)
{
    uint32_t value = 0;
    char name[256] = {0};
    static unsigned char buffer[0x110000];
    switch (check.query) {
    case COUNT:
        return GetClipbordFileItemsCount(file, &value);
    case FORMAT:
        return GetClipbordFileItemBaseFormat(file, check.index, &value);
    case NAME:
        return GetClipbordFileItemFormatName(file, check.index, name, 255);
    case SIZE:
        return GetClipboardFileItemSize(file, check.index, &value);
    case LOAD: {
        // A part, its first byte, fails exactly where the whole load does.
        int32_t whole = LoadClipboardFileItem(file, check.index, buffer, sizeof buffer);
        int32_t part = LoadClipboardFileItemPart(file, check.index, 0, buffer, 1);
        return whole == part ? whole : 12345;
    }
    case INSERT:
        return InsertClipboardItem(file, CF_TEXT, "", "z", 1, nullptr);
    }
    return TARN_S_OK;
}

TEST(ItemFileHostile, MalformedFilesFailCleanly)
{
    for (const HostileFile &h : HOSTILE_FILES) {
        for (const Check &check : h.checks) {
            SCOPED_TRACE(std::string(h.what) + ", query " + std::to_string(check.query) +
                         " index " + std::to_string(check.index));
            Bytes file = BuildHostile(h);
            Stream stream(file);
            EXPECT_EQ(check.expected, RunQuery(stream.file, check));
            // Only a successful insert may change the file.
            if (check.query != INSERT || check.expected != OK) {
                EXPECT_EQ(file, ReadAll(stream.file));
            }
        }
    }
}

TEST(ItemFileHostile, WrappedOffsetNeverReachesTheHiddenRoom)
{
    const HostileFile *h = nullptr;
    for (const HostileFile &candidate : HOSTILE_FILES)
        if (strcmp(candidate.what, "room size that wraps a 32-bit offset") == 0)
            h = &candidate;
    ASSERT_NE(nullptr, h);
    Stream stream(BuildHostile(*h));
    // The tree still loads with the fake room in its zero fill...
    EXPECT_EQ(2u, Count(stream.file));
    // ...but the room after the huge one lies far beyond the stream.
    unsigned char byte = 0;
    EXPECT_EQ(TARN_E_FAIL, LoadClipboardFileItem(stream.file, 1, &byte, 1));
    EXPECT_EQ(0, byte);
}

} // namespace
