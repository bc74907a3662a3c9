/*
 * mutation_tests: damaged item files, made deterministically from a seed,
 * through every reader of a stored item that the program has: restore onto
 * Wine's clipboard, the preview into a memory device context, and duplicate
 * detection against the undamaged file.
 *
 * Each damaged file starts as a valid item file (text, Unicode text, HTML,
 * device-independent bitmaps of every bit depth and header kind, foreign
 * formats, many entries) and gets one to three damages: bit flips, cuts,
 * extensions, runs of stray bytes, overwritten counts, header sizes and room
 * fields, changed bitmap headers, changed directory-tree fields.
 *
 * What is checked, for every case:
 *  - no crash: an unhandled exception reports the case and ends the run;
 *  - no read outside an entry: the buffer that the preview reads an entry
 *    (or a part of one) into, through the platform table's allocEntry, ends
 *    exactly where a PAGE_NOACCESS page begins, so a read past its end
 *    faults and a vectored handler reports the case; restore reads each
 *    entry straight into the clipboard's block (allocBlock), exactly as
 *    large as a whole entry of the file; the preview's buffers are no
 *    larger than one, and all are freed again;
 *  - restore puts on the clipboard only the exact bytes of entries of the
 *    file, found here by walking the rooms without libtarn, each under its
 *    own format, and every whole entry of a restorable format gets there;
 *  - a damaged stored item (every fourth file) is taken for a duplicate of
 *    the undamaged one only when its entries still hold all of that item's
 *    bytes that restore puts back.
 *
 * MUTATION_SEED, MUTATION_CASES and MUTATION_CASE (run that case alone) in
 * the environment reproduce a case the run reported.
 */
#include <windows.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "collection/duplicates.h"
#include "collection/platform.h"
#include "collection/restore.h"
#include "collection/slots.h"
#include "itemfiles.h"
#include "libtarn.h"
#include "poll.h"
#include "shell/globals.h"
#include "ui/preview.h"

namespace {

const uint64_t DEFAULT_SEED = 0x5EED0C11Bu;
const int DEFAULT_CASES = 10000;
const DWORD CLIPBOARD_DEADLINE_MS = 5000;
const size_t PAGE = 4096;

const char DAMAGED_NAME[] = "\\mutation.crx";
const char INCOMING_NAME[] = "\\incoming.crx";
const char BASE_NAME[] = "\\mutation-base.crx";

// ---- The case being run, for every report ----

struct CaseInfo {
    uint64_t seed;
    int index;
    std::string story;  // the base file and the damages done to it
    const char *stage;  // the reader at work
    std::string bytes;  // the damaged file
};
CaseInfo currentCase;

// The damaged file of a reported case, kept beside the test program.
const char FAILED_FILE[] = "mutation-failed.crx";

void ReportCase(const char *what)
{
    FILE *kept = fopen(FAILED_FILE, "wb");
    if (kept != NULL) {
        fwrite(currentCase.bytes.data(), 1, currentCase.bytes.size(), kept);
        fclose(kept);
    }
    fprintf(stderr,
            "mutation_tests: %s\n  case %d of seed 0x%llX, during %s\n  %s\n"
            "  rerun: MUTATION_SEED=0x%llX MUTATION_CASE=%d (the file: %s)\n",
            what, currentCase.index, (unsigned long long)currentCase.seed,
            currentCase.stage ? currentCase.stage : "setup", currentCase.story.c_str(),
            (unsigned long long)currentCase.seed, currentCase.index, FAILED_FILE);
    fflush(stderr);
}

// ---- Entry buffers that end at a guard page ----

struct GuardBlock {
    char *base;       // the reservation
    char *guard;      // the PAGE_NOACCESS page right after the entry
    size_t size;      // the entry's bytes, ending at guard
};
std::vector<GuardBlock> liveBlocks;
std::vector<size_t> allocatedSizes;  // every size asked for in this case

void *GuardedAllocEntry(size_t size)
{
    size_t dataPages = size == 0 ? 1 : (size + PAGE - 1) / PAGE;
    char *base = (char *)VirtualAlloc(NULL, (dataPages + 1) * PAGE, MEM_RESERVE | MEM_COMMIT,
                                      PAGE_READWRITE);
    if (base == NULL)
        return NULL;
    char *guard = base + dataPages * PAGE;
    DWORD old;
    if (!VirtualProtect(guard, PAGE, PAGE_NOACCESS, &old)) {
        VirtualFree(base, 0, MEM_RELEASE);
        return NULL;
    }
    liveBlocks.push_back({base, guard, size});
    allocatedSizes.push_back(size);
    return guard - size;
}

// The blocks restore reads entries into are the clipboard's memory: real
// global blocks, their sizes recorded beside the entry buffers'.
HGLOBAL WINAPI RecordedAllocBlock(UINT flags, SIZE_T size)
{
    allocatedSizes.push_back(size);
    return GlobalAlloc(flags, size);
}

void GuardedFreeEntry(void *buffer)
{
    for (size_t i = 0; i < liveBlocks.size(); i++) {
        if (liveBlocks[i].guard - liveBlocks[i].size == (char *)buffer) {
            VirtualFree(liveBlocks[i].base, 0, MEM_RELEASE);
            liveBlocks.erase(liveBlocks.begin() + (long)i);
            return;
        }
    }
    ReportCase("an entry buffer was freed that was never handed out");
    TerminateProcess(GetCurrentProcess(), 3);
}

// A touch of a guard page is a read (or write) past the end of an entry,
// even where the platform would have caught the fault itself.
LONG CALLBACK GuardPageHandler(EXCEPTION_POINTERS *info)
{
    const EXCEPTION_RECORD *record = info->ExceptionRecord;
    if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || record->NumberParameters < 2)
        return EXCEPTION_CONTINUE_SEARCH;
    char *address = (char *)record->ExceptionInformation[1];
    for (const GuardBlock &block : liveBlocks) {
        if (address >= block.guard && address < block.guard + PAGE) {
            char what[200];
            snprintf(what, sizeof what,
                     "%s %zu bytes past the end of a %zu-byte entry (code at %p)",
                     record->ExceptionInformation[0] ? "write" : "read",
                     (size_t)(address - block.guard), block.size, record->ExceptionAddress);
            ReportCase(what);
            TerminateProcess(GetCurrentProcess(), 3);
        }
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

LONG WINAPI CrashFilter(EXCEPTION_POINTERS *info)
{
    char what[200];
    snprintf(what, sizeof what, "crash: exception 0x%08lX at %p",
             (unsigned long)info->ExceptionRecord->ExceptionCode,
             info->ExceptionRecord->ExceptionAddress);
    ReportCase(what);
    TerminateProcess(GetCurrentProcess(), 4);
    return EXCEPTION_EXECUTE_HANDLER;
}

// ---- Deterministic choices ----

struct Rng {
    uint64_t state;
    uint64_t Next()
    {
        uint64_t z = (state += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    uint32_t Below(uint32_t n) { return n == 0 ? 0 : (uint32_t)(Next() % n); }
    bool Percent(uint32_t p) { return Below(100) < p; }
};

// Little-endian fields; a field that an earlier cut has taken away reads
// as 0 and is not written.
uint32_t GetU32(const std::string &b, size_t at)
{
    if (at + 4 > b.size())
        return 0;
    return (uint32_t)(uint8_t)b[at] | (uint32_t)(uint8_t)b[at + 1] << 8 |
           (uint32_t)(uint8_t)b[at + 2] << 16 | (uint32_t)(uint8_t)b[at + 3] << 24;
}

uint16_t GetU16(const std::string &b, size_t at)
{
    if (at + 2 > b.size())
        return 0;
    return (uint16_t)((uint8_t)b[at] | (uint8_t)b[at + 1] << 8);
}

void PutU32(std::string &b, size_t at, uint32_t v)
{
    for (size_t k = 0; k < 4 && at + 4 <= b.size(); k++)
        b[at + k] = (char)(v >> (8 * k));
}

void PutU16(std::string &b, size_t at, uint16_t v)
{
    if (at + 2 > b.size())
        return;
    b[at] = (char)v;
    b[at + 1] = (char)(v >> 8);
}

// ---- The item-file layout, read here without libtarn ----

struct RawRoom {
    uint32_t index;
    uint64_t offset;
    uint16_t baseFormat;
    uint32_t roomSize;
    uint32_t dataLength;
    bool whole;  // a readable entry: its header is sound and its data lie in the file
};

// The rooms from headerSize on, as far as their headers chain: magic
// "ROOM", the expected index, and (to be stepped over) a room size that is
// a multiple of 16 and holds the room's header and data.
std::vector<RawRoom> WalkRooms(const std::string &bytes)
{
    std::vector<RawRoom> rooms;
    if (bytes.size() < 16 || bytes.compare(0, 8, "CLIPBOOK") != 0)
        return rooms;
    uint32_t count = GetU32(bytes, 8);
    uint32_t headerSize = GetU32(bytes, 12);
    if (headerSize % 64 != 0 || headerSize < 64 || headerSize > 16384 || count > 65536)
        return rooms;
    uint64_t offset = headerSize;
    for (uint32_t k = 0; k < count; k++) {
        if (offset + 16 > bytes.size() || bytes.compare((size_t)offset, 4, "ROOM") != 0 ||
            GetU16(bytes, (size_t)offset + 6) != k)
            break;
        RawRoom room;
        room.index = k;
        room.offset = offset;
        room.baseFormat = GetU16(bytes, (size_t)offset + 4);
        room.roomSize = GetU32(bytes, (size_t)offset + 8);
        room.dataLength = GetU32(bytes, (size_t)offset + 12);
        // A room that cannot hold its own header and data cannot be stepped
        // over; one without data is no entry, but can be.
        bool holds = 16 + (uint64_t)room.dataLength <= room.roomSize;
        room.whole = holds && room.dataLength >= 1 && offset + 16 + room.dataLength <= bytes.size();
        rooms.push_back(room);
        if (!holds || room.roomSize % 16 != 0)
            break;
        offset += room.roomSize;
    }
    return rooms;
}

std::string RoomData(const std::string &bytes, const RawRoom &room)
{
    return bytes.substr((size_t)room.offset + 16, room.dataLength);
}

// Restore places standard formats by number, except those whose data are
// object handles, or hold one (a metafile picture), and so mean nothing when
// read back from a file.
bool IsRestorableNumber(uint32_t format)
{
    return format >= 1 && format <= CF_LOCALE && format != CF_BITMAP && format != CF_PALETTE &&
           format != CF_ENHMETAFILE && format != CF_METAFILEPICT;
}

// Whether the clipboard holds what was placed: Wine hands text formats out
// with their end made NUL (the last byte, or the last two of Unicode text),
// whatever the program put there.
bool SameAsPlaced(UINT format, const std::string &got, const std::string &placed)
{
    if (got == placed)
        return true;
    size_t tail = format == CF_UNICODETEXT ? 2 : format == CF_TEXT || format == CF_OEMTEXT ? 1 : 0;
    if (got.size() != placed.size() || tail == 0)
        return false;
    if (tail > placed.size())
        tail = placed.size();
    size_t body = placed.size() - tail;
    if (got.compare(0, body, placed, 0, body) != 0)
        return false;
    for (size_t i = body; i < placed.size(); i++)
        if (got[i] != placed[i] && got[i] != '\0')
            return false;
    return true;
}

// Formats Wine offers on its own when a related one is on the clipboard.
bool IsSynthesized(UINT format)
{
    switch (format) {
    case CF_TEXT: case CF_OEMTEXT: case CF_UNICODETEXT: case CF_LOCALE:
    case CF_DIB: case CF_DIBV5: case CF_BITMAP:
    case CF_METAFILEPICT: case CF_ENHMETAFILE:
        return true;
    default:
        return false;
    }
}

// ---- Valid item files to start from ----

struct BaseFile {
    std::string label;
    std::vector<ItemEntry> entries;
    std::string bytes;
    std::vector<RawRoom> rooms;
};

std::string ItemFolderPath()
{
    char folder[MAX_PATH];
    if (!EnsureItemFolder(folder))
        return std::string();
    return folder;
}

// The item file that the library writes for these entries.
std::string BuildItemFile(const std::vector<ItemEntry> &entries)
{
    std::string path = ItemFolderPath() + BASE_NAME;
    std::string bytes = WriteItemFile(path, entries) ? FileBytes(path) : std::string();
    DeleteFileA(path.c_str());
    return bytes;
}

std::string Wide(const wchar_t *text, bool terminated = true)
{
    size_t units = wcslen(text) + (terminated ? 1 : 0);
    return std::string((const char *)text, units * sizeof(wchar_t));
}

struct DibShape {
    uint32_t headerSize;  // 40, 52, 56, 108 or 124
    uint16_t bitCount;
    uint32_t compression;
    int32_t width, height;  // height < 0: top-down
    uint32_t colorsUsed;
};

// A packed DIB: header, the three masks after a 40-byte header with bit
// fields, the colour table, then the pixels in a pattern.
std::string MakeDib(const DibShape &s)
{
    std::string dib(s.headerSize, '\0');
    PutU32(dib, 0, s.headerSize);
    PutU32(dib, 4, (uint32_t)s.width);
    PutU32(dib, 8, (uint32_t)s.height);
    PutU16(dib, 12, 1);
    PutU16(dib, 14, s.bitCount);
    PutU32(dib, 16, s.compression);
    uint32_t rows = (uint32_t)(s.height < 0 ? -s.height : s.height);
    uint32_t stride = ((uint32_t)s.width * s.bitCount + 31) / 32 * 4;
    PutU32(dib, 20, stride * rows);
    PutU32(dib, 32, s.colorsUsed);
    uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
    if (s.bitCount == 32) {
        masks[0] = 0xFF0000;
        masks[1] = 0x00FF00;
        masks[2] = 0x0000FF;
    }
    if (s.compression == BI_BITFIELDS) {
        if (s.headerSize == 40) {
            for (uint32_t m : masks) {
                std::string field(4, '\0');
                PutU32(field, 0, m);
                dib += field;
            }
        } else {
            for (int k = 0; k < 3; k++)
                PutU32(dib, 40 + 4 * k, masks[k]);
        }
    }
    uint32_t colors = s.colorsUsed != 0 ? s.colorsUsed : (s.bitCount <= 8 ? 1u << s.bitCount : 0);
    for (uint32_t c = 0; c < colors; c++) {
        char quad[4] = {(char)(c * 37), (char)(c * 91), (char)(c * 13), 0};
        dib.append(quad, 4);
    }
    for (uint32_t i = 0; i < stride * rows; i++)
        dib += (char)(i * 7 + i / stride);
    return dib;
}

std::vector<BaseFile> MakeBaseFiles()
{
    const UINT html = RegisterClipboardFormatA("HTML Format");
    const UINT png = RegisterClipboardFormatA("PNG");
    const UINT rtf = RegisterClipboardFormatA("Rich Text Format");
    std::string htmlText = "Version:0.9\r\nStartHTML:0000000105\r\nEndHTML:0000000150\r\n"
                           "<html><body><b>bold</b> and plain</body></html>";
    std::string locale(4, '\0');
    PutU32(locale, 0, 0x0409);

    std::vector<BaseFile> files;
    auto add = [&](const char *label, std::vector<ItemEntry> entries) {
        files.push_back({label, entries, std::string(), {}});
    };
    add("text", {{CF_TEXT, std::string("Hello\tworld,\r\nsecond line\0", 27), ""}});
    add("text without a NUL", {{CF_TEXT, "no terminating zero here at all", ""}});
    add("text, Unicode text, locale",
        {{CF_UNICODETEXT, Wide(L"Gr\x00fc\x00dfe \x263A and more"), ""},
         {CF_LOCALE, locale, ""},
         {CF_TEXT, std::string("Gr\xfc\xdf" "e ? and more\0", 17), ""},
         {CF_OEMTEXT, std::string("Gr?e ? and more\0", 16), ""}});
    add("Unicode text without a NUL", {{CF_UNICODETEXT, Wide(L"odd\x263A", false) + "x", ""}});
    add("HTML and text", {{html, htmlText, "HTML Format"}, {CF_TEXT, std::string("bold\0", 5), ""}});
    add("HTML alone", {{html, htmlText, "HTML Format"}});
    add("long text", {{CF_TEXT, std::string(12000, 'w') + std::string(1, '\0'), ""}});

    const DibShape shapes[] = {
        {40, 1, BI_RGB, 33, 9, 0},       {40, 4, BI_RGB, 17, 5, 0},
        {40, 8, BI_RGB, 10, 7, 0},       {40, 8, BI_RGB, 6, 3, 12},
        {40, 16, BI_RGB, 9, 4, 0},       {40, 16, BI_BITFIELDS, 7, 6, 0},
        {40, 24, BI_RGB, 5, 3, 0},       {40, 24, BI_RGB, 4, -4, 0},
        {40, 32, BI_RGB, 3, 2, 0},       {40, 32, BI_BITFIELDS, 4, 4, 0},
        {52, 16, BI_BITFIELDS, 5, 2, 0}, {56, 32, BI_BITFIELDS, 3, 3, 0},
        {108, 32, BI_BITFIELDS, 1, 1, 0}, {108, 24, BI_RGB, 6, 2, 0},
        {124, 32, BI_BITFIELDS, 2, 2, 0}, {124, 8, BI_RGB, 3, 3, 4},
        {40, 24, BI_RGB, 300, 120, 0},   {40, 1, BI_RGB, 1, 1, 0},
    };
    for (const DibShape &s : shapes) {
        char label[80];
        snprintf(label, sizeof label, "CF_DIB %u-byte header, %u bits, %s, %dx%d, %u colours",
                 s.headerSize, s.bitCount, s.compression == BI_BITFIELDS ? "bit fields" : "RGB",
                 s.width, s.height, s.colorsUsed);
        add(label, {{CF_DIB, MakeDib(s), ""}});
    }
    add("picture, PNG and text",
        {{png, std::string("\x89PNG\r\n\x1a\n-not-really-", 20), "PNG"},
         {CF_DIB, MakeDib({40, 24, BI_RGB, 8, 8, 0}), ""},
         {CF_TEXT, std::string("caption\0", 8), ""}});
    add("foreign numbers",
        {{CF_BITMAP, "not a bitmap handle", ""},
         {CF_ENHMETAFILE, "not a metafile handle", ""},
         {CF_METAFILEPICT, std::string(16, '\x01'), ""},
         {CF_PALETTE, "pal", ""},
         {CF_DIBV5, MakeDib({124, 32, BI_BITFIELDS, 2, 2, 0}), ""},
         {0xC123, "a registered number stored without its name", ""},
         {CF_UNICODETEXT, Wide(L"after the foreign ones"), ""}});
    std::vector<ItemEntry> many;
    for (int i = 0; i < 24; i++) {
        char name[32];
        snprintf(name, sizeof name, "Clipdock Mutation Format %d", i % 7);
        if (i % 3 == 0)
            many.push_back({RegisterClipboardFormatA(name), std::string(1 + i * 5, 'a' + i), name});
        else
            many.push_back({(uint32_t)(i % 2 ? CF_TEXT : CF_UNICODETEXT),
                            std::string(2 + i * 3, (char)('A' + i)), ""});
    }
    add("many entries", many);
    add("rich text, text", {{rtf, "{\\rtf1 hello}", "Rich Text Format"},
                            {CF_TEXT, std::string("hello\0", 6), ""}});

    for (BaseFile &f : files) {
        f.bytes = BuildItemFile(f.entries);
        f.rooms = WalkRooms(f.bytes);
    }
    return files;
}

// ---- Damages ----

uint32_t InterestingU32(Rng &rng, uint32_t original, uint32_t fileSize)
{
    const uint32_t values[] = {0, 1, 2, 15, 16, 17, 31, 32, 63, 64, 128, 255, 256, 4095, 4096,
                               16383, 16384, 16448, 65535, 65536, 65537, 0x7FFFFFFF, 0x80000000u,
                               0xFFFFFFF0u, 0xFFFFFFFEu, 0xFFFFFFFFu};
    switch (rng.Below(6)) {
    case 0: return original + 1;
    case 1: return original - 1;
    case 2: return original + 16 * (1 + rng.Below(4));
    case 3: return fileSize - rng.Below(64);
    case 4: return (uint32_t)rng.Next();
    default: return values[rng.Below(sizeof values / sizeof values[0])];
    }
}

void Damage(Rng &rng, const BaseFile &base, std::string &bytes, std::string &story)
{
    char note[160];
    uint32_t size = (uint32_t)bytes.size();
    const std::vector<RawRoom> &rooms = base.rooms;
    const RawRoom *room = rooms.empty() ? nullptr : &rooms[rng.Below((uint32_t)rooms.size())];
    switch (rng.Below(12)) {
    case 0: {  // bit flips anywhere, or in the first 64 bytes
        int flips = 1 + (int)rng.Below(8);
        bool front = rng.Percent(40);
        for (int k = 0; k < flips && size > 0; k++) {
            uint32_t at = front ? rng.Below(size < 64 ? size : 64) : rng.Below(size);
            bytes[at] ^= (char)(1 << rng.Below(8));
        }
        snprintf(note, sizeof note, "%d bit flips%s", flips, front ? " in the first 64 bytes" : "");
        break;
    }
    case 1: {  // a cut, anywhere or just around a room's data end
        uint32_t at = rng.Below(size + 1);
        if (room != nullptr && rng.Percent(50)) {
            uint64_t end = room->offset + 16 + room->dataLength;
            at = (uint32_t)(end - rng.Below(3));
        }
        bytes.resize(at < bytes.size() ? at : bytes.size());
        snprintf(note, sizeof note, "cut to %u bytes", (unsigned)bytes.size());
        break;
    }
    case 2: {  // an extension
        uint32_t extra = 1 + rng.Below(300);
        bool zeros = rng.Percent(50);
        for (uint32_t k = 0; k < extra; k++)
            bytes += zeros ? '\0' : (char)rng.Next();
        snprintf(note, sizeof note, "%u %s bytes appended", extra, zeros ? "zero" : "random");
        break;
    }
    case 3: {  // a run of stray bytes
        uint32_t length = 1 + rng.Below(64);
        uint32_t at = rng.Below(size);
        for (uint32_t k = 0; k < length && at + k < bytes.size(); k++)
            bytes[at + k] = (char)rng.Next();
        snprintf(note, sizeof note, "%u stray bytes at %u", length, at);
        break;
    }
    case 4: {  // the entry count
        uint32_t count = GetU32(bytes, 8);
        uint32_t value = InterestingU32(rng, count, size);
        PutU32(bytes, 8, value);
        snprintf(note, sizeof note, "itemCount %u := %u", count, value);
        break;
    }
    case 5: {  // the header size
        uint32_t old = GetU32(bytes, 12);
        uint32_t value = rng.Percent(50) ? (old + 64 * (rng.Below(5) - 2)) : InterestingU32(rng, old, size);
        PutU32(bytes, 12, value);
        snprintf(note, sizeof note, "headerSize %u := %u", old, value);
        break;
    }
    case 6:
    case 7: {  // a field of a room header
        if (room == nullptr)
            return Damage(rng, base, bytes, story);
        size_t at = (size_t)room->offset;
        switch (rng.Below(4)) {
        case 0: {
            const uint16_t formats[] = {0, 1, 2, 3, 7, 8, 9, 13, 14, 16, 17, 0x80, 0xC123, 0xFFFF};
            uint16_t value = rng.Percent(80) ? formats[rng.Below(sizeof formats / 2)] : (uint16_t)rng.Next();
            PutU16(bytes, at + 4, value);
            snprintf(note, sizeof note, "baseFormat of room %u := 0x%X", room->index, value);
            break;
        }
        case 1: {
            uint16_t value = (uint16_t)(rng.Percent(50) ? room->index + 1 : rng.Next());
            PutU16(bytes, at + 6, value);
            snprintf(note, sizeof note, "index of room %u := %u", room->index, value);
            break;
        }
        case 2: {
            uint32_t value = InterestingU32(rng, room->roomSize, size);
            PutU32(bytes, at + 8, value);
            snprintf(note, sizeof note, "roomSize of room %u := %u", room->index, value);
            break;
        }
        default: {
            uint32_t value = rng.Percent(30) ? room->roomSize - 16 + rng.Below(3)
                                             : InterestingU32(rng, room->dataLength, size);
            PutU32(bytes, at + 12, value);
            snprintf(note, sizeof note, "dataLength of room %u := %u", room->index, value);
            break;
        }
        }
        break;
    }
    case 8: {  // a field of a bitmap header
        const RawRoom *dib = nullptr;
        for (const RawRoom &r : rooms)
            if ((r.baseFormat == CF_DIB || r.baseFormat == CF_DIBV5) && r.dataLength >= 40)
                dib = &r;
        if (dib == nullptr)
            return Damage(rng, base, bytes, story);
        size_t at = (size_t)dib->offset + 16;
        const uint32_t fieldAt[] = {0, 4, 8, 12, 14, 16, 20, 32};
        uint32_t field = fieldAt[rng.Below(8)];
        uint32_t value;
        if (field == 0) {
            const uint32_t sizes[] = {0, 12, 16, 39, 40, 41, 52, 56, 64, 108, 124, 125, 0xFFFFFFFFu};
            value = rng.Percent(85) ? sizes[rng.Below(13)] : dib->dataLength + rng.Below(3) - 1;
        } else if (field == 14) {
            const uint32_t counts[] = {0, 1, 2, 4, 8, 15, 16, 24, 32, 48, 64};
            value = counts[rng.Below(11)];
        } else if (field == 16) {
            value = rng.Percent(85) ? rng.Below(7) : (uint32_t)rng.Next();
        } else {
            value = InterestingU32(rng, field == 12 ? GetU16(bytes, at + 12) : GetU32(bytes, at + field),
                                   dib->dataLength);
        }
        if (field == 12 || field == 14)
            PutU16(bytes, at + field, (uint16_t)value);
        else
            PutU32(bytes, at + field, value);
        snprintf(note, sizeof note, "bitmap header field at %u of room %u := %u", field, dib->index,
                 value);
        break;
    }
    case 9: {  // a field of the directory tree
        uint32_t headerSize = GetU32(base.bytes, 12);
        uint32_t at = 16 + 4 * rng.Below((headerSize - 16) / 4);
        uint32_t value = InterestingU32(rng, GetU32(bytes, at), headerSize);
        PutU32(bytes, at, value);
        snprintf(note, sizeof note, "tree word at %u := %u", at, value);
        break;
    }
    case 10: {  // an entry made shorter (or longer, into its zero fill) consistently
        if (room == nullptr)
            return Damage(rng, base, bytes, story);
        uint32_t room16 = room->roomSize - 16;
        uint32_t value = rng.Percent(75) ? room->dataLength - 1 - rng.Below(16)
                                         : room->dataLength + 1 + rng.Below(room16 - room->dataLength + 1);
        if (value == 0 || value > room16)
            value = 1;
        PutU32(bytes, (size_t)room->offset + 12, value);
        snprintf(note, sizeof note, "entry %u of %u bytes now says %u", room->index,
                 room->dataLength, value);
        break;
    }
    default: {  // a room's data length and size both past the end
        if (room == nullptr)
            return Damage(rng, base, bytes, story);
        uint32_t length = size - (uint32_t)room->offset - 16 + 1 + rng.Below(64);
        PutU32(bytes, (size_t)room->offset + 8, (length + 31) & ~15u);
        PutU32(bytes, (size_t)room->offset + 12, length);
        snprintf(note, sizeof note, "room %u claims %u data bytes, past the end", room->index,
                 length);
        break;
    }
    }
    story += "; ";
    story += note;
}

// ---- The windows, the clipboard ----

HWND ownerWindow;   // owner of the restores, as the item list is
HWND otherWindow;   // another program: the reads

HWND MakeWindow(const char *title)
{
    return MakeTestWindow("ClipdockMutationTest", title, WS_POPUP, DefWindowProcA);
}

bool restoreAskedClipboard, restoreOpenedClipboard;

// The restore's OpenClipboard, with the same patience as the test's own.
BOOL WINAPI RestoreOpenClipboard(HWND owner)
{
    restoreAskedClipboard = true;
    restoreOpenedClipboard = OpenClipboardWithin(owner, CLIPBOARD_DEADLINE_MS);
    return restoreOpenedClipboard;
}

struct ClipboardContent {
    std::vector<UINT> formats;
    std::map<UINT, std::string> bytes;  // of the formats asked for
};

// The formats on the clipboard, and the bytes of those that wanted(format) asks for.
template <typename Wanted>
bool ReadClipboard(ClipboardContent *content, Wanted wanted)
{
    if (!OpenClipboardWithin(otherWindow, CLIPBOARD_DEADLINE_MS))
        return false;
    for (UINT f = EnumClipboardFormats(0); f != 0; f = EnumClipboardFormats(f)) {
        content->formats.push_back(f);
        if (!wanted(f))
            continue;
        HANDLE data = GetClipboardData(f);
        const char *p = data != NULL ? (const char *)GlobalLock(data) : NULL;
        if (p != NULL) {
            content->bytes[f] = std::string(p, GlobalSize(data));
            GlobalUnlock(data);
        } else {
            content->bytes[f] = std::string("<no data>");
        }
    }
    CloseClipboard();
    return true;
}

// Whether the platform keeps data on the clipboard under format: the test
// window puts it there alone.
bool PlatformTakes(UINT format, const std::string &data)
{
    if (data.empty())
        return true;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, data.size());
    void *p = block != NULL ? GlobalLock(block) : NULL;
    if (p != NULL) {
        memcpy(p, data.data(), data.size());
        GlobalUnlock(block);
    }
    if (p == NULL || !OpenClipboardWithin(otherWindow, CLIPBOARD_DEADLINE_MS)) {
        ADD_FAILURE() << "cannot ask the clipboard";
        if (block != NULL)
            GlobalFree(block);
        return true;
    }
    EmptyClipboard();
    bool taken = SetClipboardData(format, block) != NULL;
    CloseClipboard();
    if (!taken)
        GlobalFree(block);
    return taken;
}

// ---- One case ----

// Milliseconds since the run began, for the time each reader takes.
double Now()
{
    static LARGE_INTEGER frequency;
    LARGE_INTEGER count;
    if (frequency.QuadPart == 0)
        QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&count);
    return 1000.0 * (double)count.QuadPart / (double)frequency.QuadPart;
}

struct Context {
    std::string folder;
    std::vector<BaseFile> bases;
    HDC dc;
    std::map<std::string, UINT> registered;  // names met in entries
    const BaseFile *incoming = nullptr;       // the file on disk as the new item
    int restoredCases = 0, untouchedCases = 0, duplicateCases = 0, placedFormats = 0;
    double writeMs = 0, previewMs = 0, restoreMs = 0, restoreCallMs = 0, duplicatesMs = 0;
};

UINT Registered(Context &c, const std::string &name)
{
    auto found = c.registered.find(name);
    if (found != c.registered.end())
        return found->second;
    return c.registered[name] = RegisterClipboardFormatA(name.c_str());
}

// The format numbers that the whole named rooms register as, through the
// names the library reads from the file's tree.
std::map<uint32_t, UINT> NamedRoomFormats(Context &c, const std::string &path,
                                          const std::vector<RawRoom> &rooms)
{
    std::map<uint32_t, UINT> formats;
    FILE *f = fopen(path.c_str(), "rb");
    if (f == NULL)
        return formats;
    for (const RawRoom &r : rooms) {
        if (!r.whole || r.baseFormat != NAMED_FORMAT)
            continue;
        char name[256] = {0};
        if (GetClipbordFileItemFormatName(f, (int32_t)r.index, name, 255) >= 0 && name[0] != '\0')
            formats[r.index] = Registered(c, name);
    }
    fclose(f);
    return formats;
}

std::string Hex(const std::string &bytes)
{
    std::string text;
    char piece[4];
    for (size_t i = 0; i < bytes.size() && i < 24; i++) {
        snprintf(piece, sizeof piece, "%02X ", (uint8_t)bytes[i]);
        text += piece;
    }
    return text + (bytes.size() > 24 ? "..." : "") + " (" + std::to_string(bytes.size()) + " bytes)";
}

// A buffer of size bytes is a whole entry of the file (or, for a reader
// that reads only a part, no larger than one).
bool FitsAnEntry(const std::vector<RawRoom> &rooms, size_t size, bool whole)
{
    for (const RawRoom &r : rooms)
        if (r.whole && (whole ? r.dataLength == size : size <= r.dataLength))
            return true;
    return false;
}

void CheckBuffers(const std::vector<RawRoom> &rooms, bool whole)
{
    EXPECT_TRUE(liveBlocks.empty()) << "an entry buffer was not freed";
    for (size_t size : allocatedSizes)
        EXPECT_TRUE(FitsAnEntry(rooms, size, whole))
            << "a buffer of " << size << " bytes is "
            << (whole ? "no whole entry" : "larger than any entry") << " of the file";
    while (!liveBlocks.empty())
        GuardedFreeEntry(liveBlocks.back().guard - liveBlocks.back().size);
    allocatedSizes.clear();
}

void RunPreview(Context &c, Rng &rng, const std::vector<RawRoom> &rooms)
{
    // The boxes of the item list, the popup and the panel's header.
    static const RECT boxes[] = {{20, 0, 160, 54}, {3, 0, 197, 102}, {8, 0, 172, 44}};
    RECT box = boxes[rng.Below(3)];
    currentCase.stage = "the preview";
    DrawItemPreview(1, &box, c.dc, (DWORD)(box.right - box.left), (DWORD)(box.bottom - box.top));
    CheckBuffers(rooms, false);
}

void RunRestore(Context &c, const std::string &bytes, const std::vector<RawRoom> &rooms)
{
    const std::string path = c.folder + DAMAGED_NAME;
    currentCase.stage = "the restore";
    restoreAskedClipboard = restoreOpenedClipboard = false;
    DWORD sequence = GetClipboardSequenceNumber();
    double started = Now();
    RestoreClipboardItem(1, ownerWindow);
    c.restoreCallMs += Now() - started;
    bool untouched = GetClipboardSequenceNumber() == sequence;
    ASSERT_TRUE(restoreOpenedClipboard || !restoreAskedClipboard)
        << "the clipboard stayed busy for " << CLIPBOARD_DEADLINE_MS << " ms";
    CheckBuffers(rooms, true);
    currentCase.stage = "the clipboard check";

    std::map<uint32_t, UINT> named = NamedRoomFormats(c, path, rooms);
    // For each format, the whole entries restore would place under it.
    std::map<UINT, std::vector<const RawRoom *>> candidates;
    for (const RawRoom &r : rooms) {
        if (!r.whole)
            continue;
        if (r.baseFormat == NAMED_FORMAT) {
            if (named.count(r.index))
                candidates[named[r.index]].push_back(&r);
        } else if (IsRestorableNumber(r.baseFormat)) {
            candidates[r.baseFormat].push_back(&r);
        }
    }

    if (untouched) {
        // The restore left the clipboard alone: only right when the file
        // cannot be opened as an item file at all, or counts more records
        // than any clipboard offers.
        c.untouchedCases++;
        EXPECT_FALSE(restoreAskedClipboard) << "the restore opened the clipboard and left it as it was";
        FILE *f = fopen(path.c_str(), "rb");
        uint32_t count = 0;
        bool opens = f != NULL && GetClipbordFileItemsCount(f, &count) >= 0 &&
                     count <= ITEM_RECORD_LIMIT;
        if (f != NULL)
            fclose(f);
        EXPECT_FALSE(opens) << "the file opens, yet the restore did not touch the clipboard";
        return;
    }
    c.restoredCases++;
    EXPECT_EQ(GetClipboardOwner(), ownerWindow);
    ClipboardContent content;
    ASSERT_TRUE(ReadClipboard(&content, [&](UINT f) {
        return candidates.count(f) || !IsSynthesized(f);
    }));
    // A format may lack its entry's bytes only where the platform itself
    // turns them down (Wine 10 refuses a CF_UNICODETEXT block too short for
    // one character, and may then make that format from another one); the
    // platform is asked directly, once the content has been read.
    auto Refused = [&](UINT f) {
        for (const RawRoom *r : candidates[f])
            if (PlatformTakes(f, RoomData(bytes, *r)))
                return false;
        return true;
    };
    for (UINT f : content.formats) {
        auto placed = candidates.find(f);
        if (placed == candidates.end()) {
            EXPECT_TRUE(IsSynthesized(f))
                << "format " << f << " is on the clipboard, but no whole entry holds it: "
                << Hex(content.bytes[f]);
            continue;
        }
        c.placedFormats++;
        const std::string &got = content.bytes[f];
        bool exact = false;
        std::string entries;
        for (const RawRoom *r : placed->second) {
            exact = exact || SameAsPlaced(f, got, RoomData(bytes, *r));
            entries += " " + std::to_string(r->index) + ": " + Hex(RoomData(bytes, *r));
        }
        if (!exact && IsSynthesized(f) && Refused(f))
            continue;  // made by the platform from another format
        EXPECT_TRUE(exact) << "format " << f << " holds " << Hex(got)
                           << ", the bytes of no entry of that format; its entries:" << entries;
    }
    for (const auto &entry : candidates)
        EXPECT_TRUE(content.bytes.count(entry.first) || Refused(entry.first))
            << "the whole entry " << entry.second.front()->index << " of format " << entry.first
            << " was not restored";
}

void RunDuplicates(Context &c, const BaseFile &base, const std::string &bytes,
                   const std::vector<RawRoom> &rooms)
{
    // The undamaged file stays on disk from one case to the next, until a
    // duplicate verdict deletes it.
    if (c.incoming != &base) {
        ASSERT_TRUE(WriteFileBytes(c.folder + INCOMING_NAME, base.bytes));
        c.incoming = &base;
    }
    memset(itemSlots, 0, sizeof itemSlots);
    itemSlots[0].flags = SLOT_OCCUPIED | SLOT_CURRENT;
    strcpy(itemSlots[0].name, INCOMING_NAME);
    itemSlots[1].flags = SLOT_OCCUPIED;
    strcpy(itemSlots[1].name, DAMAGED_NAME);
    currentCase.stage = "duplicate detection";
    FindDuplicateItem(NULL);
    bool dropped = itemSlots[0].flags == 0;
    if (!dropped)
        return;
    c.incoming = nullptr;
    c.duplicateCases++;
    EXPECT_TRUE(itemSlots[1].flags & SLOT_CURRENT);
    // Taken for a duplicate: every entry of the new item that restore puts
    // back is still in the damaged one, whole, under the same kind of identity.
    for (const ItemEntry &e : base.entries) {
        if (e.name.empty() && !IsRestorableNumber(e.format))
            continue;
        uint16_t kind = e.name.empty() ? (uint16_t)(e.format & 0xFFFF) : (uint16_t)NAMED_FORMAT;
        bool held = false;
        for (const RawRoom &r : rooms)
            held = held || (r.whole && r.baseFormat == kind && RoomData(bytes, r) == e.data);
        EXPECT_TRUE(held) << "taken for a duplicate, but " << Hex(e.data) << " is not in it";
    }
}

bool HasRepeatedFormats(const BaseFile &base)
{
    for (size_t i = 0; i < base.entries.size(); i++)
        for (size_t j = 0; j < i; j++)
            if (base.entries[i].name == base.entries[j].name &&
                (!base.entries[i].name.empty() ||
                 (base.entries[i].format & 0xFFFF) == (base.entries[j].format & 0xFFFF)))
                return true;
    return false;
}

void RunCase(Context &c, uint64_t seed, int index)
{
    Rng rng{seed ^ (0xA24BAED4963EE407u * (uint64_t)(index + 1))};
    rng.Next();
    const BaseFile &base = c.bases[rng.Below((uint32_t)c.bases.size())];
    currentCase.seed = seed;
    currentCase.index = index;
    currentCase.stage = "setup";
    currentCase.story = "base \"" + base.label + "\"";
    std::string bytes = base.bytes;
    // One case in forty stays whole, as a control for the checks.
    int damages = index % 40 == 0 ? 0 : 1 + (int)rng.Below(3);
    for (int k = 0; k < damages; k++)
        Damage(rng, base, bytes, currentCase.story);
    SCOPED_TRACE(currentCase.story + " (case " + std::to_string(index) + ")");

    currentCase.bytes = bytes;
    double written = Now();
    ASSERT_TRUE(WriteFileBytes(c.folder + DAMAGED_NAME, bytes));
    c.writeMs += Now() - written;
    std::vector<RawRoom> rooms = WalkRooms(bytes);
    if (damages == 0) {
        ASSERT_EQ(rooms.size(), base.entries.size());
    }

    memset(itemSlots, 0, sizeof itemSlots);
    itemSlots[1].flags = SLOT_OCCUPIED;
    strcpy(itemSlots[1].name, DAMAGED_NAME);
    double t0 = Now();
    RunPreview(c, rng, rooms);
    double t1 = Now();
    RunRestore(c, bytes, rooms);
    double t2 = Now();
    // Duplicate detection looks the item folder up again for every file it
    // opens, which is slow under Wine: every fourth file goes through it.
    if (index % 4 == 0)
        RunDuplicates(c, base, bytes, rooms);
    double t3 = Now();
    c.previewMs += t1 - t0;
    c.restoreMs += t2 - t1;
    c.duplicatesMs += t3 - t2;
    // An undamaged copy is a duplicate, unless formats repeat in it: the
    // comparison matches each entry with the first of its format only, and
    // a clipboard never holds a format twice.
    if (damages == 0 && index % 4 == 0 && !HasRepeatedFormats(base)) {
        EXPECT_EQ(itemSlots[0].flags, 0u) << "an undamaged copy is a duplicate";
    }
    currentCase.stage = "between cases";
}

uint64_t EnvNumber(const char *name, uint64_t fallback)
{
    const char *text = getenv(name);
    return text != NULL && *text != '\0' ? strtoull(text, NULL, 0) : fallback;
}

class MutationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        handler = AddVectoredExceptionHandler(1, GuardPageHandler);
        SetUnhandledExceptionFilter(CrashFilter);
        if (ownerWindow == NULL) {
            appInstance = GetModuleHandleA(NULL);
            ownerWindow = MakeWindow("item list");
            otherWindow = MakeWindow("another program");
            itemListWindow = ownerWindow;
        }
        platformCalls = realPlatformCalls;
        platformCalls.allocEntry = GuardedAllocEntry;
        platformCalls.freeEntry = GuardedFreeEntry;
        platformCalls.allocBlock = RecordedAllocBlock;
        platformCalls.openClipboard = RestoreOpenClipboard;
        memset(itemSlots, 0, sizeof itemSlots);
        screen = GetDC(NULL);
        context.dc = CreateCompatibleDC(screen);
        bitmap = CreateCompatibleBitmap(screen, 200, 120);
        previous = SelectObject(context.dc, bitmap);
        context.folder = ItemFolderPath();
        ASSERT_FALSE(context.folder.empty());
    }

    void TearDown() override
    {
        SelectObject(context.dc, previous);
        DeleteObject(bitmap);
        DeleteDC(context.dc);
        ReleaseDC(NULL, screen);
        DeleteFileA((context.folder + DAMAGED_NAME).c_str());
        DeleteFileA((context.folder + INCOMING_NAME).c_str());
        memset(itemSlots, 0, sizeof itemSlots);
        platformCalls = realPlatformCalls;
        RemoveVectoredExceptionHandler(handler);
    }

    Context context;
    void *handler;
    HDC screen;
    HBITMAP bitmap;
    HGDIOBJ previous;
};

TEST_F(MutationTest, GuardedEntryBuffersEndAtAnInaccessiblePage)
{
    for (size_t size : {(size_t)1, (size_t)37, PAGE - 1, PAGE, PAGE + 1, (size_t)3 * PAGE + 5}) {
        char *p = (char *)platformCalls.allocEntry(size);
        ASSERT_NE(p, nullptr);
        memset(p, 0x5A, size);  // every byte of the entry is there
        MEMORY_BASIC_INFORMATION after;
        ASSERT_NE(VirtualQuery(p + size, &after, sizeof after), 0u);
        EXPECT_EQ(after.BaseAddress, (void *)(p + size)) << size;
        EXPECT_EQ(after.Protect, (DWORD)PAGE_NOACCESS) << size;
        platformCalls.freeEntry(p);
    }
    EXPECT_TRUE(liveBlocks.empty());
    allocatedSizes.clear();
}

// Run as a second process: the platform reads one character past the end of
// a guarded entry, as a reader that trusted a wrong length would.
TEST_F(MutationTest, ProbeReadPastTheEnd)
{
    if (getenv("MUTATION_PROBE") == NULL)
        GTEST_SKIP() << "only as the second process of GuardPageStopsAReadPastTheEnd";
    currentCase.story = "probe";
    currentCase.stage = "the probe";
    char *text = (char *)platformCalls.allocEntry(5);
    memcpy(text, "abcde", 5);
    RECT box = {0, 0, 100, 40};
    DrawTextA(context.dc, text, 6, &box, DT_EXPANDTABS | DT_WORDBREAK);
    printf("the read past the end went unnoticed\n");
}

TEST_F(MutationTest, GuardPageStopsAReadPastTheEnd)
{
    if (getenv("MUTATION_PROBE") != NULL)
        GTEST_SKIP();
    char program[MAX_PATH];
    ASSERT_NE(GetModuleFileNameA(NULL, program, sizeof program), 0u);
    std::string command = std::string("\"") + program +
                          "\" --gtest_filter=MutationTest.ProbeReadPastTheEnd";
    SetEnvironmentVariableA("MUTATION_PROBE", "1");
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE readEnd, writeEnd;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION child = {};
    BOOL started = CreateProcessA(NULL, &command[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup,
                                  &child);
    SetEnvironmentVariableA("MUTATION_PROBE", NULL);
    CloseHandle(writeEnd);
    ASSERT_TRUE(started);
    std::string output;
    char chunk[512];
    DWORD got;
    while (ReadFile(readEnd, chunk, sizeof chunk, &got, NULL) && got > 0)
        output.append(chunk, got);
    CloseHandle(readEnd);
    ASSERT_EQ(WaitForSingleObject(child.hProcess, 60000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeProcess(child.hProcess, &code);
    CloseHandle(child.hProcess);
    CloseHandle(child.hThread);
    EXPECT_EQ(code, 3u) << output;
    EXPECT_NE(output.find("read 0 bytes past the end of a 5-byte entry"), std::string::npos)
        << output;
}

TEST_F(MutationTest, ReadersGoThroughTheGuardedBuffers)
{
    // An undamaged text item: the preview and the restore each read the
    // text entry into one buffer of exactly its size.
    std::string text("guarded\0", 8);
    std::string bytes = BuildItemFile({{CF_TEXT, text, ""}});
    ASSERT_TRUE(WriteFileBytes(context.folder + DAMAGED_NAME, bytes));
    itemSlots[1].flags = SLOT_OCCUPIED;
    strcpy(itemSlots[1].name, DAMAGED_NAME);
    RECT box = {20, 0, 160, 54};
    DrawItemPreview(1, &box, context.dc, 140, 54);
    ASSERT_EQ(allocatedSizes, std::vector<size_t>{text.size()});
    allocatedSizes.clear();
    RestoreClipboardItem(1, ownerWindow);
    EXPECT_EQ(allocatedSizes, std::vector<size_t>{text.size()});
    EXPECT_TRUE(liveBlocks.empty());
    allocatedSizes.clear();
    ClipboardContent content;
    ASSERT_TRUE(ReadClipboard(&content, [](UINT f) { return f == CF_TEXT; }));
    EXPECT_EQ(content.bytes[CF_TEXT], text);
}

// Found by the damaged files: the preview handed the platform a one-byte
// Unicode entry as text of no characters, and the platform read a whole
// first character of it, one byte past the entry.
TEST_F(MutationTest, PreviewOfAOneByteUnicodeEntryStaysInside)
{
    std::string bytes = BuildItemFile({{CF_UNICODETEXT, "x", ""}});
    ASSERT_TRUE(WriteFileBytes(context.folder + DAMAGED_NAME, bytes));
    itemSlots[1].flags = SLOT_OCCUPIED;
    strcpy(itemSlots[1].name, DAMAGED_NAME);
    currentCase.story = "a one-byte Unicode entry";
    currentCase.stage = "the preview";
    RECT box = {20, 0, 160, 54};
    DrawItemPreview(1, &box, context.dc, 140, 54);  // a read past the entry ends the run
    EXPECT_EQ(allocatedSizes, std::vector<size_t>{1});
    EXPECT_TRUE(liveBlocks.empty());
    allocatedSizes.clear();
}

// A metafile picture's bytes hold a handle of the session that captured
// them: restore leaves them out, and places the rest.
TEST_F(MutationTest, RestoreLeavesOutMetafilePictures)
{
    std::string picture(24, '\x01');  // mapping mode, extents, then a handle
    std::string text("after it\0", 9);
    std::string bytes =
        BuildItemFile({{CF_METAFILEPICT, picture, ""}, {CF_TEXT, text, ""}});
    ASSERT_TRUE(WriteFileBytes(context.folder + DAMAGED_NAME, bytes));
    itemSlots[1].flags = SLOT_OCCUPIED;
    strcpy(itemSlots[1].name, DAMAGED_NAME);
    RestoreClipboardItem(1, ownerWindow);
    EXPECT_EQ(allocatedSizes, std::vector<size_t>{text.size()});
    allocatedSizes.clear();
    ClipboardContent content;
    ASSERT_TRUE(ReadClipboard(&content, [](UINT f) { return f == CF_TEXT; }));
    EXPECT_EQ(content.bytes[CF_TEXT], text);
    for (UINT f : content.formats)
        EXPECT_NE(f, (UINT)CF_METAFILEPICT);
}

TEST_F(MutationTest, DamagedItemFilesReadCleanly)
{
    uint64_t seed = EnvNumber("MUTATION_SEED", DEFAULT_SEED);
    int cases = (int)EnvNumber("MUTATION_CASES", DEFAULT_CASES);
    int only = (int)EnvNumber("MUTATION_CASE", (uint64_t)-1);
    context.bases = MakeBaseFiles();
    for (const BaseFile &base : context.bases) {
        ASSERT_FALSE(base.bytes.empty()) << base.label;
        ASSERT_EQ(base.rooms.size(), base.entries.size()) << base.label;
    }

    DWORD start = GetTickCount();
    int run = 0;
    for (int index = 0; index < cases; index++) {
        if (only >= 0 && index != only)
            continue;
        RunCase(context, seed, index);
        run++;
        if (HasFailure()) {
            ReportCase("a check failed");
            break;
        }
    }
    DWORD elapsed = GetTickCount() - start;
    printf("mutation_tests: %d damaged item files from seed 0x%llX in %lu ms: %d restored "
           "(%d formats placed), %d left the clipboard alone, %d taken for duplicates\n",
           run, (unsigned long long)seed, (unsigned long)elapsed, context.restoredCases,
           context.placedFormats, context.untouchedCases, context.duplicateCases);
    printf("mutation_tests: ms spent writing the files %.0f, in the preview %.0f, the restore "
           "%.0f and its checks %.0f, duplicate detection %.0f\n",
           context.writeMs, context.previewMs, context.restoreCallMs,
           context.restoreMs - context.restoreCallMs, context.duplicatesMs);
    if (only < 0 && run >= 100) {
        // The damages must leave both kinds of outcome common, or the
        // checks above would be looking at one of them only.
        EXPECT_GT(context.restoredCases, run / 10);
        EXPECT_GT(context.untouchedCases, run / 20);
    }
}

}  // namespace
