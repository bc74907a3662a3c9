/*
 * compare_test.cpp: CompareClipboardFiles through libtarn.dll. Entries are
 * matched by format identity, not by position; only a matched pair's data
 * can make two files of equal count differ.
 */
#include "tarn_dll.h"

#include <initializer_list>

namespace {

struct Entry {
    uint32_t format;
    const char *name;
    Bytes data;
};

class Compare : public TarnFileTest {
protected:
    /* A new item file holding entries in the order given. */
    FILE *ItemFileOf(const char *file, std::initializer_list<Entry> entries)
    {
        FILE *stream = NewItemFile(file);
        if (stream != nullptr)
            for (const Entry &e : entries)
                INSERT_ENTRY(stream, e.format, e.name, e.data);
        return stream;
    }

    int32_t Run(FILE *first, FILE *second) { return tarn.CompareClipboardFiles(first, second); }
};

const Bytes TEXT_DATA = TextBytes("Copied text");
const Bytes WIDE_DATA = WideBytes(L"Copied text");
const Bytes HTML_DATA = TextBytes("Version:0.9\r\nStartHTML:-1\r\n<b>Copied</b> text");
const Bytes DIB_DATA = PatternBytes(333, 9);

TEST_F(Compare, EmptyFilesAreEqual)
{
    FILE *a = NewItemFile("a");
    FILE *b = NewItemFile("b");
    ASSERT_TRUE(a != nullptr && b != nullptr);
    EXPECT_EQ(COMPARE_EQUAL, Run(a, b));
}

TEST_F(Compare, SameFormatsInOppositeOrderAreEqual)
{
    UINT html = RegisterClipboardFormatA("HTML Format");
    FILE *a = ItemFileOf("a", {{CF_TEXT, "", TEXT_DATA},
                               {CF_UNICODETEXT, "", WIDE_DATA},
                               {html, "HTML Format", HTML_DATA},
                               {CF_DIB, "", DIB_DATA}});
    FILE *b = ItemFileOf("b", {{CF_DIB, "", DIB_DATA},
                               {html, "HTML Format", HTML_DATA},
                               {CF_UNICODETEXT, "", WIDE_DATA},
                               {CF_TEXT, "", TEXT_DATA}});
    ASSERT_TRUE(a != nullptr && b != nullptr);
    const Bytes beforeA = StreamBytes(a);
    const Bytes beforeB = StreamBytes(b);

    EXPECT_EQ(COMPARE_EQUAL, Run(a, b));
    EXPECT_EQ(COMPARE_EQUAL, Run(b, a));
    EXPECT_TRUE(StreamBytes(a) == beforeA && StreamBytes(b) == beforeB)
        << "the comparison wrote to a stream";
}

TEST_F(Compare, MatchedDataDifferingInItsLastByteDiffers)
{
    /* Within one 100-byte piece, at a piece's end, and in a later piece. */
    for (size_t length : {1u, 99u, 100u, 101u, 250u}) {
        SCOPED_TRACE(length);
        std::string tag = std::to_string(length);
        Bytes data = PatternBytes(length, 3);
        Bytes changed = data;
        changed.back() ^= 0x01;
        FILE *a = ItemFileOf(("a" + tag).c_str(), {{CF_TEXT, "", TEXT_DATA}, {CF_DIB, "", data}});
        FILE *same =
            ItemFileOf(("s" + tag).c_str(), {{CF_TEXT, "", TEXT_DATA}, {CF_DIB, "", data}});
        FILE *b =
            ItemFileOf(("b" + tag).c_str(), {{CF_TEXT, "", TEXT_DATA}, {CF_DIB, "", changed}});
        ASSERT_TRUE(a != nullptr && same != nullptr && b != nullptr);
        EXPECT_EQ(COMPARE_EQUAL, Run(a, same));
        EXPECT_EQ(COMPARE_DIFFERENT, Run(a, b));
        EXPECT_EQ(COMPARE_DIFFERENT, Run(b, a));
        Close(a);
        Close(same);
        Close(b);
    }
}

TEST_F(Compare, MatchedDataOfAnotherLengthDiffers)
{
    Bytes longer = TEXT_DATA;
    longer.insert(longer.end() - 1, '!');
    FILE *a = ItemFileOf("a", {{CF_TEXT, "", TEXT_DATA}});
    FILE *b = ItemFileOf("b", {{CF_TEXT, "", longer}});
    ASSERT_TRUE(a != nullptr && b != nullptr);
    EXPECT_EQ(COMPARE_DIFFERENT, Run(a, b));
    EXPECT_EQ(COMPARE_DIFFERENT, Run(b, a));
}

TEST_F(Compare, DifferentEntryCountsDiffer)
{
    FILE *two = ItemFileOf("two", {{CF_TEXT, "", TEXT_DATA}, {CF_UNICODETEXT, "", WIDE_DATA}});
    FILE *three = ItemFileOf("three", {{CF_TEXT, "", TEXT_DATA},
                                       {CF_UNICODETEXT, "", WIDE_DATA},
                                       {CF_DIB, "", DIB_DATA}});
    FILE *empty = NewItemFile("empty");
    ASSERT_TRUE(two != nullptr && three != nullptr && empty != nullptr);
    EXPECT_EQ(COMPARE_DIFFERENT, Run(two, three));
    EXPECT_EQ(COMPARE_DIFFERENT, Run(three, two));
    EXPECT_EQ(COMPARE_DIFFERENT, Run(empty, two));
    EXPECT_EQ(COMPARE_DIFFERENT, Run(two, empty));
}

TEST_F(Compare, EntryWithoutPartnerIsPassedOver)
{
    FILE *a = ItemFileOf("a", {{CF_TEXT, "", TEXT_DATA}, {CF_UNICODETEXT, "", WIDE_DATA}});
    FILE *b = ItemFileOf("b", {{CF_TEXT, "", TEXT_DATA}, {CF_OEMTEXT, "", WIDE_DATA}});
    /* The same shape with the text changed: the CF_TEXT pair is compared. */
    FILE *c =
        ItemFileOf("c", {{CF_TEXT, "", TextBytes("Other text!")}, {CF_OEMTEXT, "", WIDE_DATA}});
    ASSERT_TRUE(a != nullptr && b != nullptr && c != nullptr);
    EXPECT_EQ(COMPARE_EQUAL, Run(a, b));
    EXPECT_EQ(COMPARE_EQUAL, Run(b, a));
    EXPECT_EQ(COMPARE_DIFFERENT, Run(a, c));
}

TEST_F(Compare, NamedAndUnnamedEntriesNeverMatch)
{
    UINT html = RegisterClipboardFormatA("HTML Format");
    const Bytes other = TextBytes("entirely different bytes");
    FILE *named = ItemFileOf("named", {{html, "HTML Format", HTML_DATA}});
    /* Each would differ in its data if it were taken as the partner. */
    FILE *unnamed = ItemFileOf("unnamed", {{html, "", other}});
    FILE *baseFFFF = ItemFileOf("ffff", {{0xFFFF, "", other}});
    FILE *otherCase = ItemFileOf("case", {{html, "html format", other}});
    FILE *sameName = ItemFileOf("same", {{html, "HTML Format", other}});
    ASSERT_TRUE(named && unnamed && baseFFFF && otherCase && sameName);

    EXPECT_EQ(COMPARE_EQUAL, Run(named, unnamed));
    EXPECT_EQ(COMPARE_EQUAL, Run(unnamed, named));
    EXPECT_EQ(COMPARE_EQUAL, Run(named, baseFFFF)) << "matched by base format alone";
    EXPECT_EQ(COMPARE_EQUAL, Run(baseFFFF, named)) << "matched by base format alone";
    EXPECT_EQ(COMPARE_EQUAL, Run(named, otherCase)) << "names are compared with case";
    EXPECT_EQ(COMPARE_DIFFERENT, Run(named, sameName));
    EXPECT_EQ(COMPARE_DIFFERENT, Run(sameName, named));
}

TEST_F(Compare, OnlyTheFirstPartnerIsCompared)
{
    const Bytes later = TextBytes("Second text");
    FILE *a = ItemFileOf("a", {{CF_TEXT, "", TEXT_DATA}, {CF_DIB, "", DIB_DATA}});
    FILE *b = ItemFileOf("b", {{CF_TEXT, "", TEXT_DATA}, {CF_TEXT, "", later}});
    ASSERT_TRUE(a != nullptr && b != nullptr);
    /* a's text finds b's first text; a's DIB has no partner. */
    EXPECT_EQ(COMPARE_EQUAL, Run(a, b));
    /* b's second text also finds a's only text, and differs from it. */
    EXPECT_EQ(COMPARE_DIFFERENT, Run(b, a));
}

TEST_F(Compare, StreamThatIsNoItemFileOnEitherSideDiffers)
{
    FILE *good = ItemFileOf("good", {{CF_TEXT, "", TEXT_DATA}});
    FILE *emptyItems = NewItemFile("none");
    FILE *text = RawFile("text", Bytes(300, 'x'));
    FILE *empty = RawFile("empty", Bytes());
    ASSERT_TRUE(good && emptyItems && text && empty);
    for (FILE *bad : {text, empty}) {
        EXPECT_EQ(COMPARE_DIFFERENT, Run(good, bad));
        EXPECT_EQ(COMPARE_DIFFERENT, Run(bad, good));
        /* Not even an empty item file equals something unreadable. */
        EXPECT_EQ(COMPARE_DIFFERENT, Run(emptyItems, bad));
        EXPECT_EQ(COMPARE_DIFFERENT, Run(bad, emptyItems));
    }
    EXPECT_EQ(COMPARE_DIFFERENT, Run(text, empty));
}

TEST_F(Compare, NullStreamDiffers)
{
    FILE *good = ItemFileOf("good", {{CF_TEXT, "", TEXT_DATA}});
    ASSERT_NE(nullptr, good);
    EXPECT_EQ(COMPARE_DIFFERENT, Run(nullptr, good));
    EXPECT_EQ(COMPARE_DIFFERENT, Run(good, nullptr));
    EXPECT_EQ(COMPARE_DIFFERENT, Run(nullptr, nullptr));
}

} // namespace
