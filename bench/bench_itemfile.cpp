/*
 * bench_itemfile: the item-file operations on files on disk, each beside
 * the plain stdio work that moves the same bytes on the same kind of
 * stream, so that the ratio shows what the layout and the operations cost
 * on top of the transfer itself:
 *
 *   insert, load, insert+load   1 KB, 1 MB, 32 MB    fwrite, fread, both
 *   compare 16 x 1 MB           two equal files      reading both once
 *   header growth               a 31 MB file whose next named insert
 *                               grows the header area, moving every room
 *                                                    reading the rooms and
 *                                                    writing them 64 on
 *
 * After the Google Benchmark output it prints one line per figure,
 *   BENCH|figure|value|baseline|unit
 * (baseline "-" when there is none), which scripts/bench.sh collects.
 */
#include <benchmark/benchmark.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "libtarn.h"

namespace {

const uint32_t KB = 1024;
const uint32_t MB = 1024 * 1024;
const uint32_t CF_TEXT = 1;
const char HTML_NAME[] = "HTML Format";

std::string benchDir;
std::set<std::string> failedBenchmarks; /* by row name */
std::string runningBenchmark;           /* row name of the benchmark that runs */

/* Bytes that do not compress or repeat, the same for every run. */
const std::vector<unsigned char> &Payload(size_t size)
{
    static std::map<size_t, std::vector<unsigned char>> cache;
    std::vector<unsigned char> &bytes = cache[size];
    if (bytes.size() != size) {
        bytes.resize(size);
        uint32_t state = 0x9E3779B9u ^ (uint32_t)size;
        for (size_t i = 0; i < size; ++i) {
            state = state * 1664525u + 1013904223u;
            bytes[i] = (unsigned char)(state >> 24);
        }
    }
    return bytes;
}

std::string PathOf(const char *name)
{
    return benchDir + "/" + name;
}

bool Fail(benchmark::State &state, const char *what)
{
    failedBenchmarks.insert(runningBenchmark);
    state.SkipWithError(what);
    return false;
}

/* headerSize from the file header: bytes 12 to 15, little-endian. */
uint32_t HeaderSizeOf(FILE *stream)
{
    unsigned char header[16];
    if (fseek(stream, 0, SEEK_SET) != 0 || fread(header, 1, 16, stream) != 16)
        return 0;
    return (uint32_t)header[12] | (uint32_t)header[13] << 8 | (uint32_t)header[14] << 16 |
           (uint32_t)header[15] << 24;
}

struct ItemEntry {
    uint32_t format;
    const std::vector<unsigned char> *data;
};

/* An item file at path holding the given unnamed entries. */
bool MakeItemFile(const std::string &path, const std::vector<ItemEntry> &entries)
{
    FILE *stream = fopen(path.c_str(), "w+b");
    if (stream == nullptr)
        return false;
    bool ok = CreateClipboardFile(stream) >= 0;
    for (const ItemEntry &entry : entries) {
        ok = ok && InsertClipboardItem(stream, entry.format, "", entry.data->data(),
                                       (int32_t)entry.data->size(), nullptr) >= 0;
    }
    return fclose(stream) == 0 && ok;
}

/* Prepared files are made once per run, whichever benchmark needs them first. */
bool Prepared(const std::string &path)
{
    static std::set<std::string> done;
    return !done.insert(path).second;
}

bool MakePlainFile(const std::string &path, const std::vector<unsigned char> &bytes)
{
    FILE *stream = fopen(path.c_str(), "w+b");
    if (stream == nullptr)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
    return fclose(stream) == 0 && ok;
}

/* ---- Insert and load ---- */

void Insert(benchmark::State &state, bool load)
{
    const std::vector<unsigned char> &bytes = Payload((size_t)state.range(0));
    std::vector<unsigned char> back(bytes.size());
    std::string path = PathOf("insert.crx");

    for (auto _ : state) {
        FILE *stream = fopen(path.c_str(), "w+b");
        if (stream == nullptr)
            return (void)Fail(state, "fopen");
        bool ok = CreateClipboardFile(stream) >= 0 &&
                  InsertClipboardItem(stream, CF_TEXT, "", bytes.data(), (int32_t)bytes.size(),
                                      nullptr) >= 0;
        if (ok && load)
            ok = LoadClipboardFileItem(stream, 0, back.data(), (uint32_t)back.size()) >= 0;
        if (fclose(stream) != 0 || !ok)
            return (void)Fail(state, "insert or load failed");
    }
    if (load && back != bytes)
        Fail(state, "loaded data differ");
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)bytes.size() * (load ? 2 : 1));
}

void InsertStdio(benchmark::State &state, bool load)
{
    const std::vector<unsigned char> &bytes = Payload((size_t)state.range(0));
    std::vector<unsigned char> back(bytes.size());
    std::string path = PathOf("insert.bin");

    for (auto _ : state) {
        FILE *stream = fopen(path.c_str(), "w+b");
        if (stream == nullptr)
            return (void)Fail(state, "fopen");
        bool ok = fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
        if (ok && load)
            ok = fseek(stream, 0, SEEK_SET) == 0 &&
                 fread(back.data(), 1, back.size(), stream) == back.size();
        if (fclose(stream) != 0 || !ok)
            return (void)Fail(state, "fwrite or fread failed");
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)bytes.size() * (load ? 2 : 1));
}

void Load(benchmark::State &state)
{
    const std::vector<unsigned char> &bytes = Payload((size_t)state.range(0));
    std::vector<unsigned char> back(bytes.size());
    std::string path = PathOf("load.crx") + std::to_string(bytes.size());
    if (!Prepared(path) && !MakeItemFile(path, {{CF_TEXT, &bytes}}))
        return (void)Fail(state, "preparing the item file");

    for (auto _ : state) {
        FILE *stream = fopen(path.c_str(), "r+b");
        if (stream == nullptr)
            return (void)Fail(state, "fopen");
        bool ok = LoadClipboardFileItem(stream, 0, back.data(), (uint32_t)back.size()) >= 0;
        if (fclose(stream) != 0 || !ok)
            return (void)Fail(state, "load failed");
    }
    if (back != bytes)
        Fail(state, "loaded data differ");
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)bytes.size());
}

void LoadStdio(benchmark::State &state)
{
    const std::vector<unsigned char> &bytes = Payload((size_t)state.range(0));
    std::vector<unsigned char> back(bytes.size());
    std::string path = PathOf("load.bin") + std::to_string(bytes.size());
    if (!Prepared(path) && !MakePlainFile(path, bytes))
        return (void)Fail(state, "preparing the plain file");

    for (auto _ : state) {
        FILE *stream = fopen(path.c_str(), "r+b");
        if (stream == nullptr)
            return (void)Fail(state, "fopen");
        bool ok = fread(back.data(), 1, back.size(), stream) == back.size();
        if (fclose(stream) != 0 || !ok)
            return (void)Fail(state, "fread failed");
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)bytes.size());
}

/* ---- Comparison ---- */

const int COMPARE_ENTRIES = 16;

/* Two equal files of 16 entries, each of its own format, so that every
 * entry's partner is the entry at the same index and all data is compared. */
bool MakeCompareFiles(std::string *first, std::string *second)
{
    *first = PathOf("compare-1.crx");
    *second = PathOf("compare-2.crx");
    if (Prepared(*first))
        return true;
    std::vector<std::vector<unsigned char>> data(COMPARE_ENTRIES, Payload(MB));
    std::vector<ItemEntry> entries;
    for (int i = 0; i < COMPARE_ENTRIES; ++i) {
        data[i][0] = (unsigned char)i;
        entries.push_back({CF_TEXT + (uint32_t)i, &data[i]});
    }
    return MakeItemFile(*first, entries) && MakeItemFile(*second, entries);
}

void Compare(benchmark::State &state)
{
    std::string first, second;
    if (!MakeCompareFiles(&first, &second))
        return (void)Fail(state, "preparing the item files");

    for (auto _ : state) {
        FILE *a = fopen(first.c_str(), "r+b");
        FILE *b = fopen(second.c_str(), "r+b");
        int32_t result = a && b ? CompareClipboardFiles(a, b) : -1;
        if (a)
            fclose(a);
        if (b)
            fclose(b);
        if (result != 0)
            return (void)Fail(state, "equal files did not compare equal");
    }
    state.SetBytesProcessed((int64_t)state.iterations() * 2 * COMPARE_ENTRIES * MB);
}

/* Reads each of the same two files once, whole. */
void CompareStdio(benchmark::State &state)
{
    std::string first, second;
    if (!MakeCompareFiles(&first, &second))
        return (void)Fail(state, "preparing the item files");
    std::vector<unsigned char> buffer(COMPARE_ENTRIES * (MB + 64) + 16 * KB);

    for (auto _ : state) {
        for (const std::string *path : {&first, &second}) {
            FILE *stream = fopen(path->c_str(), "r+b");
            if (stream == nullptr)
                return (void)Fail(state, "fopen");
            size_t got = fread(buffer.data(), 1, buffer.size(), stream);
            fclose(stream);
            if (got < COMPARE_ENTRIES * MB)
                return (void)Fail(state, "short read");
        }
    }
    state.SetBytesProcessed((int64_t)state.iterations() * 2 * COMPARE_ENTRIES * MB);
}

/* ---- Header growth ---- */

const uint32_t GROW_ROOMS = 31 * MB;
const std::vector<unsigned char> GROW_NAMED_DATA(64, 0x42);

/* How many named entries after one unnamed entry a new file takes before
 * the next named insert grows its header area; found with the writer
 * itself, so it holds whatever the tree store's serialised form is. */
int NamedEntriesBeforeGrowth()
{
    FILE *stream = tmpfile();
    if (stream == nullptr)
        return -1;
    const std::vector<unsigned char> &small = Payload(KB);
    int count = -1;
    if (CreateClipboardFile(stream) >= 0 &&
        InsertClipboardItem(stream, CF_TEXT, "", small.data(), (int32_t)small.size(), nullptr) >= 0) {
        uint32_t initial = HeaderSizeOf(stream);
        for (int named = 0; named < 400; ++named) {
            if (InsertClipboardItem(stream, 0xC0A0, HTML_NAME, GROW_NAMED_DATA.data(),
                                    (int32_t)GROW_NAMED_DATA.size(), nullptr) < 0)
                break;
            if (HeaderSizeOf(stream) != initial) {
                count = named;
                break;
            }
        }
    }
    fclose(stream);
    return count;
}

/* The prepared file: one 31 MB entry and enough named ones that the next
 * named insert crosses a 64-byte boundary of the header area. */
bool MakeGrowFile(const std::string &path, uint32_t *headerSize)
{
    static uint32_t preparedHeaderSize;
    if (Prepared(path)) {
        *headerSize = preparedHeaderSize;
        return preparedHeaderSize != 0;
    }
    int named = NamedEntriesBeforeGrowth();
    if (named < 0)
        return false;
    const std::vector<unsigned char> &big = Payload(GROW_ROOMS);
    FILE *stream = fopen(path.c_str(), "w+b");
    if (stream == nullptr)
        return false;
    bool ok = CreateClipboardFile(stream) >= 0 &&
              InsertClipboardItem(stream, CF_TEXT, "", big.data(), (int32_t)big.size(), nullptr) >= 0;
    for (int i = 0; ok && i < named; ++i)
        ok = InsertClipboardItem(stream, 0xC0A0, HTML_NAME, GROW_NAMED_DATA.data(),
                                 (int32_t)GROW_NAMED_DATA.size(), nullptr) >= 0;
    *headerSize = ok ? HeaderSizeOf(stream) : 0;
    if (fclose(stream) != 0)
        *headerSize = 0;
    preparedHeaderSize = *headerSize;
    return *headerSize != 0;
}

bool FreshCopy(const std::string &from, const std::string &to)
{
    std::error_code error;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, error);
    return !error;
}

void GrowHeader(benchmark::State &state)
{
    std::string prepared = PathOf("grow.crx");
    std::string work = PathOf("grow-work.crx");
    uint32_t headerSize = 0;
    if (!MakeGrowFile(prepared, &headerSize))
        return (void)Fail(state, "preparing the item file");

    for (auto _ : state) {
        state.PauseTiming();
        FILE *stream = FreshCopy(prepared, work) ? fopen(work.c_str(), "r+b") : nullptr;
        if (stream == nullptr)
            return (void)Fail(state, "copying the prepared file");
        state.ResumeTiming();

        bool ok = InsertClipboardItem(stream, 0xC0A0, HTML_NAME, GROW_NAMED_DATA.data(),
                                      (int32_t)GROW_NAMED_DATA.size(), nullptr) >= 0;
        state.PauseTiming();
        bool grown = ok && HeaderSizeOf(stream) > headerSize;
        state.ResumeTiming();
        if (fclose(stream) != 0 || !ok)
            return (void)Fail(state, "insert failed");
        if (!grown)
            return (void)Fail(state, "the insert did not grow the header area");
    }
    state.SetBytesProcessed((int64_t)state.iterations() * GROW_ROOMS);
}

/* The same move done plainly: read every room, write it back 64 bytes on. */
void GrowHeaderStdio(benchmark::State &state)
{
    std::string prepared = PathOf("grow.crx");
    std::string work = PathOf("grow-work.bin");
    uint32_t headerSize = 0;
    if (!MakeGrowFile(prepared, &headerSize))
        return (void)Fail(state, "preparing the item file");
    std::vector<unsigned char> rooms;

    for (auto _ : state) {
        state.PauseTiming();
        FILE *stream = FreshCopy(prepared, work) ? fopen(work.c_str(), "r+b") : nullptr;
        if (stream == nullptr)
            return (void)Fail(state, "copying the prepared file");
        long end = fseek(stream, 0, SEEK_END) == 0 ? ftell(stream) : -1;
        if (end < (long)headerSize)
            return (void)Fail(state, "measuring the prepared file");
        rooms.resize((size_t)end - headerSize);
        state.ResumeTiming();

        bool ok = fseek(stream, (long)headerSize, SEEK_SET) == 0 &&
                  fread(rooms.data(), 1, rooms.size(), stream) == rooms.size() &&
                  fseek(stream, (long)headerSize + 64, SEEK_SET) == 0 &&
                  fwrite(rooms.data(), 1, rooms.size(), stream) == rooms.size();
        if (fclose(stream) != 0 || !ok)
            return (void)Fail(state, "move failed");
    }
    state.SetBytesProcessed((int64_t)state.iterations() * GROW_ROOMS);
}

/* ---- Registration and the summary rows ---- */

struct Figure {
    std::string label;
    std::string name;
    std::string baseline;
};

std::vector<Figure> figures;

void Register(const std::string &label, const char *name, void (*run)(benchmark::State &),
              const char *baseline, void (*runBaseline)(benchmark::State &), int64_t size)
{
    std::string suffix = size > 0 ? "/" + std::to_string(size) : "";
    Figure figure = {label, name + suffix, baseline + suffix};
    auto named = [](const std::string &row, void (*function)(benchmark::State &)) {
        return [row, function](benchmark::State &state) {
            runningBenchmark = row;
            function(state);
        };
    };
    benchmark::internal::Benchmark *b = benchmark::RegisterBenchmark(name, named(figure.name, run));
    benchmark::internal::Benchmark *p =
        benchmark::RegisterBenchmark(baseline, named(figure.baseline, runBaseline));
    for (benchmark::internal::Benchmark *x : {b, p}) {
        if (size > 0)
            x->Arg(size);
        x->UseRealTime()->Unit(benchmark::kMillisecond);
    }
    figures.push_back(figure);
}

void InsertOnly(benchmark::State &state) { Insert(state, false); }
void InsertLoad(benchmark::State &state) { Insert(state, true); }
void FwriteOnly(benchmark::State &state) { InsertStdio(state, false); }
void FwriteFread(benchmark::State &state) { InsertStdio(state, true); }

void RegisterAll()
{
    const struct {
        int64_t size;
        const char *text;
    } sizes[] = {{KB, "1 KB"}, {MB, "1 MB"}, {32 * MB, "32 MB"}};
    for (const auto &size : sizes) {
        std::string text = size.text;
        Register("insert " + text, "insert", InsertOnly, "insert:stdio_fwrite", FwriteOnly,
                 size.size);
        Register("load " + text, "load", Load, "load:stdio_fread", LoadStdio, size.size);
        Register("insert+load " + text, "insert_load", InsertLoad,
                 "insert_load:stdio_fwrite_fread", FwriteFread, size.size);
    }
    Register("compare 16 x 1 MB", "compare_16x1MB", Compare, "compare_16x1MB:stdio_read_both",
             CompareStdio, 0);
    Register("header growth, 31 MB of rooms", "grow_header_31MB", GrowHeader,
             "grow_header_31MB:stdio_read_write", GrowHeaderStdio, 0);
}

/* Keeps each benchmark's time per iteration, in milliseconds, for the rows. */
class RowReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> times;

    /* Colours only on a terminal: logs stay plain text. */
    RowReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Iteration)
                continue;
            /* Names carry "/real_time" after the argument; the rows do not. */
            std::string name = run.benchmark_name();
            const std::string suffix = "/real_time";
            if (name.size() > suffix.size() &&
                name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
                name.erase(name.size() - suffix.size());
            times[name] = run.GetAdjustedRealTime() * ToMilliseconds(run.time_unit);
        }
        ConsoleReporter::ReportRuns(runs);
    }

private:
    static double ToMilliseconds(benchmark::TimeUnit unit)
    {
        switch (unit) {
        case benchmark::kNanosecond: return 1e-6;
        case benchmark::kMicrosecond: return 1e-3;
        case benchmark::kMillisecond: return 1.0;
        default: return 1e3;
        }
    }
};

void PrintRows(const RowReporter &reporter)
{
    auto value = [&](const std::string &name, char *text, size_t size) {
        auto it = reporter.times.find(name);
        bool failed = failedBenchmarks.count(name) != 0;
        if (it == reporter.times.end() || failed)
            snprintf(text, size, "-");
        else
            snprintf(text, size, "%.3f", it->second);
    };
    printf("\n");
    for (const Figure &figure : figures) {
        char own[32], base[32];
        value(figure.name, own, sizeof own);
        value(figure.baseline, base, sizeof base);
        printf("BENCH|%s|%s|%s|ms\n", figure.label.c_str(), own, base);
    }
}

} // namespace

int main(int argc, char **argv)
{
    const char *tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/clipdock-bench-XXXXXX";
    std::vector<char> dir(pattern.begin(), pattern.end());
    dir.push_back('\0');
    if (mkdtemp(dir.data()) == nullptr) {
        perror("bench_itemfile: mkdtemp");
        return 1;
    }
    benchDir = dir.data();

    RegisterAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RowReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    PrintRows(reporter);

    std::error_code error;
    std::filesystem::remove_all(benchDir, error);
    return failedBenchmarks.empty() ? 0 : 1;
}
