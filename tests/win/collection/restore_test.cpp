// Restore onto Wine's real clipboard: formats by number and by name, the
// moves of the slot table, and records that cannot be read.
#include "support.h"

#include <string.h>

#include "collection/restore.h"
#include "libtarn.h"
#include "shell/globals.h"

namespace {

using Names = std::vector<std::string>;

std::string Wide(const wchar_t *s)
{
    return std::string((const char *)s, (wcslen(s) + 1) * sizeof(wchar_t));
}

// Writes an item file of the given records under name and puts it into slot.
void StoreRecords(int slot, const char *name, const std::vector<StoredRecord> &records)
{
    FILE *f = fopen(ItemPath(name).c_str(), "w+b");
    ASSERT_NE(f, nullptr);
    ASSERT_GE(CreateClipboardFile(f), 0);
    for (const StoredRecord &r : records)
        ASSERT_GE(InsertClipboardItem(f, r.format, r.name.c_str(), r.data.data(),
                                      (int32_t)r.data.size(), nullptr), 0);
    fclose(f);
    itemSlots[slot].flags = SLOT_OCCUPIED;
    strcpy(itemSlots[slot].name, name);
}

std::string Stored(int n) { return "\\r" + std::to_string(n) + ".crx"; }

void Fill(int from, int to)
{
    for (int i = from; i <= to; i++)
        StoreTextItem(i, Stored(i).c_str(), "item " + std::to_string(i));
}

class RestoreTest : public CollectionTest {};

TEST_F(RestoreTest, PutsBackEveryFormatRegisteringNamesAgain)
{
    std::string html = "Version:0.9\r\n<i>x</i>";
    StoreRecords(3, "\\mixed.crx",
                 {{CF_TEXT, "", std::string("abc\0", 4)},
                  {CF_UNICODETEXT, "", Wide(L"abc\x00e9")},
                  {0xC123, "HTML Format", html},
                  {0xC124, "Clipdock Name Never Seen Before", "by name"}});
    SetIniValue(UserName().c_str(), "CLIPBOOK_STATE", "untouched");

    RestoreClipboardItem(3, itemListWindow);
    EXPECT_EQ(GetClipboardOwner(), itemListWindow);
    EXPECT_EQ(ClipboardBytes(CF_TEXT), std::string("abc\0", 4));
    EXPECT_EQ(ClipboardBytes(CF_UNICODETEXT), Wide(L"abc\x00e9"));
    EXPECT_EQ(ClipboardBytes(HtmlFormat()), html);
    EXPECT_EQ(ClipboardBytes(RegisteredFormat("Clipdock Name Never Seen Before")), "by name");
    EXPECT_EQ(itemSlots[3].flags, SLOT_OCCUPIED | SLOT_CURRENT);
    EXPECT_EQ(StateValue(), "untouched") << "a restore does not save the state";
}

// Every record is read into its block before the clipboard is opened, so
// other programs wait for it only while the blocks are placed; a record
// without memory for its block is left out.
int blocksLoadedWhileOpen, blockAllocations, failingBlock;

HGLOBAL WINAPI WatchedAllocBlock(UINT flags, SIZE_T size)
{
    if (GetOpenClipboardWindow() != NULL)
        blocksLoadedWhileOpen++;
    if (++blockAllocations == failingBlock)
        return NULL;
    return realPlatformCalls.allocBlock(flags, size);
}

TEST_F(RestoreTest, LoadsEveryRecordBeforeOpeningTheClipboard)
{
    std::string html = "Version:0.9\r\n<u>u</u>";
    StoreRecords(2, "\\loaded.crx",
                 {{CF_TEXT, "", std::string("first\0", 6)},
                  {CF_UNICODETEXT, "", Wide(L"second")},
                  {0xC200, "HTML Format", html}});
    const struct {
        int failingBlock;  // 0: none
        bool unicode;  // the stored Unicode text is placed
    } rows[] = {{0, true}, {2, false}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.failingBlock);
        ASSERT_TRUE(PutClipboard({{CF_DIB, "not restored"}}));
        blocksLoadedWhileOpen = blockAllocations = 0;
        failingBlock = row.failingBlock;
        platformCalls.allocBlock = WatchedAllocBlock;
        RestoreClipboardItem(2, itemListWindow);
        platformCalls.allocBlock = realPlatformCalls.allocBlock;
        EXPECT_EQ(blockAllocations, 3);
        EXPECT_EQ(blocksLoadedWhileOpen, 0);
        EXPECT_EQ(ClipboardBytes(CF_TEXT), std::string("first\0", 6));
        EXPECT_EQ(ClipboardBytes(HtmlFormat()), html);
        // Left out, the Unicode text is what the platform makes from the text.
        EXPECT_EQ(ClipboardBytes(CF_UNICODETEXT) == Wide(L"second"), row.unicode);
        EXPECT_FALSE(IsClipboardFormatAvailable(CF_DIB)) << "the clipboard was emptied";
    }
}

TEST_F(RestoreTest, LeavesOutRecordsItCannotPlace)
{
    // A name "#1" is no name to register: the platform reads it as the
    // number 1, CF_TEXT ("#2" would hand it a memory block as a bitmap).
    StoreRecords(2, "\\partly.crx",
                 {{CF_BITMAP, "", "not a bitmap handle"},
                  {CF_TEXT, "", std::string("readable\0", 9)},
                  {0xC0DE, "#1", std::string("not text\0", 9)},
                  {CF_UNICODETEXT, "", Wide(L"cut off")}});
    // Cut the file inside the last record's data.
    std::string bytes = FileBytes(ItemPath("\\partly.crx"));
    ASSERT_TRUE(
        WriteFileBytes(ItemPath("\\partly.crx"), bytes.substr(0, bytes.size() - 20)));

    RestoreClipboardItem(2, itemListWindow);
    EXPECT_EQ(ClipboardBytes(CF_TEXT), std::string("readable\0", 9));
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_BITMAP));
    bool unicode = false;
    std::string text = ClipboardBytes(CF_UNICODETEXT, &unicode);
    EXPECT_TRUE(!unicode || text.find("c\0u\0t", 0, 6) == std::string::npos)
        << "no Unicode text from the cut record";
}

TEST_F(RestoreTest, UnreadableItemLeavesTheClipboardAlone)
{
    ASSERT_TRUE(PutClipboard({{CF_TEXT, std::string("sentinel\0", 9)}}));
    ASSERT_TRUE(
        WriteFileBytes(ItemPath("\\garbage.crx"), "this is not an item file at all"));
    itemSlots[0] = {SLOT_OCCUPIED, "\\garbage.crx"};
    itemSlots[4] = {SLOT_OCCUPIED | SLOT_CURRENT, "\\gone.crx"};
    StoreTextItem(5, "\\current.crx", "current");
    itemSlots[5].flags |= SLOT_CURRENT;
    itemSlots[4].flags = SLOT_OCCUPIED;

    RestoreClipboardItem(4, itemListWindow);  // file missing: nothing changes
    EXPECT_EQ(FindCurrentSlot(), 5);
    RestoreClipboardItem(7, itemListWindow);  // free slot: nothing changes
    EXPECT_EQ(FindCurrentSlot(), 5);
    RestoreClipboardItem(0, itemListWindow);  // unreadable: the mark moves, nothing else
    EXPECT_EQ(FindCurrentSlot(), 0);
    EXPECT_EQ(itemSlots[0].flags, SLOT_OCCUPIED | SLOT_CURRENT);
    EXPECT_EQ(ClipboardBytes(CF_TEXT), std::string("sentinel\0", 9));
    EXPECT_EQ(GetClipboardOwner(), otherProgramWindow);
}

TEST_F(RestoreTest, SlotMovesAfterARestore)
{
    struct Case {
        const char *what;
        int occupiedFrom, occupiedTo, restore;
        int currentAfter;
        bool shifts;
    } cases[] = {
        {"slot 0 free", 1, 10, 3, 3, false},
        {"slot 0 occupied, 31 free", 0, 10, 3, 4, true},
        {"slot 0 itself", 0, 5, 0, 1, true},
        // A full history stays as it is: nothing new arrived, so nothing goes.
        {"all occupied", 0, 31, 3, 3, false},
        {"all occupied, the oldest", 0, 31, 31, 31, false},
        {"all occupied, slot 0 itself", 0, 31, 0, 0, false},
        {"slot 0 free, 31 occupied", 1, 31, 31, 31, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        Fill(c.occupiedFrom, c.occupiedTo);
        Names before = SlotNames();
        std::vector<std::string> bytes;
        for (const std::string &name : before)
            bytes.push_back(name.empty() ? "" : FileBytes(ItemPath(name.c_str())));
        RestoreClipboardItem(c.restore, itemListWindow);

        EXPECT_EQ(FindCurrentSlot(), c.currentAfter);
        EXPECT_EQ(SlotNames()[c.currentAfter], Stored(c.restore));
        EXPECT_EQ(itemSlots[c.currentAfter].flags, SLOT_OCCUPIED | SLOT_CURRENT);
        EXPECT_EQ(ClipboardBytes(CF_TEXT), "item " + std::to_string(c.restore) + '\0');
        Names expected = before;
        if (c.shifts) {
            expected.insert(expected.begin(), "");
            expected.pop_back();
        }
        EXPECT_EQ(SlotNames(), expected);
        EXPECT_EQ(ItemFolderFiles().size(), (size_t)(c.occupiedTo - c.occupiedFrom + 1));
        for (size_t i = 0; i < before.size(); i++) {
            if (!before[i].empty()) {
                EXPECT_EQ(FileBytes(ItemPath(before[i].c_str())), bytes[i]) << before[i];
            }
        }
    }
}

}  // namespace
