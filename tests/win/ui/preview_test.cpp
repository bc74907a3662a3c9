// Item previews: the entry chosen, text bounded by its entry and cut to the
// box, bitmaps unscaled or from the 1.8x region, true colours of palette
// and bit-field pictures, refused headers, error texts, the no-preview
// picture.
#include <string.h>

#include "support.h"

#include "collection/platform.h"
#include "collection/slots.h"
#include "libtarn.h"
#include "shell/globals.h"
#include "ui/fonts.h"
#include "ui/preview.h"

namespace {

const RECT BOX = {20, 10, 160, 64};  // 140 x 54, as a list row's preview
const DWORD BOX_W = 140, BOX_H = 54;
const COLORREF RED = RGB(220, 0, 0), GREEN = RGB(0, 200, 0), BLUE = RGB(0, 0, 230);
const COLORREF WHITE = RGB(255, 255, 255);

void DrawPreview(Canvas &canvas, int slot, RECT *box, DWORD mw, DWORD mh)
{
    HFONT font = CreateUiFont(&regularFontTemplate, 8, canvas.dc());
    HGDIOBJ previous = SelectObject(canvas.dc(), font);
    DrawItemPreview(slot, box, canvas.dc(), mw, mh);
    SelectObject(canvas.dc(), previous);
    DeleteObject(font);
}

void DrawPreview(Canvas &canvas, int slot)
{
    RECT box = BOX;
    DrawPreview(canvas, slot, &box, BOX_W, BOX_H);
}

const UINT TEXT_FORMAT = DT_EXPANDTABS | DT_WORDBREAK;

// The preview of slot 1 looks exactly like text drawn by the platform.
::testing::AssertionResult LooksLike(int slot, const wchar_t *text, UINT format = TEXT_FORMAT)
{
    Canvas actual(200, 100), expected(200, 100);
    DrawPreview(actual, slot);
    DrawReference(expected, text, BOX, format, &regularFontTemplate, 8, RGB(0, 0, 0), OPAQUE);
    RECT all = {0, 0, 200, 100};
    if (!actual.SameAs(expected, all))
        return ::testing::AssertionFailure() << "the preview differs from the text";
    if (actual.Blank(all))
        return ::testing::AssertionFailure() << "nothing was drawn";
    return ::testing::AssertionSuccess();
}

COLORREF Quadrants(int x, int y)
{
    // The 1.8x region of a 140 x 54 box is 252 x 97: red and green inside
    // it, blue only outside it.
    if (x >= 252 || y >= 97)
        return BLUE;
    return x < 126 ? RED : GREEN;
}

COLORREF Corners(int x, int y)
{
    if (x == 0 && y == 0)
        return BLUE;
    if (x == 99 && y == 39)
        return GREEN;
    return RED;
}

COLORREF Halves(int, int y) { return y < 20 ? RED : GREEN; }

class PreviewTest : public UiTest {};

TEST_F(PreviewTest, FindPreviewEntryTakesTheFirstEntryOfTheBestRank)
{
    const Entry unicode = {CF_UNICODETEXT, std::string("A\0\0\0", 4), ""};
    const Entry text = {CF_TEXT, std::string("A\0", 2), ""};
    const Entry bitmap = {CF_BITMAP, "xxxx", ""};
    const Entry dib = {CF_DIB, "xxxx", ""};
    const Entry metafile = {CF_ENHMETAFILE, "xxxx", ""};
    const Entry locale = {CF_LOCALE, "\x09\x04\0\0", ""};
    const Entry html = {NAMED_FORMAT, "<b>", "HTML Format"};
    const Entry none = {0, "xxxx", ""};
    struct Row {
        std::vector<Entry> entries;
        int32_t expected;
    } rows[] = {
        {{text, unicode}, 1},
        {{unicode, text}, 0},
        {{text, dib}, 0},
        {{dib, text, text}, 1},
        {{locale, metafile, dib, bitmap}, 3},
        {{metafile, locale}, 0},
        {{html, locale}, -1},
        {{html, dib}, 1},
        {{dib, dib}, 0},
        {{none}, -1},  // no format beyond the table's end is taken for one in it
        {{none, locale, none}, -1},
        {{}, -1},
    };
    int line = 0;
    for (const Row &row : rows) {
        StoreItem(1, row.entries, SLOT_OCCUPIED);
        FILE *item = OpenSlotItemFile(1);
        ASSERT_NE(item, nullptr);
        uint32_t count = 0;
        ASSERT_GE(GetClipbordFileItemsCount(item, &count), 0);
        EXPECT_EQ(FindPreviewEntry(item, count), row.expected) << "row " << line;
        fclose(item);
        line++;
    }
}

TEST_F(PreviewTest, CountBeyondTheRoomsEndsTheSearchAtTheLastRoom)
{
    StoreItem(1, {{NAMED_FORMAT, "<b>", "HTML Format"}, {CF_TEXT, std::string("kept\0", 5), ""}},
              SLOT_OCCUPIED);
    std::string file = ItemFileBytes(1);
    ASSERT_GT(file.size(), 16u);
    file.replace(8, 4, std::string("\xff\xff\xff\x7f", 4));  // itemCount 0x7FFFFFFF
    StoreRawFile(1, file, SLOT_OCCUPIED);
    FILE *item = OpenSlotItemFile(1);
    ASSERT_NE(item, nullptr);
    uint32_t count = 0;
    if (GetClipbordFileItemsCount(item, &count) >= 0) {
        DWORD start = GetTickCount();
        EXPECT_EQ(FindPreviewEntry(item, count), 1);
        EXPECT_LT(GetTickCount() - start, 5000u) << "walked the claimed count";
    }
    fclose(item);
    Canvas canvas(200, 100);
    DrawPreview(canvas, 1);  // text or the no-preview picture, and it returns
    EXPECT_FALSE(canvas.Blank({0, 0, 200, 100}));

    // An empty room is passed: the rooms after it can still be reached.
    StoreItem(2, {{CF_LOCALE, "\x09\x04\0\0", ""}, {CF_TEXT, std::string("kept\0", 5), ""}},
              SLOT_OCCUPIED);
    file = ItemFileBytes(2);
    ASSERT_GT(file.size(), 16u);
    uint32_t room = (uint8_t)file[12] | (uint8_t)file[13] << 8;
    file.replace(room + 12, 4, std::string(4, '\0'));  // its dataLength
    StoreRawFile(2, file, SLOT_OCCUPIED);
    item = OpenSlotItemFile(2);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(FindPreviewEntry(item, 2), 1);
    fclose(item);
}

TEST_F(PreviewTest, TextEntriesAreDrawnToTheirEndAndTheUnicodeOneIsPreferred)
{
    StoreItem(1, {{CF_TEXT, std::string("plain text\0", 11), ""},
                  {CF_UNICODETEXT, std::string("w\0i\0d\0e\0\0\0", 10), ""}},
              SLOT_OCCUPIED);
    EXPECT_TRUE(LooksLike(1, L"wide"));
    EXPECT_FALSE(LooksLike(1, L"plain text"));

    // No terminating NUL: the text ends with the entry.
    StoreItem(2, {{CF_TEXT, "no\tterminator", ""}}, SLOT_OCCUPIED);
    EXPECT_TRUE(LooksLike(2, L"no\tterminator"));
    StoreItem(3, {{CF_UNICODETEXT, std::string("e\0n\0d\0!", 7), ""}}, SLOT_OCCUPIED);
    EXPECT_TRUE(LooksLike(3, L"end"));  // the odd last byte is no character

    // Text after the first NUL is not shown.
    StoreItem(4, {{CF_TEXT, std::string("first\0second", 12), ""}}, SLOT_OCCUPIED);
    EXPECT_TRUE(LooksLike(4, L"first"));
}

TEST_F(PreviewTest, HugeTextIsCutToWhatTheBoxShows)
{
    // 16 MB of words and line ends: drawing it all would take the platform
    // minutes; the box shows the same picture from the first few thousand.
    std::string text;
    const std::string line = "The quick brown fox jumps over the lazy dog\r\n";
    while (text.size() < (16u << 20))
        text += line;
    StoreItem(1, {{CF_TEXT, text, ""}}, SLOT_OCCUPIED);
    std::wstring start;
    for (int i = 0; i < 100; i++)
        for (char c : line)
            start += (wchar_t)c;

    DWORD before = GetTickCount();
    EXPECT_TRUE(LooksLike(1, start.c_str()));
    EXPECT_LT(GetTickCount() - before, 10000u) << "the preview of a huge text took too long";

    // Runs without a break (base64, minified JSON), cut where every line of
    // the popup's box is complete: it shows the lines of the whole text.
    // Mnemonic '&'s hide themselves, so their lines take twice as many.
    std::string base64;
    while (base64.size() < 12000)
        base64 += "eyJrIjpbMSwyXX0=";
    for (const std::string &run : {base64, std::string(24000, '&')}) {
        StoreItem(2, {{CF_TEXT, run + "\r\nnext line", ""}}, SLOT_OCCUPIED);
        std::wstring whole(run.begin(), run.end());
        whole += L"\r\nnext line";
        const RECT popupBox = {3, 15, 137, 117};
        Canvas actual(140, 120), expected(140, 120);
        RECT box = popupBox;
        DrawPreview(actual, 2, &box, 134, 102);
        DrawReference(expected, whole.c_str(), popupBox, TEXT_FORMAT, &regularFontTemplate, 8,
                      RGB(0, 0, 0), OPAQUE);
        EXPECT_TRUE(actual.SameAs(expected, {0, 0, 140, 120})) << "run of " << run[0];
    }
}

TEST_F(PreviewTest, SmallBitmapIsCopiedUnscaledToTheBoxCorner)
{
    StoreItem(1, {{CF_DIB, MakeDib({100, 40}, Corners), ""}}, SLOT_OCCUPIED);
    Canvas canvas(200, 100);
    DrawPreview(canvas, 1);
    EXPECT_EQ(canvas.At(20, 10), BLUE);           // the picture's top-left pixel
    EXPECT_EQ(canvas.At(20 + 99, 10 + 39), GREEN);  // its bottom-right one
    EXPECT_EQ(canvas.At(20 + 50, 10 + 20), RED);
    EXPECT_EQ(canvas.At(20 + 1, 10 + 1), RED);
    EXPECT_EQ(canvas.At(19, 10), WHITE);
    EXPECT_EQ(canvas.At(20, 9), WHITE);
}

TEST_F(PreviewTest, LargeBitmapShowsItsTopLeftRegionShrunkIntoTheBox)
{
    StoreItem(1, {{CF_DIB, MakeDib({1024, 768}, Quadrants), ""}}, SLOT_OCCUPIED);
    Canvas canvas(200, 100);
    DrawPreview(canvas, 1);
    RECT box = BOX;
    EXPECT_EQ(canvas.CountColor(box, BLUE), 0) << "only the 252 x 97 region is shown";
    EXPECT_EQ(canvas.At(20 + 5, 10 + 5), RED);
    EXPECT_EQ(canvas.At(20 + 135, 10 + 50), GREEN);  // source x 243
    EXPECT_EQ(canvas.At(20 + 60, 10 + 50), RED);     // source x 108
    EXPECT_EQ(canvas.At(20 + 80, 10 + 30), GREEN);   // source x 144
    EXPECT_EQ(canvas.At(160, 30), WHITE);
    EXPECT_EQ(canvas.At(50, 64), WHITE);
}

TEST_F(PreviewTest, TopDownBitmapTakesTheStretchingPath)
{
    // Its height read unsigned is huge, so even a small picture is shrunk.
    StoreItem(1, {{CF_DIB, MakeDib({100, -40}, Halves), ""}}, SLOT_OCCUPIED);
    Canvas canvas(200, 100);
    DrawPreview(canvas, 1);
    EXPECT_EQ(canvas.At(20 + 10, 10 + 2), RED);     // source y 3: top half
    EXPECT_EQ(canvas.At(20 + 10, 10 + 18), GREEN);  // source y 32: bottom half
    EXPECT_EQ(canvas.At(20 + 50, 10 + 18), GREEN);  // source x 90
    EXPECT_NE(canvas.At(20 + 60, 10 + 18), GREEN);  // source x 108: past the picture
    EXPECT_NE(canvas.At(20 + 10, 10 + 30), GREEN);  // source y 54: past the picture
}

COLORREF PaletteIndex(int x, int) { return x < 10 ? 1 : 2; }
COLORREF Rgb565(int x, int) { return x < 10 ? 0xF800 : 0x07E0; }

TEST_F(PreviewTest, PaletteAndBitFieldPicturesShowTheirOwnColours)
{
    DibLayout palette = {20, 10, 8};
    palette.palette = {0x000000, 0xC81E3C, 0x1E8C46};
    palette.colorsUsed = 3;
    StoreItem(1, {{CF_DIB, MakeDib(palette, PaletteIndex), ""}}, SLOT_OCCUPIED);
    DibLayout fields = {20, 10, 16, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F}};
    StoreItem(2, {{CF_DIB, MakeDib(fields, Rgb565), ""}}, SLOT_OCCUPIED);
    DibLayout fullPalette = {20, 10, 8};  // colorsUsed 0: all 256 entries
    fullPalette.palette.assign(256, 0x000000);
    fullPalette.palette[1] = 0xC81E3C;
    fullPalette.palette[2] = 0x1E8C46;
    StoreItem(3, {{CF_DIB, MakeDib(fullPalette, PaletteIndex), ""}}, SLOT_OCCUPIED);

    for (int slot : {1, 3}) {
        Canvas canvas(200, 100);
        DrawPreview(canvas, slot);
        EXPECT_EQ(canvas.At(20 + 2, 10 + 2), RGB(0xC8, 0x1E, 0x3C)) << "slot " << slot;
        EXPECT_EQ(canvas.At(20 + 15, 10 + 8), RGB(0x1E, 0x8C, 0x46)) << "slot " << slot;
    }
    Canvas canvas(200, 100);
    DrawPreview(canvas, 2);
    EXPECT_EQ(canvas.At(20 + 2, 10 + 2), RGB(255, 0, 0));
    EXPECT_EQ(canvas.At(20 + 15, 10 + 8), RGB(0, 255, 0));
}

TEST_F(PreviewTest, PixelOffsetCountsMasksAndColourTable)
{
    struct Row {
        DibLayout layout;
        uint32_t expected;
    } rows[] = {
        {{4, 4, 24}, 40},
        {{4, -4, 32}, 40},
        {{4, 4, 8}, 40 + 256 * 4},
        {{4, 4, 1}, 40 + 2 * 4},
        {{4, 4, 16, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F}}, 52},
        {{4, 4, 32, BI_BITFIELDS, {0xFF0000, 0xFF00, 0xFF}}, 52},
    };
    rows[2].layout.palette.assign(256, 0);
    rows[3].layout.palette.assign(2, 0);
    for (const Row &row : rows) {
        std::string dib = MakeDib(row.layout, Halves);
        EXPECT_EQ(DibPixelOffset((const uint8_t *)dib.data(), (uint32_t)dib.size()), row.expected)
            << row.layout.bitCount << " bits";
        // One byte short of the last row: refused.
        EXPECT_EQ(DibPixelOffset((const uint8_t *)dib.data(), (uint32_t)dib.size() - 1), 0u)
            << row.layout.bitCount << " bits, cut";
    }
}

// A header field changed to value at offset, as a damaged or hostile file.
std::string Patched(std::string dib, size_t offset, uint32_t value, int bytes = 4)
{
    for (int i = 0; i < bytes; i++)
        dib[offset + i] = (char)(value >> (8 * i));
    return dib;
}

TEST_F(PreviewTest, HeadersThatWouldReadPastTheEntryAreRefused)
{
    const std::string good = MakeDib({16, 16, 24}, Halves);
    DibLayout palette = {16, 16, 8};
    palette.palette.assign(4, 0xFFFFFF);
    palette.colorsUsed = 4;
    const std::string indexed = MakeDib(palette, PaletteIndex);
    const std::string cases[] = {
        Patched(good, 4, 5000),              // width
        Patched(good, 8, 5000),              // height
        Patched(good, 8, (uint32_t)-5000),   // top-down height
        Patched(good, 4, 0x7FFFFFFF),        // width whose stride overflows 32 bits
        Patched(good, 14, 32, 2),            // bit count
        Patched(good, 0, 4000),              // header size beyond the entry
        Patched(good, 0, 12),                // a core header read as a long one
        Patched(good, 16, BI_RLE8),          // compression
        Patched(good, 16, BI_BITFIELDS),     // masks on 24 bits
        Patched(good, 12, 0, 2),             // planes
        Patched(indexed, 32, 257),           // more colours than 8 bits have
        Patched(indexed, 32, 200),           // a colour table past the entry
        Patched(good, 4, 0),                 // no width
    };
    int index = 0;
    for (const std::string &dib : cases) {
        memset(itemSlots, 0, sizeof itemSlots);
        // The entry index in the text is the entry's place in the file.
        StoreItem(1, {{CF_LOCALE, "\x09\x04\0\0", ""}, {CF_DIB, dib, ""}}, SLOT_OCCUPIED);
        EXPECT_TRUE(LooksLike(1, L"ERROR #08 IDX1")) << "case " << index;
        index++;
    }
    StoreItem(1, {{CF_DIB, good, ""}}, SLOT_OCCUPIED);
    Canvas canvas(200, 100);
    DrawPreview(canvas, 1);
    EXPECT_EQ(canvas.At(25, 12), RED) << "the undamaged picture is drawn";
}

// A colour (or palette index, or 16-bit value) that differs from its
// neighbours at nearly every pixel, so a row or column out of place shows.
COLORREF Noise(int x, int y)
{
    uint32_t h = (uint32_t)x * 73856093u ^ (uint32_t)y * 19349663u;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    h ^= h >> 15;
    return h & 0xFFFFFF;
}

std::vector<uint32_t> NoisePalette(size_t count)
{
    std::vector<uint32_t> palette;
    for (size_t i = 0; i < count; i++)
        palette.push_back(Noise((int)i, 7777));
    return palette;
}

// The allocations of entry buffers, while a test looks.
std::vector<size_t> entryAllocations;
void *CountedAllocEntry(size_t size)
{
    entryAllocations.push_back(size);
    return realPlatformCalls.allocEntry(size);
}

// The preview as it was drawn from the whole entry, read at once.
void DrawWholeEntry(Canvas &canvas, const std::string &dib, int32_t index, RECT box, DWORD mw,
                    DWORD mh)
{
    HFONT font = CreateUiFont(&regularFontTemplate, 8, canvas.dc());
    HGDIOBJ previous = SelectObject(canvas.dc(), font);
    DrawDibPreview((const uint8_t *)dib.data(), (uint32_t)dib.size(), index, &box, canvas.dc(), mw,
                   mh);
    SelectObject(canvas.dc(), previous);
    DeleteObject(font);
}

TEST_F(PreviewTest, PicturesReadInPartAreTheWholeEntrysPixelForPixel)
{
    struct Depth {
        int bits;
        uint32_t compression;
        std::vector<uint32_t> masks;
        uint32_t colorsUsed;
    } depths[] = {
        {1, BI_RGB, {}, 0},   {4, BI_RGB, {}, 0},  {4, BI_RGB, {}, 11},
        {8, BI_RGB, {}, 0},   {8, BI_RGB, {}, 37}, {16, BI_RGB, {}, 0},
        {16, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F}, 0},
        {24, BI_RGB, {}, 0},  {32, BI_RGB, {}, 0},
        {32, BI_BITFIELDS, {0xFF0000, 0xFF00, 0xFF}, 0},
    };
    // Smaller than every box, between a box and its 1.8x region, larger.
    const SIZE sizes[] = {{37, 23}, {1, 1}, {150, 70}, {333, 131}, {260, 30}, {90, 400}};
    // The list row's box, the panel's and the popup's.
    const RECT boxes[] = {{20, 10, 160, 64}, {8, 5, 172, 49}, {3, 3, 197, 105}};
    int drawn = 0;
    for (const Depth &depth : depths) {
        for (const SIZE &size : sizes) {
            for (int topDown = 0; topDown < 2; topDown++) {
                DibLayout layout((int)size.cx, topDown ? -(int)size.cy : (int)size.cy, depth.bits,
                                 depth.compression, depth.masks);
                if (depth.bits <= 8) {
                    layout.colorsUsed = depth.colorsUsed;
                    layout.palette = NoisePalette(depth.colorsUsed != 0 ? depth.colorsUsed
                                                                        : 1u << depth.bits);
                }
                const std::string dib = MakeDib(layout, Noise);
                StoreItem(1, {{CF_DIB, dib, ""}}, SLOT_OCCUPIED);
                for (const RECT &start : boxes) {
                    DWORD mw = (DWORD)(start.right - start.left);
                    DWORD mh = (DWORD)(start.bottom - start.top);
                    Canvas part(220, 120), whole(220, 120);
                    RECT box = start;
                    DrawPreview(part, 1, &box, mw, mh);
                    DrawWholeEntry(whole, dib, 0, start, mw, mh);
                    RECT all = {0, 0, 220, 120};
                    ASSERT_TRUE(part.SameAs(whole, all))
                        << depth.bits << " bits, compression " << depth.compression << ", "
                        << size.cx << " x " << (topDown ? "-" : "") << size.cy << " in a "
                        << mw << " x " << mh << " box";
                    drawn += !whole.Blank(all);
                }
            }
        }
    }
    EXPECT_EQ(drawn, 10 * 6 * 2 * 3) << "every picture draws something";

    // The longer headers: V4 and V5, zero past the first 40 bytes.
    for (uint32_t headerSize : {108u, 124u}) {
        for (int bits : {8, 24}) {
            for (int height : {131, -131}) {
                DibLayout layout(333, height, bits);
                if (bits == 8)
                    layout.palette = NoisePalette(256);
                std::string dib = Patched(MakeDib(layout, Noise), 0, headerSize);
                dib.insert(40, headerSize - 40, '\0');
                StoreItem(1, {{CF_DIB, dib, ""}}, SLOT_OCCUPIED);
                Canvas part(220, 120), whole(220, 120);
                DrawPreview(part, 1);
                DrawWholeEntry(whole, dib, 0, BOX, BOX_W, BOX_H);
                RECT all = {0, 0, 220, 120};
                EXPECT_TRUE(part.SameAs(whole, all)) << headerSize << "-byte header, " << bits;
                EXPECT_TRUE(whole.CountColor(BOX, RGB(255, 255, 255)) < 140 * 54 / 2)
                    << headerSize << "-byte header, " << bits << " bits: a picture is drawn";
            }
        }
    }

    // Damaged headers show the same error both ways; the entry index is the
    // entry's place in the file.
    const std::string good = MakeDib({16, 16, 24}, Noise);
    const std::string damaged[] = {
        Patched(good, 8, 17),             // a row more than the entry holds
        Patched(good, 8, (uint32_t)-17),  // the same, top-down
        Patched(good, 0, 4000),           // header size beyond the entry
        Patched(good, 14, 5, 2),          // bit count
        Patched(good, 16, BI_RLE8),       // compression
        good.substr(0, 44),               // no room for a pixel
        good.substr(0, good.size() - 1),  // the last row a byte short
    };
    int index = 0;
    for (const std::string &dib : damaged) {
        StoreItem(1, {{CF_LOCALE, "\x09\x04\0\0", ""}, {CF_DIB, dib, ""}}, SLOT_OCCUPIED);
        Canvas part(220, 120), whole(220, 120);
        DrawPreview(part, 1);
        DrawWholeEntry(whole, dib, 1, BOX, BOX_W, BOX_H);
        RECT all = {0, 0, 220, 120};
        EXPECT_TRUE(part.SameAs(whole, all)) << "damaged case " << index;
        EXPECT_FALSE(whole.Blank(all)) << "damaged case " << index;
        index++;
    }
}

TEST_F(PreviewTest, LargePictureIsReadOnlyAsFarAsTheBoxShowsIt)
{
    // 1024 x 768 at 24 bits in a list row's box: the 252 x 97 region, so the
    // header and 97 rows of 756 bytes, both bottom-up and top-down.
    for (int height : {768, -768}) {
        StoreItem(1, {{CF_DIB, MakeDib({1024, height}, Quadrants), ""}}, SLOT_OCCUPIED);
        entryAllocations.clear();
        platformCalls.allocEntry = CountedAllocEntry;
        Canvas canvas(200, 100);
        DrawPreview(canvas, 1);
        platformCalls.allocEntry = realPlatformCalls.allocEntry;
        EXPECT_EQ(entryAllocations, std::vector<size_t>{40 + 97 * 756}) << height;
        EXPECT_EQ(canvas.At(20 + 5, 10 + 5), RED) << height;
    }
    // 1 MB of text, of words or a run without a break: one read of what
    // the lines of the box can take, a few thousand characters.
    std::string words;
    while (words.size() < (1u << 20))
        words += "word ";
    for (const std::string &text : {words, std::string(1 << 20, 'x')}) {
        StoreItem(1, {{CF_TEXT, text, ""}}, SLOT_OCCUPIED);
        entryAllocations.clear();
        platformCalls.allocEntry = CountedAllocEntry;
        Canvas canvas(200, 100);
        DrawPreview(canvas, 1);
        platformCalls.allocEntry = realPlatformCalls.allocEntry;
        ASSERT_EQ(entryAllocations.size(), 1u) << text[0];
        EXPECT_LE(entryAllocations[0], 16u << 10) << text[0];
        EXPECT_FALSE(canvas.Blank({20, 10, 160, 64})) << text[0];
    }
}

TEST_F(PreviewTest, ShortDibAndUnreadableEntriesShowTheirErrorNumbers)
{
    StoreItem(1, {{CF_TEXT, std::string("a\0", 2), ""},
                  {CF_LOCALE, "\x09\x04\0\0", ""},
                  {CF_DIB, std::string(44, '\x28'), ""}},
              SLOT_OCCUPIED);
    EXPECT_TRUE(LooksLike(1, L"a")) << "text ranks above the bitmap";
    StoreItem(1, {{CF_LOCALE, "\x09\x04\0\0", ""},
                  {NAMED_FORMAT, "x", "HTML Format"},
                  {CF_DIB, std::string(44, '\x28'), ""}},
              SLOT_OCCUPIED);
    EXPECT_TRUE(LooksLike(1, L"ERROR #18 IDX2"));

    // An entry whose data the file no longer holds: its format reads, its
    // size does not. (The library refuses to reach an empty entry at all,
    // so 815 cannot come from a file it reads.)
    StoreItem(2, {{CF_TEXT, std::string(100, 'x'), ""}}, SLOT_OCCUPIED);
    std::string file = ItemFileBytes(2);
    ASSERT_GT(file.size(), 100u);
    StoreRawFile(2, file.substr(0, file.size() - 60), SLOT_OCCUPIED);
    EXPECT_TRUE(LooksLike(2, L"ERROR #809", DT_CENTER));
}

TEST_F(PreviewTest, BitmapAndMetafileEntriesDrawNothing)
{
    StoreItem(1, {{CF_ENHMETAFILE, "handle", ""}, {CF_LOCALE, "\x09\x04\0\0", ""}},
              SLOT_OCCUPIED);
    StoreItem(2, {{CF_BITMAP, "handle", ""}, {CF_DIB, MakeDib({10, 10}, Halves), ""}},
              SLOT_OCCUPIED);
    for (int slot : {1, 2}) {
        Canvas canvas(200, 100);
        DrawPreview(canvas, slot);
        RECT all = {0, 0, 200, 100};
        EXPECT_TRUE(canvas.Blank(all)) << "slot " << slot;
    }
}

TEST_F(PreviewTest, MissingFilesDrawNothing)
{
    StoreMissing(1, SLOT_OCCUPIED);
    Canvas canvas(200, 100);
    DrawPreview(canvas, 1);
    DrawPreview(canvas, 2);  // free, empty name
    strcpy(itemSlots[3].name, "\\..\\elsewhere.crx");
    DrawPreview(canvas, 3);
    RECT all = {0, 0, 200, 100};
    EXPECT_TRUE(canvas.Blank(all));
}

// The no-preview picture: the glyph at x = width / 2 - 16 + 10 from the
// device's origin, 5 below the box's top, and the text under it, drawn as
// format says.
void ExpectNoPreview(const RECT &start, int slot, const wchar_t *text, UINT format)
{
    Canvas actual(200, 140), expected(200, 140);
    RECT box = start;
    DrawPreview(actual, slot, &box, (DWORD)(start.right - start.left),
                (DWORD)(start.bottom - start.top));
    EXPECT_EQ(box.top, start.top + 5 + objInfo.bmHeight + 3);
    EXPECT_EQ(box.left, start.left);
    EXPECT_EQ(box.right, start.right);
    EXPECT_EQ(box.bottom, start.bottom);

    int x = (start.right - start.left) / 2 - objInfo.bmWidth / 2 + 10;
    BlitReference(expected, objBitmap, objInfo, x, start.top + 5);
    DrawReference(expected, text, box, format, &regularFontTemplate, 8, RGB(0, 0, 0), OPAQUE);
    RECT all = {0, 0, 200, 140};
    EXPECT_TRUE(actual.SameAs(expected, all)) << "box from x " << start.left << " to "
                                              << start.right;
}

// The whole text is wider than the boxes; cut at both ends it would say
// nothing.
TEST_F(PreviewTest, NoPreviewPictureSitsWhereTheListAndThePopupPutIt)
{
    StoreItem(1, {{NAMED_FORMAT, "<b>x</b>", "HTML Format"}, {CF_LOCALE, "\x09\x04\0\0", ""}},
              SLOT_OCCUPIED);
    const wchar_t *whole = L"Clipboard Item - No preview", *shortText = L"No preview";
    struct Row {
        RECT box;
        const wchar_t *text;
        UINT format;
        const char *what;
    } rows[] = {
        // A list row's box (10 pixels left of the centre) in this font has
        // room for one line below the glyph.
        {{20, 3, 160, 57}, shortText, DT_CENTER, "one line's room"},
        // The popup's box (7 pixels right of the centre): room for two.
        {{3, 15, 137, 117}, whole, DT_CENTER | DT_WORDBREAK, "the popup's box"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        ExpectNoPreview(row.box, 1, row.text, row.format);
    }

    // A directory that cannot be read gives the same picture.
    StoreRawFile(2, std::string("CLIPBOOK\x05\0\0\0\xff\xff\0\0garbage", 23), SLOT_OCCUPIED);
    ExpectNoPreview({20, 3, 160, 57}, 2, shortText, DT_CENTER);
}

}  // namespace
