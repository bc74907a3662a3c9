/*
 * fuzz_itemfile: the item-file operations over arbitrary bytes.
 *
 * The input is taken as an item file. Every query runs over it, the
 * comparison runs against a copy of it and against files that the writer
 * builds from pieces of the input, and two entries (one named, one not)
 * are appended, after which everything is read again. Besides crashes and
 * sanitizer reports, an inconsistency between the operations traps:
 *   - a query that succeeds must agree with the others (size and load,
 *     base format and name) and load the bytes the file holds there;
 *   - an insert into a file that cannot be opened must fail and leave it
 *     untouched; an insert that succeeds reads back exactly, and entries
 *     that were readable before any insert still read the same;
 *   - on files the writer built, every query and every comparison gives
 *     what the list of inserted entries says it must.
 *
 * The streams live in memory through fopencookie, with a disk file's
 * behaviour (a write past the end grows the file and zero-fills the gap)
 * and no system calls, so an execution stays well under a millisecond.
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>

#include <string>
#include <vector>

#include "bxml.h"
#include "libtarn.h"

namespace {

/* Queries go to at most this many indices per file; more would make an
 * execution quadratic in the input for no new paths. */
const uint32_t QUERY_LIMIT = 64;

/* Buffers for loaded data are sized exactly dataLength up to this. */
const uint32_t LOAD_LIMIT = 1u << 20;

/* A write that would make a stream longer than its input plus this fails,
 * as on a full disk, instead of growing it without bound. */
const size_t GROWTH_LIMIT = 1u << 20;

/* Entries of the files built from the input: enough for repeated and
 * reordered identities and for two growths of the header area, and few
 * enough that the comparisons, whose name lookups grow with the square of
 * the count, stay a small part of an execution. */
const int BUILT_ENTRIES = 4;

/* Smallest data length of a large built entry: past two 4096-byte pieces. */
const size_t LARGE_ENTRY = 8200;

const uint32_t CF_TEXT = 1;

#define CHECK(condition)                                                                 \
    do {                                                                                 \
        if (!(condition)) {                                                              \
            fprintf(stderr, "fuzz_itemfile: %s:%d: %s\n", __FILE__, __LINE__, #condition); \
            abort();                                                                     \
        }                                                                                \
    } while (0)

/* ---- Streams in memory ---- */

struct MemoryFile {
    std::vector<unsigned char> bytes;
    size_t position;
    size_t limit;
    bool refused; /* a write past the limit was turned down */
};

ssize_t MemoryRead(void *cookie, char *buffer, size_t size)
{
    MemoryFile *file = (MemoryFile *)cookie;
    if (file->position >= file->bytes.size())
        return 0;
    size_t count = file->bytes.size() - file->position;
    if (count > size)
        count = size;
    memcpy(buffer, file->bytes.data() + file->position, count);
    file->position += count;
    return (ssize_t)count;
}

ssize_t MemoryWrite(void *cookie, const char *buffer, size_t size)
{
    MemoryFile *file = (MemoryFile *)cookie;
    if (file->position > file->limit || size > file->limit - file->position) {
        file->refused = true;
        return -1;
    }
    if (file->position + size > file->bytes.size())
        file->bytes.resize(file->position + size, 0);
    memcpy(file->bytes.data() + file->position, buffer, size);
    file->position += size;
    return (ssize_t)size;
}

int MemorySeek(void *cookie, off64_t *offset, int whence)
{
    MemoryFile *file = (MemoryFile *)cookie;
    off64_t base = whence == SEEK_SET   ? 0
                   : whence == SEEK_CUR ? (off64_t)file->position
                                        : (off64_t)file->bytes.size();
    off64_t target = base + *offset;
    if (target < 0)
        return -1;
    file->position = (size_t)target;
    *offset = target;
    return 0;
}

/* The harness keeps its streams from one execution to the next (each use
 * reopens one over new bytes), so that their storage is reused. */
struct Stream {
    MemoryFile file;
    FILE *stream;
    char buffer[512];
};

/* A small stdio buffer keeps the buffered paths (read-write switches,
 * seeks that drop a buffer) without refilling kilobytes per room header. */
void OpenStream(Stream *s, const unsigned char *data, size_t size)
{
    static const cookie_io_functions_t functions = {MemoryRead, MemoryWrite, MemorySeek,
                                                    nullptr};
    s->file.bytes.assign(data, data + size);
    s->file.position = 0;
    s->file.limit = size + GROWTH_LIMIT;
    s->file.refused = false;
    s->stream = fopencookie(&s->file, "w+", functions);
    CHECK(s->stream != nullptr);
    CHECK(setvbuf(s->stream, s->buffer, _IOFBF, sizeof s->buffer) == 0);
}

/* The stream's bytes as the operations left them. */
const std::vector<unsigned char> &Contents(Stream *s)
{
    CHECK(fflush(s->stream) == 0);
    return s->file.bytes;
}

void CloseStream(Stream *s)
{
    fclose(s->stream);
    s->stream = nullptr;
}

/* ---- What the queries report ---- */

struct EntryReport {
    bool hasFormat;
    uint32_t format;
    bool hasName;
    std::string name;
    bool hasSize;
    uint32_t size;
    bool loaded;
    std::vector<unsigned char> data;
};

bool operator==(const EntryReport &a, const EntryReport &b)
{
    return a.hasFormat == b.hasFormat && a.format == b.format && a.hasName == b.hasName &&
           a.name == b.name && a.hasSize == b.hasSize && a.size == b.size &&
           a.loaded == b.loaded && a.data == b.data;
}

/* Parts of a loaded entry read the same bytes as the whole load; a part
 * that is empty or reaches past the entry fails and leaves the buffer. */
void CheckParts(FILE *stream, int32_t index, const std::vector<unsigned char> &data)
{
    const uint32_t size = (uint32_t)data.size();
    const uint32_t middle = size / 3;
    std::vector<unsigned char> part(size, 0xA5);
    CHECK(LoadClipboardFileItemPart(stream, index, middle, part.data(), size - middle) >= 0);
    CHECK(memcmp(part.data(), data.data() + middle, size - middle) == 0);
    CHECK(LoadClipboardFileItemPart(stream, index, size - 1, part.data(), 1) >= 0);
    CHECK(part[0] == data[size - 1]);

    part.assign(size + 1, 0xA5);
    const struct {
        uint32_t offset, length;
    } outside[] = {{size, 1}, {1, size}, {0, size + 1}, {0, 0}, {0xFFFFFFFFu, 2}, {2, 0xFFFFFFFFu}};
    for (const auto &range : outside) {
        uint32_t length = range.length <= size + 1 ? range.length : size + 1;
        CHECK(LoadClipboardFileItemPart(stream, index, range.offset, part.data(),
                                        range.length) < 0);
        for (uint32_t i = 0; i < length; ++i)
            CHECK(part[i] == 0xA5);
    }
}

/* Runs every query on one index and checks that they agree. */
EntryReport QueryEntry(FILE *stream, int32_t index)
{
    EntryReport report = {};

    report.hasFormat = GetClipbordFileItemBaseFormat(stream, index, &report.format) >= 0;
    if (report.hasFormat)
        CHECK(report.format != NAMED_FORMAT);

    char name[256] = {0};
    report.hasName = GetClipbordFileItemFormatName(stream, index, name, 255) >= 0;
    if (report.hasName)
        report.name = name;
    /* An entry has a base format or a name, never both. */
    CHECK(!(report.hasFormat && report.hasName));

    report.hasSize = GetClipboardFileItemSize(stream, index, &report.size) >= 0;
    if (report.hasSize && report.size == 0) {
        /* An empty room: the walk reaches it, nothing else of it reads. */
        CHECK(!report.hasFormat && !report.hasName);
        unsigned char byte = 0x5A;
        CHECK(LoadClipboardFileItem(stream, index, &byte, 1) < 0);
        CHECK(LoadClipboardFileItemPart(stream, index, 0, &byte, 1) < 0);
        CHECK(byte == 0x5A);
    } else if (report.hasSize && report.size <= LOAD_LIMIT) {
        /* A size that is reported can be loaded, and not into less. */
        CHECK(report.size >= 1);
        report.data.resize(report.size);
        unsigned char *buffer = report.data.data();
        report.loaded = LoadClipboardFileItem(stream, index, buffer, report.size) >= 0;
        CHECK(report.loaded);
        CHECK(LoadClipboardFileItem(stream, index, buffer, report.size - 1) < 0);
        CheckParts(stream, index, report.data);
    } else if (!report.hasSize) {
        unsigned char byte = 0x5A;
        CHECK(LoadClipboardFileItem(stream, index, &byte, 0xFFFFFFFFu) < 0);
        CHECK(LoadClipboardFileItemPart(stream, index, 0, &byte, 1) < 0);
        CHECK(byte == 0x5A);
    }
    return report;
}

struct FileReport {
    bool opened;
    uint32_t count;
    std::vector<EntryReport> entries; /* the first QUERY_LIMIT indices */
};

FileReport QueryFile(FILE *stream)
{
    FileReport report = {};

    report.opened = GetClipbordFileItemsCount(stream, &report.count) >= 0;
    uint32_t base;
    char name[256] = {0};
    uint32_t size;
    unsigned char byte;
    if (!report.opened) {
        /* Nothing of a file that cannot be opened is readable. */
        CHECK(GetClipbordFileItemBaseFormat(stream, 0, &base) < 0);
        CHECK(GetClipbordFileItemFormatName(stream, 0, name, 255) < 0);
        CHECK(GetClipboardFileItemSize(stream, 0, &size) < 0);
        CHECK(LoadClipboardFileItem(stream, 0, &byte, 1) < 0);
        CHECK(LoadClipboardFileItemPart(stream, 0, 0, &byte, 1) < 0);
        return report;
    }

    uint32_t limit = report.count < QUERY_LIMIT ? report.count : QUERY_LIMIT;
    for (uint32_t i = 0; i < limit; ++i)
        report.entries.push_back(QueryEntry(stream, (int32_t)i));

    /* Indices outside 0 .. count - 1 never name an entry. */
    const int32_t outside[] = {-1, (int32_t)report.count, INT32_MIN};
    for (int32_t index : outside) {
        if (index < 0 || report.count < 0x7FFFFFFFu) {
            CHECK(GetClipbordFileItemBaseFormat(stream, index, &base) < 0);
            CHECK(GetClipbordFileItemFormatName(stream, index, name, 255) < 0);
            CHECK(GetClipboardFileItemSize(stream, index, &size) < 0);
            CHECK(LoadClipboardFileItem(stream, index, &byte, 1) < 0);
            CHECK(LoadClipboardFileItemPart(stream, index, 0, &byte, 1) < 0);
        }
    }
    return report;
}

uint32_t GetU32(const unsigned char *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

/* The length of the name the tree of an item file holds for index, -1 when
 * it holds none (or the tree cannot be read). */
int32_t StoredNameLength(const std::vector<unsigned char> &bytes, int32_t index)
{
    static unsigned char area[16384];
    if (bytes.size() < 16)
        return -1;
    size_t length = bytes.size() - 16 < sizeof area ? bytes.size() - 16 : sizeof area;
    memset(area, 0, sizeof area);
    memcpy(area, bytes.data() + 16, length);
    bxml_tree tree;
    if (bxml_load(&tree, area, (int32_t)sizeof area) < 0)
        return -1;
    char path[16];
    snprintf(path, sizeof path, "/body/%04X", (unsigned)index);
    uint32_t node;
    char name[256];
    int32_t result = -1;
    if (bxml_convert_name(&tree, path, &node) >= 0)
        result = bxml_read_node(&tree, node, 0, 0, name, (int32_t)sizeof name);
    bxml_free(&tree);
    return result < 0 ? -1 : result;
}

/* Loaded data must be the file's own bytes after the room's header: room
 * 0 starts at headerSize, each next one roomSize further on. */
void CheckDataInPlace(const FileReport &report, const unsigned char *data, size_t size)
{
    if (!report.opened)
        return;
    CHECK(size >= 16);
    uint64_t offset = GetU32(data + 12);
    for (size_t i = 0; i < report.entries.size(); ++i) {
        const EntryReport &entry = report.entries[i];
        CHECK(offset + 16 <= size || !entry.loaded);
        if (offset + 16 > size)
            return;
        if (entry.loaded) {
            CHECK(GetU32(data + offset + 12) == entry.size);
            CHECK(offset + 16 + entry.size <= size);
            CHECK(memcmp(data + offset + 16, entry.data.data(), entry.size) == 0);
        }
        offset += GetU32(data + offset + 8);
    }
}

/* ---- Files the writer builds, and what they must read back ---- */

struct Entry {
    uint32_t format;
    std::string name;
    std::vector<unsigned char> data;
};

/* Cuts the input into entries: each piece's first byte chooses the format
 * identity and the length; a piece shorter than asked takes what is left. */
std::vector<Entry> CutEntries(const unsigned char *data, size_t size)
{
    static const char *const NAMES[] = {"HTML Format", "Rich Text Format"};
    std::vector<Entry> entries;
    size_t at = 0;

    while (at < size && entries.size() < BUILT_ENTRIES) {
        unsigned char control = data[at++];
        Entry entry = {};
        switch (control & 7) {
        case 0: entry.format = CF_TEXT; break;
        case 1: entry.format = 13; break;  /* CF_UNICODETEXT */
        case 2: entry.format = 7; break;   /* CF_OEMTEXT */
        case 3: entry.format = 0xC123; break;
        case 4:
            /* Any number: the low 16 bits are kept, and 0xFFFF among them
             * reads as a named entry without a name. */
            entry.format = 0xFFFF;
            for (int k = 0; k < 3 && at < size; ++k)
                entry.format = entry.format << 8 ^ data[at++];
            break;
        case 5:
        case 6: entry.format = 0xC000 + (control & 7); entry.name = NAMES[(control & 7) - 5]; break;
        case 7:
            entry.format = 0xC200;
            while (at < size && data[at] != 0 && entry.name.size() < 16)
                entry.name += (char)data[at++];
            if (entry.name.empty())
                entry.name = "x";
            break;
        }
        size_t length = 1 + (control >> 3) * 5u;
        if (length > size - at)
            length = size - at;
        if (length == 0) {
            entry.data.push_back(control);
        } else {
            entry.data.assign(data + at, data + at + length);
            at += length;
        }
        /* The largest control makes a room of several kilobytes, so that a
         * growing header area moves the rooms in more than one piece. */
        if (control >= 0xF8) {
            /* Each added byte derives from an earlier one, as in
             * bytes[n] = bytes[k] + k / 61 for the k-th added byte. */
            size_t start = entry.data.size();
            size_t target = LARGE_ENTRY + start * 61;
            entry.data.resize(target);
            unsigned char *bytes = entry.data.data();
            for (size_t k = 0, n = start; n < target; ++k, ++n)
                bytes[n] = (unsigned char)(bytes[k] + k / 61);
        }
        entries.push_back(entry);
    }
    return entries;
}

bool IsNamed(const Entry &entry)
{
    return !entry.name.empty();
}

/* Compare's view: entries with names match by name, the rest by base format. */
bool SameIdentity(const Entry &a, const Entry &b)
{
    if (!IsNamed(a) && !IsNamed(b))
        return (a.format & 0xFFFF) == (b.format & 0xFFFF);
    return a.name == b.name;
}

/* What CompareClipboardFiles must give for files built from these lists:
 * each first entry is compared with its first partner in the second. */
int32_t ExpectedComparison(const std::vector<Entry> &first, const std::vector<Entry> &second)
{
    if (first.size() != second.size())
        return 1;
    for (const Entry &a : first) {
        for (const Entry &b : second) {
            if (!SameIdentity(a, b))
                continue;
            if (a.data != b.data)
                return 1;
            break;
        }
    }
    return 0;
}

void CheckEntryReadsBack(FILE *stream, int32_t index, const Entry &entry)
{
    EntryReport report = QueryEntry(stream, index);
    uint32_t base = entry.format & 0xFFFF;
    if (IsNamed(entry)) {
        CHECK(!report.hasFormat);
        CHECK(report.hasName);
        CHECK(report.name == entry.name.substr(0, 255));
    } else if (base == NAMED_FORMAT) {
        CHECK(!report.hasFormat);
        CHECK(!report.hasName);
    } else {
        CHECK(report.hasFormat);
        CHECK(report.format == base);
        CHECK(!report.hasName);
    }
    CHECK(report.hasSize);
    CHECK(report.size == entry.data.size());
    CHECK(report.loaded);
    CHECK(report.data == entry.data);
}

/* Writes the entries into a new file; with readBack every query must give
 * what was inserted. */
void BuildFile(Stream *s, const std::vector<Entry> &entries, bool readBack)
{
    OpenStream(s, nullptr, 0);
    CHECK(CreateClipboardFile(s->stream) >= 0);
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry &entry = entries[i];
        int32_t index = -1;
        CHECK(InsertClipboardItem(s->stream, entry.format, entry.name.c_str(), entry.data.data(),
                                  (int32_t)entry.data.size(), &index) >= 0);
        CHECK(index == (int32_t)i);
    }
    uint32_t count = 0;
    CHECK(GetClipbordFileItemsCount(s->stream, &count) >= 0);
    CHECK(count == entries.size());
    if (!readBack)
        return;
    for (size_t i = 0; i < entries.size(); ++i)
        CheckEntryReadsBack(s->stream, (int32_t)i, entries[i]);
}

/* The comparison of two streams, both ways where the lists say how. */
void CheckComparison(Stream *a, const std::vector<Entry> &first, Stream *b,
                     const std::vector<Entry> &second)
{
    CHECK(CompareClipboardFiles(a->stream, b->stream) == ExpectedComparison(first, second));
    CHECK(CompareClipboardFiles(b->stream, a->stream) == ExpectedComparison(second, first));
}

/* Files built from the input: the entries in input order (and a copy of
 * that file), reversed, and with the last byte of the last entry changed. */
void FuzzBuiltFiles(const unsigned char *data, size_t size, Stream *input,
                    const FileReport &inputReport)
{
    std::vector<Entry> entries = CutEntries(data, size);
    std::vector<Entry> reversed(entries.rbegin(), entries.rend());
    std::vector<Entry> changed = entries;
    if (!changed.empty())
        changed.back().data.back() ^= 0x5A;

    /* Reading back one of them checks the writer; the others differ only
     * in order and bytes, which the comparisons look at. */
    static Stream built, again, backwards, altered;
    BuildFile(&built, entries, true);
    const std::vector<unsigned char> &bytes = Contents(&built);
    OpenStream(&again, bytes.data(), bytes.size());
    BuildFile(&backwards, reversed, false);

    /* The changed file is the built one with that byte changed in place
     * (the writer has nothing new to show on it): a new file ends with its
     * last room, whose data are followed only by the room's zero fill. */
    OpenStream(&altered, bytes.data(), bytes.size());
    if (!changed.empty()) {
        std::vector<unsigned char> &alteredBytes = altered.file.bytes;
        size_t length = changed.back().data.size();
        size_t fill = ((length + 31) & ~(size_t)15) - 16 - length;
        CHECK(alteredBytes.size() >= fill + 1);
        alteredBytes[alteredBytes.size() - fill - 1] ^= 0x5A;
    }

    CHECK(CompareClipboardFiles(built.stream, again.stream) == ExpectedComparison(entries, entries));
    CheckComparison(&built, entries, &backwards, reversed);
    CheckComparison(&built, entries, &altered, changed);

    /* Against the raw input only the count is sure to decide. */
    int32_t result = CompareClipboardFiles(input->stream, built.stream);
    CHECK(result == 0 || result == 1);
    if (!inputReport.opened || inputReport.count != entries.size())
        CHECK(result == 1);

    CloseStream(&built);
    CloseStream(&again);
    CloseStream(&backwards);
    CloseStream(&altered);
}

/* ---- Appending to the input ---- */

void FuzzAppend(const unsigned char *data, size_t size, Stream *input,
                const FileReport &before)
{
    std::vector<unsigned char> original = Contents(input);

    /* Both entries carry the same bytes, so that whatever names a damaged
     * tree gives them, any pairing the comparison makes holds equal data. */
    Entry named = {0xC0A0, "HTML Format", {}};
    size_t length = size < 40 ? size : 40;
    named.data.assign(data + size - length, data + size);
    if (named.data.empty())
        named.data.push_back(0x42);
    Entry plain = {CF_TEXT, "", named.data};

    uint32_t expected = before.count;
    bool inserted[2];
    const Entry *appended[2] = {&named, &plain};
    int32_t indices[2];
    for (int k = 0; k < 2; ++k) {
        const Entry &entry = *appended[k];
        indices[k] = -1;
        inserted[k] = InsertClipboardItem(input->stream, entry.format, entry.name.c_str(),
                                          entry.data.data(), (int32_t)entry.data.size(),
                                          &indices[k]) >= 0;
        /* A room written far past the end of a damaged file met the
         * growth limit: a full disk, after which the stream is unusable. */
        if (input->file.refused)
            return;
        if (!before.opened) {
            CHECK(!inserted[k]);
            continue;
        }
        uint32_t count = 0;
        CHECK(GetClipbordFileItemsCount(input->stream, &count) >= 0);
        if (inserted[k]) {
            CHECK(indices[k] == (int32_t)expected);
            ++expected;
        }
        CHECK(count == expected);
    }

    if (!before.opened) {
        /* A file that cannot be opened is not written to. */
        CHECK(Contents(input) == original);
        return;
    }
    for (int k = 0; k < 2; ++k) {
        if (inserted[k])
            CheckEntryReadsBack(input->stream, indices[k], *appended[k]);
    }
    /* The entry without a name carries none, whatever nodes the input's
     * tree held: a reader that looks for names in every room agrees. */
    if (inserted[1])
        CHECK(StoredNameLength(Contents(input), indices[1]) <= 0);

    /* Rooms that were readable keep their identity and bytes, wherever the
     * header area's new size has moved them. */
    FileReport after = QueryFile(input->stream);
    CHECK(after.opened);
    for (size_t i = 0; i < before.entries.size(); ++i) {
        if (before.entries[i].loaded)
            CHECK(after.entries[i] == before.entries[i]);
    }
    const std::vector<unsigned char> &now = Contents(input);
    CheckDataInPlace(after, now.data(), now.size());

    static Stream copy;
    OpenStream(&copy, now.data(), now.size());
    int32_t result = CompareClipboardFiles(input->stream, copy.stream);
    CHECK(result == 0 || result == 1);
    if (before.count == 0 && inserted[0] && inserted[1])
        CHECK(result == 0);
    CloseStream(&copy);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Stream input;
    OpenStream(&input, data, size);

    FileReport report = QueryFile(input.stream);
    CheckDataInPlace(report, data, size);
    /* Queries only read. */
    CHECK(Contents(&input).size() == size &&
          (size == 0 || memcmp(Contents(&input).data(), data, size) == 0));

    static Stream copy;
    OpenStream(&copy, data, size);
    int32_t result = CompareClipboardFiles(input.stream, copy.stream);
    CHECK(result == 0 || result == 1);
    if (!report.opened)
        CHECK(result == 1);
    else if (report.count == 0)
        CHECK(result == 0);
    CloseStream(&copy);

    FuzzBuiltFiles(data, size, &input, report);
    FuzzAppend(data, size, &input, report);

    CloseStream(&input);
    return 0;
}
