/*
 * Tests of the libbetal tree store: the size of an item file's directory,
 * edits in place, save and load through a stale buffer, limits, and loads
 * of broken or hostile forms.
 */
#include "bxml.h"

#include <gtest/gtest.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

const int32_t BUFFER_SIZE = 16384;
const unsigned char GUID_BYTES[16] = {0xF7, 0x3E, 0x92, 0x5E, 0x61, 0xC5, 0x90, 0x4E,
                                      0xBE, 0x30, 0xE2, 0x51, 0x05, 0xA4, 0x84, 0x69};
const char SIGN[] = ".Tarn's Clipboard.";

/* Builds the directory of a new item file, the way libtarn does. */
void BuildNewItemTree(bxml_tree *tree, unsigned char *buffer)
{
    uint32_t head, sign, guid, body;
    ASSERT_EQ(0, bxml_new(tree, buffer, BUFFER_SIZE, 0));
    ASSERT_EQ(0, bxml_add_node(tree, 0, 0, &head, "head", 4, NULL, 0));
    ASSERT_EQ(0, bxml_add_node(tree, head, 0, &sign, "sign", 4, SIGN, 18));
    ASSERT_EQ(0, bxml_add_node(tree, head, 0, &guid, "guid", 4, GUID_BYTES, 16));
    ASSERT_EQ(0, bxml_add_node(tree, 0, 0, &body, "body", 4, NULL, 0));
}

std::vector<unsigned char> Saved(bxml_tree *tree)
{
    const void *data = NULL;
    int32_t length = 0;
    EXPECT_EQ(0, bxml_save(tree, &data, &length));
    const unsigned char *p = (const unsigned char *)data;
    return std::vector<unsigned char>(p, p + length);
}

/* Value at path, or "<none>" when the path does not resolve. */
std::string ValueAt(bxml_tree *tree, const char *path)
{
    uint32_t handle;
    char value[2048];
    if (bxml_convert_name(tree, path, &handle) < 0)
        return "<none>";
    int32_t n = bxml_read_node(tree, handle, 0, 0, value, sizeof value);
    if (n < 0)
        return "<unreadable>";
    return std::string(value, (size_t)n);
}

void PutU32(std::vector<unsigned char> &b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        b[at + i] = (unsigned char)(v >> (8 * i));
}

/* A saved form copied to the start of a buffer of size bytes, followed by
   63 zero bytes and then stale garbage, as the item-file reader leaves it. */
std::vector<unsigned char> StaleBuffer(const std::vector<unsigned char> &form, size_t size)
{
    std::vector<unsigned char> b(size);
    for (size_t i = 0; i < size; i++)
        b[i] = (unsigned char)(0x5A ^ (i * 7));
    size_t n = form.size() < size ? form.size() : size;
    memcpy(b.data(), form.data(), n);
    for (size_t i = n; i < n + 63 && i < size; i++)
        b[i] = 0;
    return b;
}

TEST(BxmlSize, NewItemTreeFitsA256ByteHeaderArea)
{
    static unsigned char buffer[BUFFER_SIZE];
    bxml_tree tree;
    BuildNewItemTree(&tree, buffer);
    std::vector<unsigned char> form = Saved(&tree);
    EXPECT_GE(form.size(), 177u);
    EXPECT_LE(form.size(), 240u);
    EXPECT_EQ(256u, (form.size() + 79) & ~63u);
    const void *data;
    int32_t length;
    ASSERT_EQ(0, bxml_save(&tree, &data, &length));
    EXPECT_EQ((const void *)buffer, data);
    EXPECT_EQ(0, bxml_free(&tree));
}

TEST(BxmlLookup, PathsResolveExactlyAndCaseSensitively)
{
    static unsigned char buffer[BUFFER_SIZE];
    bxml_tree tree;
    BuildNewItemTree(&tree, buffer);
    uint32_t body, entry, twin;
    ASSERT_EQ(0, bxml_convert_name(&tree, "/body", &body));
    ASSERT_EQ(0, bxml_add_node(&tree, body, 0, &entry, "000A", 4, "HTML Format", 11));
    ASSERT_EQ(0, bxml_add_node(&tree, body, 0, &twin, "000A", 4, "second", 6));
    ASSERT_EQ(0, bxml_add_node(&tree, entry, 0, &twin, "deep", 4, "x", 1));

    struct { const char *path; std::string value; } cases[] = {
        {"/head/sign", SIGN},
        {"/head/guid", std::string((const char *)GUID_BYTES, 16)},
        {"/head", ""},
        {"/body/000A", "HTML Format"}, /* first added of two siblings */
        {"/body/000A/deep", "x"},
        {"/body/000a", "<none>"},
        {"/Head/sign", "<none>"},
        {"/sign", "<none>"},
        {"/body/0000", "<none>"},
        {"/head/sign/x", "<none>"},
        {"/body/000", "<none>"},
        {"body", "<none>"},
        {"", "<none>"},
        {"/", "<none>"},
        {"//body", "<none>"},
        {"/body/", "<none>"},
        {"/body//000A", "<none>"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.value, ValueAt(&tree, c.path)) << c.path;

    std::string tooLong = "/" + std::string(300, 'a');
    EXPECT_EQ("<none>", ValueAt(&tree, tooLong.c_str()));
    EXPECT_EQ(0, bxml_free(&tree));
}

TEST(BxmlLookup, HundredsOfNodesStayReachable)
{
    static unsigned char buffer[BUFFER_SIZE];
    bxml_tree tree;
    BuildNewItemTree(&tree, buffer);
    uint32_t body, handle;
    ASSERT_EQ(0, bxml_convert_name(&tree, "/body", &body));
    char name[8], path[16];
    for (int i = 0; i < 400; i++) {
        snprintf(name, sizeof name, "%04X", i);
        ASSERT_EQ(0, bxml_add_node(&tree, body, 0, &handle, name, 4, name, 4)) << i;
    }
    for (int i = 0; i < 400; i++) {
        snprintf(path, sizeof path, "/body/%04X", i);
        EXPECT_EQ(std::string(path + 6), ValueAt(&tree, path));
    }
    bxml_free(&tree);
}

TEST(BxmlRead, CopiesAtMostSizeWithoutTerminator)
{
    static unsigned char buffer[BUFFER_SIZE];
    bxml_tree tree;
    BuildNewItemTree(&tree, buffer);
    uint32_t sign, head;
    ASSERT_EQ(0, bxml_convert_name(&tree, "/head/sign", &sign));
    ASSERT_EQ(0, bxml_convert_name(&tree, "/head", &head));
    char out[32];
    memset(out, '#', sizeof out);
    EXPECT_EQ(5, bxml_read_node(&tree, sign, 0, 0, out, 5));
    EXPECT_EQ(0, memcmp(out, ".Tarn#", 6));
    EXPECT_EQ(0, bxml_read_node(&tree, sign, 0, 0, NULL, 0));
    EXPECT_EQ(0, bxml_read_node(&tree, head, 0, 0, out, sizeof out));
    EXPECT_LT(bxml_read_node(&tree, sign, 0, 0, out, -1), 0);
    EXPECT_LT(bxml_read_node(&tree, sign, 0, 0, NULL, 4), 0);
    EXPECT_LT(bxml_read_node(&tree, 0, 0, 0, out, sizeof out), 0); /* the root has no value */
    EXPECT_LT(bxml_read_node(&tree, 5, 0, 0, out, sizeof out), 0);
    EXPECT_LT(bxml_read_node(&tree, sign, 1, 0, out, sizeof out), 0);
    bxml_free(&tree);
}

TEST(BxmlWrite, GrowingAndShrinkingKeepsLaterNodes)
{
    static unsigned char buffer[BUFFER_SIZE];
    bxml_tree tree;
    BuildNewItemTree(&tree, buffer);
    uint32_t sign;
    ASSERT_EQ(0, bxml_convert_name(&tree, "/head/sign", &sign));
    const size_t lengths[] = {18, 200, 1, 0, 3, 4, 5, 1000, 17};
    for (size_t length : lengths) {
        std::string value(length, 'v');
        for (size_t i = 0; i < length; i++)
            value[i] = (char)('a' + i % 26);
        ASSERT_EQ(0, bxml_write_node(&tree, sign, 0, 0, value.data(), (int32_t)length));
        EXPECT_EQ(value, ValueAt(&tree, "/head/sign"));
        EXPECT_EQ(std::string((const char *)GUID_BYTES, 16), ValueAt(&tree, "/head/guid"));
        EXPECT_EQ("", ValueAt(&tree, "/body"));
        /* The edited form must still be one a loader accepts. */
        std::vector<unsigned char> copy = StaleBuffer(Saved(&tree), BUFFER_SIZE);
        bxml_tree loaded;
        EXPECT_EQ(0, bxml_load(&loaded, copy.data(), BUFFER_SIZE)) << length;
        EXPECT_EQ(value, ValueAt(&loaded, "/head/sign"));
    }
    /* After shrinking back to the original value the form is as new. */
    static unsigned char fresh[BUFFER_SIZE];
    bxml_tree reference;
    BuildNewItemTree(&reference, fresh);
    ASSERT_EQ(0, bxml_write_node(&tree, sign, 0, 0, SIGN, 18));
    EXPECT_EQ(Saved(&reference), Saved(&tree));
}

TEST(BxmlLoad, SavedFormLoadsFromAStaleBuffer)
{
    static unsigned char buffer[BUFFER_SIZE];
    bxml_tree tree;
    BuildNewItemTree(&tree, buffer);
    uint32_t body, entry;
    ASSERT_EQ(0, bxml_convert_name(&tree, "/body", &body));
    ASSERT_EQ(0, bxml_add_node(&tree, body, 0, &entry, "0003", 4, "Rich Text Format", 16));
    std::vector<unsigned char> form = Saved(&tree);
    bxml_free(&tree);

    std::vector<unsigned char> copy = StaleBuffer(form, BUFFER_SIZE);
    bxml_tree loaded;
    ASSERT_EQ(0, bxml_load(&loaded, copy.data(), BUFFER_SIZE));
    EXPECT_EQ(SIGN, ValueAt(&loaded, "/head/sign"));
    EXPECT_EQ(std::string((const char *)GUID_BYTES, 16), ValueAt(&loaded, "/head/guid"));
    EXPECT_EQ("Rich Text Format", ValueAt(&loaded, "/body/0003"));
    EXPECT_EQ(form, Saved(&loaded));

    /* A loaded tree takes edits like a new one. */
    ASSERT_EQ(0, bxml_convert_name(&loaded, "/body", &body));
    ASSERT_EQ(0, bxml_add_node(&loaded, body, 0, &entry, "0004", 4, "PNG", 3));
    EXPECT_EQ("PNG", ValueAt(&loaded, "/body/0004"));
    EXPECT_EQ("Rich Text Format", ValueAt(&loaded, "/body/0003"));
    EXPECT_EQ(0, bxml_free(&loaded));
}

TEST(BxmlLimits, RejectionsLeaveTheTreeUnchanged)
{
    static unsigned char buffer[BUFFER_SIZE];
    static char big[BUFFER_SIZE];
    bxml_tree tree;
    BuildNewItemTree(&tree, buffer);
    uint32_t body, sign, handle = 0;
    ASSERT_EQ(0, bxml_convert_name(&tree, "/body", &body));
    ASSERT_EQ(0, bxml_convert_name(&tree, "/head/sign", &sign));

    struct { const char *what; uint32_t parent, flags; const char *name; int32_t nameLength;
             const void *value; int32_t valueLength; } bad[] = {
        {"empty name", body, 0, "x", 0, NULL, 0},
        {"256-byte name", body, 0, big, 256, NULL, 0},
        {"slash in name", body, 0, "a/b", 3, NULL, 0},
        {"NUL in name", body, 0, "a\0b", 3, NULL, 0},
        {"non-ASCII name", body, 0, "\xC3\xA9", 2, NULL, 0},
        {"null value with length", body, 0, "0000", 4, NULL, 1},
        {"negative value length", body, 0, "0000", 4, "x", -1},
        {"flags", body, 1, "0000", 4, NULL, 0},
        {"unknown parent", 99, 0, "0000", 4, NULL, 0},
        {"past the largest form", body, 0, "0000", 4, big, 16368 - 180 - 24 - 4 + 1},
        {"larger than any buffer", body, 0, "0000", 4, big, 0x7FFFFFFF},
    };
    memset(big, 'n', sizeof big);
    std::vector<unsigned char> before = Saved(&tree);
    for (const auto &c : bad) {
        EXPECT_LT(bxml_add_node(&tree, c.parent, c.flags, &handle, c.name, c.nameLength,
                                c.value, c.valueLength), 0) << c.what;
        EXPECT_EQ(before, Saved(&tree)) << c.what;
    }
    EXPECT_LT(bxml_write_node(&tree, sign, 0, 0, big, 16368 - 180 + 18 + 2 + 1), 0);
    EXPECT_LT(bxml_write_node(&tree, sign, 1, 0, "x", 1), 0);
    EXPECT_LT(bxml_write_node(&tree, 0, 0, 0, "x", 1), 0);
    EXPECT_LT(bxml_write_node(&tree, 5, 0, 0, "x", 1), 0);
    EXPECT_EQ(before, Saved(&tree));

    /* Filling the form to exactly the largest size is allowed; one more
       byte of anything is not. */
    ASSERT_EQ(0, bxml_add_node(&tree, body, 0, &handle, "0000", 4, big, 16368 - 180 - 24 - 4));
    EXPECT_EQ(16368u, Saved(&tree).size());
    EXPECT_LT(bxml_add_node(&tree, 0, 0, &handle, "a", 1, NULL, 0), 0);
    EXPECT_LT(bxml_write_node(&tree, sign, 0, 0, big, 18 + 2 + 1), 0);
    EXPECT_EQ(0, bxml_write_node(&tree, sign, 0, 0, big, 18 + 2));
    EXPECT_EQ(16368u, Saved(&tree).size());

    /* The same form grown by one 4-byte step is well formed in every other
       respect, and a larger buffer would hold it, but no reader may take it. */
    std::vector<unsigned char> form = Saved(&tree);
    const size_t last = 180; /* the record just added */
    PutU32(form, 8, 16372);
    PutU32(form, last + 0, 24 + 16164 + 4);
    PutU32(form, last + 16, 16160 + 4);
    form.insert(form.end(), 4, 'n');
    std::vector<unsigned char> wide = StaleBuffer(form, 20000);
    bxml_tree loaded;
    EXPECT_LT(bxml_load(&loaded, wide.data(), (int32_t)wide.size()), 0);
    PutU32(wide, 8, 16368); /* and the check is on the length, not the rest */
    PutU32(wide, last + 0, 24 + 16164);
    PutU32(wide, last + 16, 16160);
    EXPECT_EQ(0, bxml_load(&loaded, wide.data(), (int32_t)wide.size()));
}

TEST(BxmlLimits, SmallBufferBoundsTheForm)
{
    unsigned char buffer[100];
    bxml_tree tree;
    uint32_t handle;
    ASSERT_EQ(0, bxml_new(&tree, buffer, sizeof buffer, 0));
    /* 32 header + 40 record leaves 28 bytes, one empty 4-byte-name record. */
    ASSERT_EQ(0, bxml_add_node(&tree, 0, 0, &handle, "name", 4, "0123456789AB", 12));
    EXPECT_LT(bxml_add_node(&tree, 0, 0, &handle, "more", 4, "x", 1), 0);
    EXPECT_EQ(0, bxml_add_node(&tree, 0, 0, &handle, "more", 4, NULL, 0));
    EXPECT_EQ(100u, Saved(&tree).size());
    EXPECT_LT(bxml_add_node(&tree, 0, 0, &handle, "a", 1, NULL, 0), 0);
    EXPECT_EQ("0123456789AB", ValueAt(&tree, "/name"));
}

TEST(BxmlLife, ReleasedAndUninitialisedTreesFail)
{
    static unsigned char buffer[BUFFER_SIZE];
    bxml_tree tree;
    EXPECT_LT(bxml_new(&tree, NULL, BUFFER_SIZE, 0), 0);
    EXPECT_LT(bxml_new(&tree, buffer, 31, 0), 0);
    EXPECT_LT(bxml_new(&tree, buffer, -1, 0), 0);
    EXPECT_LT(bxml_new(&tree, buffer, BUFFER_SIZE, 1), 0);

    bxml_tree zeroed;
    memset(&zeroed, 0, sizeof zeroed);
    bxml_tree garbage;
    memset(&garbage, 0xA5, sizeof garbage);
    BuildNewItemTree(&tree, buffer);
    ASSERT_EQ(0, bxml_free(&tree));
    EXPECT_EQ(0, bxml_free(&tree));

    bxml_tree *dead[] = {&tree, &zeroed, &garbage};
    for (bxml_tree *t : dead) {
        uint32_t handle;
        const void *data;
        int32_t length;
        char out[4];
        EXPECT_LT(bxml_add_node(t, 0, 0, &handle, "head", 4, NULL, 0), 0);
        EXPECT_LT(bxml_convert_name(t, "/head", &handle), 0);
        EXPECT_LT(bxml_read_node(t, 1, 0, 0, out, 4), 0);
        EXPECT_LT(bxml_write_node(t, 1, 0, 0, "x", 1), 0);
        EXPECT_LT(bxml_save(t, &data, &length), 0);
    }
    EXPECT_LT(bxml_free(&garbage), 0);
}

/* Offsets in the new-item form: records of head, sign, guid, body. */
const size_t HEAD = 32, SIGN_REC = 60, GUID_REC = 108, BODY_REC = 152;

TEST(BxmlLoad, MalformedFormsFail)
{
    static unsigned char buffer[BUFFER_SIZE];
    bxml_tree tree;
    BuildNewItemTree(&tree, buffer);
    const std::vector<unsigned char> good = Saved(&tree);
    ASSERT_EQ(180u, good.size()) << "offsets below assume this layout";

    struct { const char *what; size_t at; uint32_t value; } patches[] = {
        {"magic", 0, 0x4C4D5843},
        {"version", 4, 0x00200002},
        {"total below header", 8, 31},
        {"total past the records", 8, 184},
        {"total short of the records", 8, 176},
        {"total past the buffer", 8, 0x7FFFFFF0},
        {"total past the largest form", 8, 16369},
        {"node count too small", 12, 3},
        {"node count one more", 12, 5},
        {"huge node count", 12, 0xFFFFFFFF},
        {"reserved header word", 20, 1},
        {"record length too long", SIGN_REC + 0, 52},
        {"record length zero", SIGN_REC + 0, 0},
        {"record length wraps", SIGN_REC + 0, 0xFFFFFFFC},
        {"handle out of order", GUID_REC + 4, 2},
        {"parent forward", SIGN_REC + 8, 4},
        {"parent itself", GUID_REC + 8, 3},
        {"parent of first", HEAD + 8, 1},
        {"name length zero", HEAD + 12, 0},
        {"name length past record", HEAD + 12, 5},
        {"name length huge", HEAD + 12, 0xFFFFFFFF},
        {"value length past form", BODY_REC + 16, 0xFFFFFFF0},
        {"reserved record word", BODY_REC + 20, 7},
        {"slash in name", GUID_REC + 24, 0x64692F67},
        {"NUL in name", GUID_REC + 24, 0x64690067},
        {"non-ASCII name", GUID_REC + 24, 0x646975E7},
        {"non-zero padding", SIGN_REC + 24 + 4 + 16, 0x002E2E2E},
    };
    for (const auto &p : patches) {
        std::vector<unsigned char> form = good;
        PutU32(form, p.at, p.value);
        std::vector<unsigned char> b = StaleBuffer(form, BUFFER_SIZE);
        EXPECT_LT(bxml_load(&tree, b.data(), BUFFER_SIZE), 0) << p.what;
        uint32_t handle;
        EXPECT_LT(bxml_convert_name(&tree, "/head", &handle), 0) << p.what;
    }

    /* Forms cut short: the buffer ends before the form does. Each buffer is
       exactly that size, so a read past it is caught by the sanitiser. */
    for (size_t size : {0u, 4u, 31u, 32u, 60u, 179u}) {
        std::vector<unsigned char> b(good.begin(), good.begin() + size);
        b.resize(size > 0 ? size : 1);
        EXPECT_LT(bxml_load(&tree, b.data(), (int32_t)size), 0) << size;
    }
    std::vector<unsigned char> exact = good;
    EXPECT_EQ(0, bxml_load(&tree, exact.data(), (int32_t)exact.size()));
    EXPECT_LT(bxml_load(&tree, NULL, BUFFER_SIZE), 0);
    EXPECT_LT(bxml_load(&tree, exact.data(), -1), 0);
}

/* Every accepted tree must answer every call within its buffer and stay a
   form that loads again. */
void ExerciseLoadedTree(bxml_tree *tree, unsigned char *buffer)
{
    char out[300];
    uint32_t handle;
    for (uint32_t h = 1; h <= tree->nodeCount; h++)
        ASSERT_GE(bxml_read_node(tree, h, 0, 0, out, sizeof out), 0) << h;
    EXPECT_LT(bxml_read_node(tree, tree->nodeCount + 1, 0, 0, out, sizeof out), 0);
    const char *paths[] = {"/head", "/head/sign", "/head/guid", "/body", "/body/0000"};
    for (const char *path : paths) {
        if (bxml_convert_name(tree, path, &handle) == 0) {
            EXPECT_EQ(0, bxml_write_node(tree, handle, 0, 0, "rewritten", 9)) << path;
        }
    }
    EXPECT_EQ(0, bxml_add_node(tree, tree->nodeCount, 0, &handle, "new", 3, "v", 1));
    const void *data;
    int32_t length;
    ASSERT_EQ(0, bxml_save(tree, &data, &length));
    ASSERT_EQ((const void *)buffer, data);
    ASSERT_LE((uint32_t)length, 16368u);
    std::vector<unsigned char> form = Saved(tree);
    std::vector<unsigned char> again = StaleBuffer(form, BUFFER_SIZE);
    bxml_tree reloaded;
    EXPECT_EQ(0, bxml_load(&reloaded, again.data(), BUFFER_SIZE));
    EXPECT_EQ(form, Saved(&reloaded));
}

TEST(BxmlLoad, RandomMutationsFailOrStayInBounds)
{
    static unsigned char buffer[BUFFER_SIZE];
    bxml_tree tree;
    BuildNewItemTree(&tree, buffer);
    uint32_t body, handle;
    ASSERT_EQ(0, bxml_convert_name(&tree, "/body", &body));
    ASSERT_EQ(0, bxml_add_node(&tree, body, 0, &handle, "0000", 4, "CF_HTML", 7));
    ASSERT_EQ(0, bxml_add_node(&tree, handle, 0, &handle, "x", 1, NULL, 0));
    const std::vector<unsigned char> good = Saved(&tree);

    uint32_t seed = 0x2545F491;
    int accepted = 0, rejected = 0;
    for (int round = 0; round < 4000; round++) {
        std::vector<unsigned char> form = good;
        int flips = 1 + round % 4;
        for (int i = 0; i < flips; i++) {
            seed ^= seed << 13, seed ^= seed >> 17, seed ^= seed << 5;
            size_t at = seed % form.size();
            if (round % 3 == 0)
                form[at] ^= (unsigned char)(1u << ((seed >> 8) % 8));
            else
                form[at] = (unsigned char)(seed >> 16);
        }
        /* The real buffer size, heap-allocated so the sanitiser sees its end. */
        std::vector<unsigned char> b = StaleBuffer(form, BUFFER_SIZE);
        bxml_tree loaded;
        if (bxml_load(&loaded, b.data(), BUFFER_SIZE) < 0) {
            rejected++;
            continue;
        }
        accepted++;
        ExerciseLoadedTree(&loaded, b.data());
        if (HasFatalFailure())
            return;
    }
    /* Flips inside name and value bytes keep a form valid; flips in the
       structure must be caught. */
    EXPECT_GT(accepted, 0);
    EXPECT_GT(rejected, 1000);
}

TEST(Stricmp, FoldsOnlyAsciiLetters)
{
    struct { const char *a, *b; int sign; } cases[] = {
        {"", "", 0},
        {"-wait", "-WAIT", 0},
        {"Halcyon.ini", "hALCYON.INI", 0},
        {"abc", "abd", -1},
        {"abd", "ABC", 1},
        {"abc", "ab", 1},
        {"ab", "ABC", -1},
        {"[", "{", -1},           /* '[' and '{' are not a case pair */
        {"@", "`", -1},
        {"\xC9", "\xE9", -1},     /* bytes above 0x7F do not fold */
        {"\xE9", "a", 1},         /* and compare as unsigned */
        {"Z", "z", 0},
        {"A", "_", 1},            /* compares as 'a' (0x61) > '_' (0x5F), though 'A' < '_' */
    };
    for (const auto &c : cases) {
        int r = libc_stricmpA(c.a, c.b);
        int sign = (r > 0) - (r < 0);
        EXPECT_EQ(c.sign, sign) << '"' << c.a << "\" vs \"" << c.b << '"';
    }
}

} // namespace
