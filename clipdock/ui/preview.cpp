/*
 * preview.cpp: the preview of one stored item. Of the entry of the best
 * previewable format only what the drawing uses is read from the item file:
 * the leading part of a text that can fill the box, or a device-independent
 * bitmap's header, colour table or masks and the leading bytes of the pixel
 * rows that the box shows. An item with no such entry gets the no-preview
 * picture, a failure to read the entry an error number.
 *
 * Item files come from disk and are not trusted: text is drawn only up to
 * the end of its entry, and a bitmap header that would send the platform
 * past the end of the entry is refused before anything is handed over.
 */
#include "ui/preview.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "collection/platform.h"
#include "collection/slots.h"
#include "libtarn.h"
#include "shell/globals.h"

const UINT previewFormatPriority[PREVIEW_FORMAT_COUNT] = {
    CF_UNICODETEXT, CF_TEXT, CF_BITMAP, CF_DIB, CF_ENHMETAFILE,
};

namespace {

// Reasons an entry could not be read, shown as "ERROR #<code>".
const int READ_FAILED_FORMAT = 803;
const int READ_FAILED_SIZE = 809;
const int READ_FAILED_EMPTY = 815;
const int READ_FAILED_MEMORY = 822;
const int READ_FAILED_LOAD = 829;

// A DIB entry shorter than this cannot hold a header and one pixel.
const uint32_t DIB_MIN_ENTRY = 45;
const int DIB_ERROR_NUMBER = 8;

const UINT TEXT_FORMAT = DT_EXPANDTABS | DT_WORDBREAK;

uint32_t ReadU32(const uint8_t *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

uint16_t ReadU16(const uint8_t *p)
{
    return (uint16_t)(p[0] | p[1] << 8);
}

void DrawBoxText(HDC dc, const char *text, const RECT *box, UINT format)
{
    RECT area = *box;
    DrawTextA(dc, text, -1, &area, format);
}

void DrawReadError(HDC dc, const RECT *box, int code)
{
    char text[256];
    wsprintfA(text, "ERROR #%d", code);
    DrawBoxText(dc, text, box, DT_CENTER);
}

void DrawNoPreview(HDC dc, RECT *box)
{
    box->top += 5;
    HDC memory = CreateCompatibleDC(dc);
    if (memory != NULL) {
        HGDIOBJ previous = objBitmap != NULL ? SelectObject(memory, objBitmap) : NULL;
        if (previous != NULL) {
            // Centred on the box's width, but counted from the device's origin.
            int x = (box->right - box->left) / 2 - objInfo.bmWidth / 2 + 10;
            BitBlt(dc, x, box->top, objInfo.bmWidth, objInfo.bmHeight, memory, 0, 0, SRCCOPY);
            SelectObject(memory, previous);
        }
        DeleteDC(memory);
    }
    box->top += objInfo.bmHeight + 3;
    // The whole text is wider than the program's boxes: it is wrapped where
    // the box has room for the lines, and a list row's box, which has room
    // for one, gets the short text rather than one cut at both ends.
    RECT needed = *box;
    DrawTextA(dc, NO_PREVIEW_TEXT, -1, &needed, DT_CENTER | DT_WORDBREAK | DT_CALCRECT);
    if (needed.right - needed.left <= box->right - box->left && needed.bottom <= box->bottom)
        DrawBoxText(dc, NO_PREVIEW_TEXT, box, DT_CENTER | DT_WORDBREAK);
    else
        DrawBoxText(dc, NO_PREVIEW_SHORT_TEXT, box, DT_CENTER);
}

// The most characters a line of text can take without a line break: a
// line breaks within the box's width (every visible character is at least a
// pixel wide), and a word wider than the box is broken at its edge on
// Windows, while Wine lays such a run out in lines of this many characters.
const long long WORD_LINE_MOST = 1024;

// How many leading characters of a text hold every line the box can show,
// whatever the text: as many lines as its height holds and two more that
// show in part, each of at most a line's characters and a line break. A
// mnemonic '&' hides itself, so every character counts twice.
size_t VisibleTextLimit(HDC dc, const RECT *box)
{
    TEXTMETRICA metrics;
    LONG lineHeight = GetTextMetricsA(dc, &metrics) && metrics.tmHeight > 0 ? metrics.tmHeight : 1;
    long long width = box->right > box->left ? box->right - box->left : 0;
    long long height = box->bottom > box->top ? box->bottom - box->top : 0;
    long long lineChars = 2 * (width + 1 > WORD_LINE_MOST ? width + 1 : WORD_LINE_MOST);
    long long limit = (height / lineHeight + 2) * (lineChars + 2);
    return (size_t)(limit < (1 << 22) ? limit : 1 << 22);
}

void DrawAnsiText(HDC dc, const uint8_t *bytes, uint32_t size, size_t limit, const RECT *box)
{
    const void *end = memchr(bytes, 0, size);
    size_t length = end != NULL ? (size_t)((const uint8_t *)end - bytes) : size;
    if (length > limit)
        length = limit;
    RECT area = *box;
    DrawTextA(dc, (const char *)bytes, (int)length, &area, TEXT_FORMAT);
}

void DrawUnicodeText(HDC dc, const uint8_t *bytes, uint32_t size, size_t limit, const RECT *box)
{
    // An odd last byte is no whole character.
    size_t units = size / 2;
    const wchar_t *text = (const wchar_t *)bytes;
    size_t length = 0;
    while (length < units && text[length] != L'\0')
        length++;
    if (length > limit) {
        length = limit;
        if (text[length - 1] >= 0xD800 && text[length - 1] <= 0xDBFF)
            length--;  // not half a surrogate pair
    }
    // Empty text draws nothing; the platform is not handed it at all, since
    // it reads the first character even of no characters, and a one-byte
    // entry has no whole first character.
    if (length == 0)
        return;
    RECT area = *box;
    DrawTextW(dc, text, (int)length, &area, TEXT_FORMAT);
}

void DrawDibError(HDC dc, const RECT *box, const char *pattern, int32_t index)
{
    char text[256];
    wsprintfA(text, pattern, DIB_ERROR_NUMBER, (int)index);
    DrawBoxText(dc, text, box, TEXT_FORMAT);
}

}  // namespace

uint32_t DibPixelOffset(const uint8_t *bytes, uint32_t size)
{
    if (size < 40)
        return 0;
    uint32_t headerSize = ReadU32(bytes);
    // BITMAPINFOHEADER, its two extensions with masks, V4 and V5; the
    // 12-byte core header and the 64-byte OS/2 one are not what the
    // clipboard holds as CF_DIB.
    if (headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 108 &&
        headerSize != 124)
        return 0;
    if (headerSize > size)
        return 0;
    int32_t width = (int32_t)ReadU32(bytes + 4);
    int32_t height = (int32_t)ReadU32(bytes + 8);
    uint16_t planes = ReadU16(bytes + 12);
    uint16_t bitCount = ReadU16(bytes + 14);
    uint32_t compression = ReadU32(bytes + 16);
    uint32_t colorsUsed = ReadU32(bytes + 32);
    if (width <= 0 || height == 0 || height == INT32_MIN || planes != 1)
        return 0;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
        bitCount != 32)
        return 0;
    // Run-length and embedded JPEG or PNG pixels have no size the header
    // fixes; only plain and bit-field pixels are drawn.
    uint64_t masks = 0;
    if (compression == BI_BITFIELDS) {
        if (bitCount != 16 && bitCount != 32)
            return 0;
        if (headerSize == 40)
            masks = 12;
    } else if (compression != BI_RGB) {
        return 0;
    }
    uint64_t colors = colorsUsed;
    if (bitCount <= 8) {
        uint32_t most = 1u << bitCount;
        if (colors == 0)
            colors = most;
        else if (colors > most)
            return 0;
    }
    uint64_t offset = headerSize + masks + colors * 4;
    uint64_t stride = ((uint64_t)width * bitCount + 31) / 32 * 4;
    uint64_t rows = height < 0 ? (uint64_t)(-(int64_t)height) : (uint64_t)height;
    if (offset > size || stride * rows > size - offset)
        return 0;
    return (uint32_t)offset;
}

namespace {

// A picture larger than the box in either direction is shrunk from its 1.8x
// region; a top-down one (its height read unsigned is huge) always is.
bool ShrunkIntoBox(DWORD width, DWORD height, DWORD maxWidth, DWORD maxHeight)
{
    return width > maxWidth || height > maxHeight;
}

// Makes a bitmap from a packed DIB's header and pixels and draws it into the
// box. width and height are the picture's own header fields, read unsigned:
// they, not the header handed over (which may be cut to the drawn region),
// decide between the unscaled copy and the shrunk 1.8x region.
void DrawDibBitmap(const uint8_t *info, const uint8_t *pixels, DWORD width, DWORD height,
                   int32_t index, RECT *box, HDC dc, DWORD maxWidth, DWORD maxHeight)
{
    HBITMAP bitmap = CreateDIBitmap(dc, (const BITMAPINFOHEADER *)info, CBM_INIT, pixels,
                                    (const BITMAPINFO *)info, DIB_RGB_COLORS);
    if (bitmap == NULL) {
        DrawDibError(dc, box, "ERROR #0%d IDX%d", index);
        return;
    }
    HDC memory = CreateCompatibleDC(dc);
    if (memory != NULL) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        int boxWidth = box->right - box->left, boxHeight = box->bottom - box->top;
        if (ShrunkIntoBox(width, height, maxWidth, maxHeight))
            StretchBlt(dc, box->left, box->top, boxWidth, boxHeight, memory, 0, 0,
                       (int)(maxWidth * 180 / 100), (int)(maxHeight * 180 / 100), SRCCOPY);
        else
            BitBlt(dc, box->left, box->top, boxWidth, boxHeight, memory, 0, 0, SRCCOPY);
        SelectObject(memory, previous);
        DeleteDC(memory);
    }
    DeleteObject(bitmap);
}

void WriteU32(uint8_t *p, uint32_t value)
{
    for (int i = 0; i < 4; i++)
        p[i] = (uint8_t)(value >> (8 * i));
}

// The top-left part of a picture that the drawing above copies from: the
// source rectangle of the stretch or the box of the unscaled copy, within
// the picture. Never empty, so that a picture cut to it can still be made.
void DrawnRegion(DWORD width, DWORD height, uint32_t rows, const RECT *box, DWORD maxWidth,
                 DWORD maxHeight, uint32_t *regionWidth, uint32_t *regionRows)
{
    long long w, h;
    if (ShrunkIntoBox(width, height, maxWidth, maxHeight)) {
        w = (int)(maxWidth * 180 / 100);
        h = (int)(maxHeight * 180 / 100);
    } else {
        w = (long long)box->right - box->left;
        h = (long long)box->bottom - box->top;
    }
    *regionWidth = (uint32_t)(w < 1 ? 1 : w > (long long)width ? width : w);
    *regionRows = (uint32_t)(h < 1 ? 1 : h > (long long)rows ? rows : h);
}

// What of the chosen entry was read: the leading part of a text, or a DIB
// cut to the region it is drawn from.
struct PreviewPart {
    uint8_t *bytes;    // from platformCalls.allocEntry; NULL when nothing was read
    uint32_t size;
    size_t textLimit;  // text: the characters that hold every line the box shows
    bool dibTooShort;  // DIB: no room for a header and a pixel
    DWORD dibWidth, dibHeight;  // DIB: the whole picture's header fields
    uint32_t dibPixelOffset;    // DIB: where the pixels begin; 0 for a refused header
};

int AllocatePart(uint32_t size, PreviewPart *part)
{
    part->bytes = (uint8_t *)platformCalls.allocEntry(size);
    if (part->bytes == NULL)
        return READ_FAILED_MEMORY;
    part->size = size;
    return 0;
}

// A text's leading characters that hold every line the box can show, and
// one more, so that the cut is made as for the whole text (never half a
// surrogate pair).
int ReadTextPart(FILE *item, int32_t index, uint32_t size, uint32_t unit, HDC dc, const RECT *box,
                 PreviewPart *part)
{
    part->textLimit = VisibleTextLimit(dc, box);
    uint64_t wanted = ((uint64_t)part->textLimit + 1) * unit;
    int error = AllocatePart(size < wanted ? size : (uint32_t)wanted, part);
    if (error == 0 && LoadClipboardFileItemPart(item, index, 0, part->bytes, part->size) < 0)
        error = READ_FAILED_LOAD;
    return error;
}

// A DIB's header with its masks and colour table, then the leading bytes of
// the pixel rows of the drawn region, stored as a packed DIB of that region.
// A header that is refused reads no further: drawn as an error.
int ReadDibPart(FILE *item, int32_t index, uint32_t size, const RECT *box, DWORD maxWidth,
                DWORD maxHeight, PreviewPart *part)
{
    if (size < DIB_MIN_ENTRY) {
        part->dibTooShort = true;
        return 0;
    }
    uint8_t header[40];
    if (LoadClipboardFileItemPart(item, index, 0, header, sizeof header) < 0)
        return READ_FAILED_LOAD;
    uint32_t offset = DibPixelOffset(header, size);
    if (offset == 0)
        return 0;
    DWORD width = ReadU32(header + 4), height = ReadU32(header + 8);
    uint16_t bitCount = ReadU16(header + 14);
    bool topDown = (int32_t)height < 0;
    uint32_t rows = topDown ? 0u - height : height;
    uint64_t stride = ((uint64_t)width * bitCount + 31) / 32 * 4;
    uint32_t regionWidth, regionRows;
    DrawnRegion(width, height, rows, box, maxWidth, maxHeight, &regionWidth, &regionRows);
    uint32_t regionStride = (uint32_t)(((uint64_t)regionWidth * bitCount + 31) / 32 * 4);

    // The header's checks keep offset + stride * rows within the entry.
    uint32_t pixels = regionStride * regionRows;
    int error = AllocatePart(offset + pixels, part);
    if (error != 0)
        return error;
    // A bottom-up picture keeps its top rows last.
    uint64_t first = offset + (topDown ? 0 : (uint64_t)(rows - regionRows) * stride);
    uint8_t *target = part->bytes + offset;
    int32_t result = LoadClipboardFileItemPart(item, index, 0, part->bytes, offset);
    if (regionStride == stride) {
        if (result >= 0)
            result = LoadClipboardFileItemPart(item, index, (uint32_t)first, target, pixels);
    } else {
        for (uint32_t row = 0; row < regionRows && result >= 0; row++)
            result = LoadClipboardFileItemPart(item, index, (uint32_t)(first + row * stride),
                                               target + (size_t)row * regionStride, regionStride);
    }
    if (result < 0)
        return READ_FAILED_LOAD;
    WriteU32(part->bytes + 4, regionWidth);
    WriteU32(part->bytes + 8, topDown ? 0u - regionRows : regionRows);
    WriteU32(part->bytes + 20, pixels);
    part->dibWidth = width;
    part->dibHeight = height;
    part->dibPixelOffset = offset;
    return 0;
}

void DrawDibPart(const PreviewPart &part, int32_t index, RECT *box, HDC dc, DWORD maxWidth,
                 DWORD maxHeight)
{
    if (part.dibTooShort) {
        DrawDibError(dc, box, "ERROR #1%d IDX%d", index);
        return;
    }
    if (part.dibPixelOffset == 0) {
        DrawDibError(dc, box, "ERROR #0%d IDX%d", index);
        return;
    }
    DrawDibBitmap(part.bytes, part.bytes + part.dibPixelOffset, part.dibWidth, part.dibHeight,
                  index, box, dc, maxWidth, maxHeight);
}

}  // namespace

void DrawDibPreview(const uint8_t *bytes, uint32_t size, int32_t index, RECT *box, HDC dc,
                    DWORD maxWidth, DWORD maxHeight)
{
    if (size < DIB_MIN_ENTRY) {
        DrawDibError(dc, box, "ERROR #1%d IDX%d", index);
        return;
    }
    uint32_t offset = DibPixelOffset(bytes, size);
    if (offset == 0) {
        DrawDibError(dc, box, "ERROR #0%d IDX%d", index);
        return;
    }
    DrawDibBitmap(bytes, bytes + offset, ReadU32(bytes + 4), ReadU32(bytes + 8), index, box, dc,
                  maxWidth, maxHeight);
}

int32_t FindPreviewEntry(FILE *item, uint32_t count)
{
    int best = PREVIEW_FORMAT_COUNT;  // worse than any rank
    int32_t result = -1;
    for (uint32_t i = 0; i < count && i <= (uint32_t)INT32_MAX; i++) {
        uint32_t format = 0;
        if (GetClipbordFileItemBaseFormat(item, (int32_t)i, &format) < 0) {
            // Kept under a format name, empty, or beyond the rooms the file
            // really holds: rooms are walked in order, so when this one
            // cannot be reached (it has no size) neither can any later one,
            // whatever count a damaged header claims.
            uint32_t size;
            if (GetClipboardFileItemSize(item, (int32_t)i, &size) < 0)
                break;
            continue;
        }
        for (int rank = 0; rank < best; rank++) {
            if (previewFormatPriority[rank] == format) {
                best = rank;
                result = (int32_t)i;
                break;
            }
        }
    }
    return result;
}

void DrawItemPreview(int slot, RECT *box, HDC dc, DWORD maxWidth, DWORD maxHeight)
{
    FILE *item = OpenSlotItemFile(slot);
    if (item == NULL)
        return;
    uint32_t count = 0;
    int32_t index = -1;
    if (GetClipbordFileItemsCount(item, &count) >= 0 && count <= ITEM_RECORD_LIMIT)
        index = FindPreviewEntry(item, count);
    if (index < 0) {
        fclose(item);
        DrawNoPreview(dc, box);
        return;
    }

    // The size is checked against the stream by the library: an entry whose
    // data the file does not hold whole has none.
    uint32_t format = 0, size = 0;
    PreviewPart part = {};
    int error = 0;
    if (GetClipbordFileItemBaseFormat(item, index, &format) < 0)
        error = READ_FAILED_FORMAT;
    else if (GetClipboardFileItemSize(item, index, &size) < 0)
        error = READ_FAILED_SIZE;
    else if (size == 0)
        error = READ_FAILED_EMPTY;
    else if (format == CF_TEXT)
        error = ReadTextPart(item, index, size, 1, dc, box, &part);
    else if (format == CF_UNICODETEXT)
        error = ReadTextPart(item, index, size, 2, dc, box, &part);
    else if (format == CF_DIB)
        error = ReadDibPart(item, index, size, box, maxWidth, maxHeight, &part);
    fclose(item);
    if (error != 0) {
        if (part.bytes != NULL)
            platformCalls.freeEntry(part.bytes);
        DrawReadError(dc, box, error);
        return;
    }

    switch (format) {
    case CF_TEXT:
        DrawAnsiText(dc, part.bytes, part.size, part.textLimit, box);
        break;
    case CF_UNICODETEXT:
        DrawUnicodeText(dc, part.bytes, part.size, part.textLimit, box);
        break;
    case CF_DIB:
        DrawDibPart(part, index, box, dc, maxWidth, maxHeight);
        break;
    default:
        // CF_BITMAP and CF_ENHMETAFILE: their clipboard data are object
        // handles, not memory blocks, so capture never stores them and no
        // byte layout exists for them in an item file. Such an entry (from
        // a foreign file) takes part in the choice but draws nothing, and
        // so nothing of it is read.
        break;
    }
    if (part.bytes != NULL)
        platformCalls.freeEntry(part.bytes);
}
