/*
 * seedgen: writes the seed corpus of fuzz_itemfile, small valid item files
 * made by the library's own writer. Run once by hand when the seeds need
 * remaking; the files it writes are checked in.
 *
 *   g++ -std=c++17 -Ilibtarn -Ilibbetal tests/fuzz/seedgen.cpp \
 *       libtarn/itemfile.cpp libtarn/operations.cpp libtarn/compare.cpp \
 *       libbetal/bxml.cpp libbetal/stricmp.cpp -o /tmp/seedgen
 *   /tmp/seedgen tests/fuzz/corpus/fuzz_itemfile
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "libtarn.h"

namespace {

struct Seed {
    uint32_t format;
    const char *name;
    std::string data;
};

const char HTML_FRAGMENT[] =
    "Version:0.9\r\nStartHTML:00000097\r\nEndHTML:00000170\r\n"
    "StartFragment:00000131\r\nEndFragment:00000134\r\n"
    "<html><body>\r\n<!--StartFragment-->abc<!--EndFragment-->\r\n</body></html>";

std::string Bytes(const char *text, size_t length)
{
    return std::string(text, length);
}

/* Builds one item file on a temporary stream and copies it to path. */
int WriteSeed(const std::string &path, const std::vector<Seed> &entries)
{
    FILE *stream = tmpfile();
    if (stream == nullptr)
        return -1;
    int result = CreateClipboardFile(stream) < 0 ? -1 : 0;
    for (const Seed &entry : entries) {
        if (result == 0 && InsertClipboardItem(stream, entry.format, entry.name,
                                               entry.data.data(), (int32_t)entry.data.size(),
                                               nullptr) < 0)
            result = -1;
    }
    std::vector<unsigned char> bytes;
    if (result == 0 && fseek(stream, 0, SEEK_END) == 0) {
        bytes.resize((size_t)ftell(stream));
        rewind(stream);
        if (fread(bytes.data(), 1, bytes.size(), stream) != bytes.size())
            result = -1;
    }
    fclose(stream);
    if (result < 0)
        return -1;

    FILE *out = fopen(path.c_str(), "wb");
    if (out == nullptr)
        return -1;
    if (fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size())
        result = -1;
    if (fclose(out) != 0)
        result = -1;
    printf("%s: %zu bytes\n", path.c_str(), bytes.size());
    return result;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: seedgen CORPUS_DIR\n");
        return 2;
    }
    std::string dir = argv[1];
    const Seed text = {1, "", Bytes("abc\0", 4)};
    const Seed html = {0xC0A0, "HTML Format", HTML_FRAGMENT};
    const Seed unicode = {13, "", Bytes("a\0b\0c\0\0\0", 8)};
    const Seed oem = {7, "", Bytes("abc\0", 4)};
    const Seed locale = {16, "", Bytes("\x09\x04\0\0", 4)};
    const Seed rtf = {0xC0A1, "Rich Text Format", "{\\rtf1\\ansi abc}"};

    struct {
        const char *file;
        std::vector<Seed> entries;
    } seeds[] = {
        {"empty.crx", {}},
        {"text.crx", {text}},
        {"text-html.crx", {text, html}},
        /* 1, 16 and 17 data bytes: rooms of 32, 32 and 48 bytes. */
        {"several.crx",
         {text, unicode, oem, locale, rtf, {2, "", "x"}, {8, "", std::string(16, 'p')},
          {14, "", std::string(17, 'q')}}},
        /* Enough named entries for the header area to grow past 256. */
        {"grown.crx",
         {text, html, rtf, {0xC0A2, "Shell IDList Array", "\x01\x02\x03"},
          {0xC0A3, "FileName", "C:\\A.TXT"}, unicode}},
        /* Two entries of one format: the comparison takes the first. */
        {"duplicate.crx", {text, {1, "", Bytes("xyz\0", 4)}}},
    };
    for (const auto &seed : seeds) {
        if (WriteSeed(dir + "/" + seed.file, seed.entries) < 0) {
            fprintf(stderr, "seedgen: %s failed\n", seed.file);
            return 1;
        }
    }
    return 0;
}
