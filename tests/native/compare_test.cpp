// CompareClipboardFiles: entries matched by format identity in any order,
// data compared piece by piece, and every unreadable side counted as a
// difference.
#include <gtest/gtest.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "libtarn.h"

namespace {

typedef std::vector<unsigned char> Bytes;

const uint32_t CF_TEXT = 1;
const uint32_t CF_BITMAP = 2;
const uint32_t CF_OEMTEXT = 7;
const uint32_t CF_UNICODETEXT = 13;
const uint32_t HTML_FORMAT = 0xC0A1;

struct Entry {
    uint32_t format;
    const char *name;
    Bytes data;
    // Not 0: the room's base format after the insert, as a foreign file may
    // hold it (a named room then keeps its name node beside the number).
    uint16_t storedFormat = 0;
};

Bytes Text(const char *text)
{
    return Bytes((const unsigned char *)text, (const unsigned char *)text + strlen(text) + 1);
}

Bytes Pattern(size_t length, unsigned seed)
{
    Bytes data(length);
    for (size_t i = 0; i < length; ++i)
        data[i] = (unsigned char)(seed + i * 13);
    return data;
}

uint32_t U32(const Bytes &b, size_t at)
{
    return (uint32_t)b[at] | (uint32_t)b[at + 1] << 8 | (uint32_t)b[at + 2] << 16 |
           (uint32_t)b[at + 3] << 24;
}

// Bytes that are not made by the item-file operations.
struct Raw {
    const char *text;
};

// An item file in a temporary stream, closed with the object.
struct ItemFile {
    FILE *file;
    explicit ItemFile(const std::vector<Entry> &entries) : file(tmpfile())
    {
        EXPECT_NE(nullptr, file);
        EXPECT_EQ(TARN_S_OK, CreateClipboardFile(file));
        for (const Entry &e : entries)
            EXPECT_EQ(TARN_S_OK, InsertClipboardItem(file, e.format, e.name, e.data.data(),
                                                     (int32_t)e.data.size(), nullptr));
        Bytes bytes = Content();
        long offset = (long)U32(bytes, 12);
        for (const Entry &e : entries) {
            if (e.storedFormat != 0) {
                unsigned char format[2] = {(unsigned char)e.storedFormat,
                                           (unsigned char)(e.storedFormat >> 8)};
                fseek(file, offset + 4, SEEK_SET);
                fwrite(format, 1, 2, file);
                fflush(file);
            }
            offset += (long)U32(bytes, (size_t)offset + 8);
        }
    }
    explicit ItemFile(Raw raw) : file(tmpfile())
    {
        EXPECT_NE(nullptr, file);
        if (raw.text[0] != '\0')
            fwrite(raw.text, 1, strlen(raw.text), file);
    }
    ~ItemFile() { fclose(file); }
    ItemFile(const ItemFile &) = delete;
    ItemFile &operator=(const ItemFile &) = delete;

    Bytes Content() const
    {
        Bytes content;
        fseek(file, 0, SEEK_END);
        content.resize((size_t)ftell(file));
        fseek(file, 0, SEEK_SET);
        if (!content.empty() && fread(content.data(), 1, content.size(), file) != content.size())
            content.clear();
        return content;
    }
};

struct CompareCase {
    const char *what;
    std::vector<Entry> first;
    std::vector<Entry> second;
    int32_t expected;
};

Bytes WithByte(Bytes data, size_t at, unsigned char value)
{
    data[at] = value;
    return data;
}

Bytes Extended(Bytes data, unsigned char value)
{
    data.push_back(value);
    return data;
}

std::vector<CompareCase> Cases()
{
    const Bytes html = Pattern(450, 1);
    const Bytes bitmap = Pattern(1000, 2);
    const Bytes unicode = Pattern(24, 3);
    return {
        {"no entries on either side", {}, {}, 0},
        {"same single entry", {{CF_TEXT, "", Text("abc")}}, {{CF_TEXT, "", Text("abc")}}, 0},
        {"same entries in opposite order",
         {{CF_TEXT, "", Text("hello")}, {HTML_FORMAT, "HTML Format", html}, {CF_BITMAP, "", bitmap}},
         {{CF_BITMAP, "", bitmap}, {HTML_FORMAT, "HTML Format", html}, {CF_TEXT, "", Text("hello")}},
         0},
        {"last byte differs",
         {{CF_BITMAP, "", bitmap}},
         {{CF_BITMAP, "", WithByte(bitmap, 999, (unsigned char)(bitmap[999] ^ 1))}},
         1},
        {"first byte differs",
         {{CF_BITMAP, "", bitmap}},
         {{CF_BITMAP, "", WithByte(bitmap, 0, (unsigned char)(bitmap[0] ^ 0x80))}},
         1},
        {"byte after the first piece differs",
         {{CF_BITMAP, "", bitmap}},
         {{CF_BITMAP, "", WithByte(bitmap, 100, (unsigned char)(bitmap[100] + 1))}},
         1},
        {"named entry's data differs",
         {{HTML_FORMAT, "HTML Format", html}},
         {{HTML_FORMAT + 5, "HTML Format", WithByte(html, 449, 0)}},
         1},
        {"data length differs by one, shorter data a prefix",
         {{CF_TEXT, "", Text("abc")}},
         {{CF_TEXT, "", Extended(Text("abc"), 'X')}},
         1},
        {"data length differs by one, longer data first",
         {{CF_TEXT, "", Extended(Text("abc"), 0)}},
         {{CF_TEXT, "", Text("abc")}},
         1},
        {"two entries against three",
         {{CF_TEXT, "", Text("a")}, {CF_OEMTEXT, "", Text("a")}},
         {{CF_TEXT, "", Text("a")}, {CF_OEMTEXT, "", Text("a")}, {CF_BITMAP, "", bitmap}},
         1},
        {"three entries against two",
         {{CF_TEXT, "", Text("a")}, {CF_OEMTEXT, "", Text("a")}, {CF_BITMAP, "", bitmap}},
         {{CF_TEXT, "", Text("a")}, {CF_OEMTEXT, "", Text("a")}},
         1},
        {"entry without a partner is passed over",
         {{CF_TEXT, "", Text("same")}, {CF_UNICODETEXT, "", unicode}},
         {{CF_TEXT, "", Text("same")}, {CF_OEMTEXT, "", unicode}},
         0},
        {"partner found but its data differs",
         {{CF_TEXT, "", Text("same")}, {CF_UNICODETEXT, "", unicode}},
         {{CF_UNICODETEXT, "", WithByte(unicode, 3, 0)}, {CF_TEXT, "", Text("same")}},
         1},
        // A named entry has base format 0xFFFF; an unnamed entry of format
        // 0xFFFF must still not be taken for it, or the data would differ.
        {"named against unnamed with the same base format",
         {{HTML_FORMAT, "HTML Format", Text("<b>")}},
         {{NAMED_FORMAT, "", Text("other")}},
         0},
        {"unnamed against named with the same base format",
         {{NAMED_FORMAT, "", Text("other")}},
         {{HTML_FORMAT, "HTML Format", Text("<b>")}},
         0},
        {"named and unnamed entries with equal data never pair up",
         {{CF_TEXT, "", Text("x")}, {HTML_FORMAT, "HTML Format", Text("y")}},
         {{HTML_FORMAT, "HTML Format", Text("y")}, {CF_TEXT, "", Text("x")}},
         0},
        {"names match case-sensitively",
         {{HTML_FORMAT, "HTML Format", Text("<b>")}},
         {{HTML_FORMAT, "html format", Text("<i>")}},
         0},
        {"names are matched, not format numbers",
         {{HTML_FORMAT, "Rich Text Format", Text("{\\rtf1}")}},
         {{HTML_FORMAT + 1, "Rich Text Format", Text("{\\rtf2}")}},
         1},
        {"base formats compare in sixteen bits",
         {{0x10001u, "", Text("q")}},
         {{0x20001u, "", Text("r")}},
         1},
        {"only the first partner in the second file is compared",
         {{CF_TEXT, "", Text("a")}, {CF_OEMTEXT, "", Text("b")}},
         {{CF_TEXT, "", Text("a")}, {CF_TEXT, "", Text("zzz")}},
         0},
        // A copy of text must not equal a stored item whose numbered rooms
        // also carry names: each room is told by its number and compared.
        {"numbered rooms with name nodes are told by their numbers",
         {{CF_TEXT, "", Text("copied")}, {CF_UNICODETEXT, "", unicode}},
         {{HTML_FORMAT, "Z", Text("stored"), CF_TEXT}, {HTML_FORMAT, "Z", unicode, CF_UNICODETEXT}},
         1},
        {"one partner serves several entries",
         {{CF_TEXT, "", Text("a")}, {CF_TEXT, "", Text("a")}},
         {{CF_TEXT, "", Text("a")}, {CF_BITMAP, "", bitmap}},
         0},
    };
}

TEST(CompareClipboardFiles, MatchesEntriesByFormatIdentity)
{
    for (const CompareCase &c : Cases()) {
        SCOPED_TRACE(c.what);
        ItemFile first(c.first);
        ItemFile second(c.second);
        Bytes firstBefore = first.Content();
        Bytes secondBefore = second.Content();
        EXPECT_EQ(c.expected, CompareClipboardFiles(first.file, second.file));
        // The comparison only reads.
        EXPECT_EQ(firstBefore, first.Content());
        EXPECT_EQ(secondBefore, second.Content());
    }
}

TEST(CompareClipboardFiles, UnreadableSideCountsAsDifferent)
{
    ItemFile good({{CF_TEXT, "", Text("abc")}});
    ItemFile empty(std::vector<Entry>{});
    ItemFile foreign(Raw{"this stream is not an item file at all, but it is long enough"});
    ItemFile nothing(Raw{""});
    struct {
        const char *what;
        FILE *first;
        FILE *second;
    } cases[] = {
        {"foreign first", foreign.file, good.file},
        {"foreign second", good.file, foreign.file},
        {"foreign against an empty item file", foreign.file, empty.file},
        {"empty item file against foreign", empty.file, foreign.file},
        {"zero-length first", nothing.file, empty.file},
        {"zero-length second", empty.file, nothing.file},
        {"both foreign", foreign.file, nothing.file},
        {"null first", nullptr, good.file},
        {"null second", good.file, nullptr},
        {"both null", nullptr, nullptr},
    };
    for (const auto &c : cases)
        EXPECT_EQ(1, CompareClipboardFiles(c.first, c.second)) << c.what;
    // The good stream is still usable after the failed comparisons.
    ItemFile same({{CF_TEXT, "", Text("abc")}});
    EXPECT_EQ(0, CompareClipboardFiles(good.file, same.file));
}

TEST(CompareClipboardFiles, DamagedRoomCountsAsDifferent)
{
    ItemFile first({{CF_TEXT, "", Text("abc")}, {CF_OEMTEXT, "", Text("def")}});
    ItemFile second({{CF_TEXT, "", Text("abc")}, {CF_OEMTEXT, "", Text("def")}});
    ASSERT_EQ(0, CompareClipboardFiles(first.file, second.file));

    struct {
        const char *what;
        long offset;
        unsigned char value;
    } damage[] = {
        {"second room's magic", 256 + 32, 'X'},
        {"second room's index", 256 + 32 + 6, 5},
        {"first room's size, which hides the second", 256 + 8, 0x21},
        {"first room's data length past its room", 256 + 12, 0x40},
    };
    for (const auto &d : damage) {
        SCOPED_TRACE(d.what);
        ItemFile damaged({{CF_TEXT, "", Text("abc")}, {CF_OEMTEXT, "", Text("def")}});
        fseek(damaged.file, d.offset, SEEK_SET);
        fputc(d.value, damaged.file);
        fflush(damaged.file);
        EXPECT_EQ(1, CompareClipboardFiles(first.file, damaged.file));
        EXPECT_EQ(1, CompareClipboardFiles(damaged.file, first.file));
    }
}

TEST(CompareClipboardFiles, DataCutShortCountsAsDifferent)
{
    // Both rooms claim 200 bytes, but the second file ends after 150 of them.
    ItemFile first({{CF_BITMAP, "", Pattern(200, 9)}});
    ItemFile second({{CF_BITMAP, "", Pattern(200, 9)}});
    Bytes content = second.Content();
    content.resize(256 + 16 + 150);
    FILE *cut = tmpfile();
    ASSERT_NE(nullptr, cut);
    fwrite(content.data(), 1, content.size(), cut);
    EXPECT_EQ(1, CompareClipboardFiles(first.file, cut));
    EXPECT_EQ(1, CompareClipboardFiles(cut, first.file));
    fclose(cut);
}

} // namespace
