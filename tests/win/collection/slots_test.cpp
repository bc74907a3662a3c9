// The slot table and its state string, on the real item folder and settings file.
#include "support.h"

#include <string.h>

#include "collection/restore.h"

namespace {

using Names = std::vector<std::string>;

Names Occupied(std::initializer_list<std::pair<int, const char *>> slots)
{
    Names names(SLOT_COUNT, "");
    for (auto &slot : slots)
        names[slot.first] = slot.second;
    return names;
}

std::string Stored(int n)
{
    char name[32];
    snprintf(name, sizeof name, "\\item%02d.crx", n);
    return name;
}

// Fills every slot with a real item file "\itemNN.crx" holding "text NN".
void FillAllSlots()
{
    for (int i = 0; i < SLOT_COUNT; i++)
        StoreTextItem(i, Stored(i).c_str(), "text " + std::to_string(i));
}

class SlotsTest : public CollectionTest {};

TEST_F(SlotsTest, StateStringRoundTrip)
{
    itemSlots[0] = {SLOT_OCCUPIED | SLOT_CURRENT, "\\zero.crx"};
    itemSlots[3] = {SLOT_OCCUPIED, "\\three.crx"};
    itemSlots[7] = {SLOT_OCCUPIED, "\\seven.crx"};
    strcpy(itemSlots[5].name, "\\freed.crx");  // a freed slot keeps its name, but is not saved
    SaveCollectionState();
    EXPECT_EQ(StateValue(), "\\zero.crx:\\three.crx:\\seven.crx:");

    LoadCollectionState(StateValue().c_str());
    EXPECT_EQ(SlotNames(), Occupied({{0, "\\zero.crx"}, {1, "\\three.crx"}, {2, "\\seven.crx"}}));
    for (const ItemSlot &slot : itemSlots)
        EXPECT_TRUE(slot.flags == 0 || slot.flags == SLOT_OCCUPIED) << "no slot is current after loading";

    memset(itemSlots, 0, sizeof itemSlots);
    SaveCollectionState();
    EXPECT_EQ(StateValue(), "") << "an empty table is an empty value, not a missing key";
}

TEST_F(SlotsTest, LoadTakesOnlyNamesEndedByAColon)
{
    struct Case {
        const char *state;
        Names slots;
    } cases[] = {
        {"\\a.crx:\\b.crx:", Occupied({{0, "\\a.crx"}, {1, "\\b.crx"}})},
        {"\\a.crx:\\b.crx", Occupied({{0, "\\a.crx"}})},
        {"\\a.crx", Occupied({})},
        // Tokens not of our own form are dropped; the next good one takes the slot.
        {":\\a.crx::\\b.crx:", Occupied({{0, "\\a.crx"}, {1, "\\b.crx"}})},
        {"\\a.crx:\\A.CRX:\\b.crx:", Occupied({{0, "\\a.crx"}, {1, "\\b.crx"}})},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.state);
        LoadCollectionState(c.state);
        EXPECT_EQ(SlotNames(), c.slots);
    }
}

TEST_F(SlotsTest, LoadAcceptsOnlyPlainItemFileNames)
{
    std::string longest = "\\" + std::string(258, 'n') + ".crx";  // 263 characters
    std::string tooLong = "\\" + std::string(259, 'n') + ".crx";
    struct Case {
        std::string name;
        bool accepted;
    } cases[] = {
        {"\\s1ao..crx", true},
        {"\\plain", true},
        {longest, true},
        {tooLong, false},
        {"", false},
        {"\\", false},
        {"a.crx", false},
        {"\\..\\..\\victim.txt", false},
        {"\\sub\\a.crx", false},
        {"\\sub/a.crx", false},
        {"\\.", false},
        {"\\..", false},
        {"\\a.crx.", false},
        {"\\a.crx ", false},
        {"\\a*.crx", false},
        {"\\a\t.crx", false},
        {"\\NUL", false},
        {"\\con.crx", false},
        {"\\COM1.txt", false},
        {"\\CONSOLE.crx", true},
        {"\\C", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        LoadCollectionState((c.name + ":\\next.crx:").c_str());
        EXPECT_EQ(SlotNames(), c.accepted ? Occupied({{0, c.name.c_str()}, {1, "\\next.crx"}})
                                          : Occupied({{0, "\\next.crx"}}));
        EXPECT_EQ(strnlen(itemSlots[0].name, sizeof itemSlots[0].name), strlen(itemSlots[0].name));
    }

    std::string many;
    for (int i = 0; i < 40; i++)
        many += Stored(i) + ":";
    LoadCollectionState(many.c_str());
    EXPECT_EQ(CountFreeSlots(), 0);
    EXPECT_STREQ(itemSlots[31].name, Stored(31).c_str());
}

// Every path the collection hands to fopen and remove.
std::vector<std::string> touchedPaths;
FILE *RecordOpen(const char *path, const char *mode)
{
    touchedPaths.push_back(path);
    return realPlatformCalls.openFile(path, mode);
}
int RecordRemove(const char *path)
{
    touchedPaths.push_back(path);
    return realPlatformCalls.removeFile(path);
}

TEST_F(SlotsTest, EditedStateCannotReachFilesOutsideTheFolder)
{
    std::string outside = ItemFolder() + "\\..\\..\\victim.txt";
    std::string beside = ItemFolder() + "\\..\\victim.txt";
    ASSERT_TRUE(WriteFileBytes(outside, "precious"));
    ASSERT_TRUE(WriteFileBytes(beside, "precious too"));
    StoreTextItem(0, "\\kept.crx", "kept");
    platformCalls.openFile = RecordOpen;
    platformCalls.removeFile = RecordRemove;
    touchedPaths.clear();

    SetIniValue(UserName().c_str(), "CLIPBOOK_STATE",
                "\\..\\..\\victim.txt:\\kept.crx:\\..\\victim.txt:..\\victim.txt:");
    LoadCollectionState(StateValue().c_str());
    EXPECT_EQ(SlotNames(), Occupied({{0, "\\kept.crx"}}));

    for (int i = 0; i < SLOT_COUNT; i++) {
        RestoreClipboardItem(i, otherProgramWindow);
        FILE *f = OpenSlotItemFile(i);
        if (f != NULL)
            fclose(f);
    }
    // A bad name that reached a slot some other way is still never used.
    itemSlots[31] = {SLOT_OCCUPIED, "\\..\\..\\victim.txt"};
    itemSlots[30] = {SLOT_OCCUPIED, "\\..\\victim.txt"};
    EXPECT_EQ(OpenSlotItemFile(31), nullptr);
    itemSlots[0].flags = SLOT_OCCUPIED;
    VacateIncomingSlot();
    itemSlots[0] = {SLOT_OCCUPIED, "\\..\\..\\victim.txt"};
    DropIncomingItem();
    itemSlots[1] = {SLOT_OCCUPIED, "\\..\\victim.txt"};
    ClearCollection();

    for (const std::string &path : touchedPaths)
        EXPECT_EQ(path.find("victim"), std::string::npos) << path;
    EXPECT_EQ(FileBytes(outside), "precious");
    EXPECT_EQ(FileBytes(beside), "precious too");
    DeleteFileA(outside.c_str());
    DeleteFileA(beside.c_str());
}

TEST_F(SlotsTest, CountsAndFindsTheCurrentSlot)
{
    EXPECT_EQ(CountFreeSlots(), 32);
    EXPECT_EQ(FindCurrentSlot(), 0);
    itemSlots[4] = {SLOT_OCCUPIED, "\\a.crx"};
    itemSlots[9] = {SLOT_OCCUPIED | SLOT_CURRENT, "\\b.crx"};
    EXPECT_EQ(CountFreeSlots(), 30);
    EXPECT_EQ(FindCurrentSlot(), 9);
    itemSlots[9].flags = SLOT_OCCUPIED;
    itemSlots[0] = {SLOT_OCCUPIED | SLOT_CURRENT, "\\c.crx"};
    EXPECT_EQ(FindCurrentSlot(), 0);
}

TEST_F(SlotsTest, EnsureItemFolderCreatesItAndRefusesAFile)
{
    char folder[MAX_PATH] = {0};
    ASSERT_TRUE(RemoveDirectoryA(ItemFolder().c_str()));
    ASSERT_TRUE(EnsureItemFolder(folder));
    EXPECT_EQ(folder, ItemFolder());
    EXPECT_TRUE(GetFileAttributesA(folder) & FILE_ATTRIBUTE_DIRECTORY);

    ASSERT_TRUE(RemoveDirectoryA(folder));
    ASSERT_TRUE(WriteFileBytes(ItemFolder(), "not a folder"));
    EXPECT_FALSE(EnsureItemFolder(folder));
    EXPECT_EQ(BeginNewItem(), nullptr);
    EXPECT_EQ(itemSlots[0].flags, 0u);
    DeleteFileA(ItemFolder().c_str());
    CreateDirectoryA(ItemFolder().c_str(), NULL);
}

TEST_F(SlotsTest, BeginNewItemIntoAFreeSlotZero)
{
    itemSlots[2] = {SLOT_OCCUPIED | SLOT_CURRENT, "\\old.crx"};
    FILE *f = BeginNewItem();
    ASSERT_NE(f, nullptr);
    fclose(f);
    EXPECT_EQ(itemSlots[0].flags, SLOT_OCCUPIED | SLOT_CURRENT);
    EXPECT_EQ(itemSlots[2].flags, SLOT_OCCUPIED) << "the old current mark is cleared";
    EXPECT_STREQ(itemSlots[2].name, "\\old.crx");
    std::string name = itemSlots[0].name;
    EXPECT_TRUE(IsItemFileName(name.c_str(), name.size())) << name;
    EXPECT_EQ(name.substr(name.size() - 4), ".crx");
    EXPECT_TRUE(FileExists(ItemPath(name.c_str())));
    EXPECT_EQ(FileBytes(ItemPath(name.c_str())), "");
    EXPECT_EQ(StateValue(), name + ":\\old.crx:");
}

TEST_F(SlotsTest, FullTableHoldsTheOldestAsideUntilTheCaptureEnds)
{
    for (bool kept : {true, false}) {
        SCOPED_TRACE(kept ? "new item kept" : "new item dropped");
        SetUp();
        FillAllSlots();
        Names before = SlotNames();
        SetIniValue(UserName().c_str(), "CLIPBOOK_STATE", "untouched");
        FILE *f = BeginNewItem();
        ASSERT_NE(f, nullptr);
        fclose(f);
        std::string incoming = itemSlots[0].name;
        for (int i = 1; i < SLOT_COUNT; i++)
            EXPECT_EQ(SlotNames()[i], Stored(i - 1));
        ASSERT_NE(HeldOutItem(), nullptr);
        EXPECT_EQ(HeldOutItem()->name, Stored(31));
        EXPECT_TRUE(FileExists(ItemPath(Stored(31).c_str()))) << "nothing is deleted yet";
        std::string held;
        for (const std::string &name : before)
            held += name + ":";
        EXPECT_EQ(StateValue(), held + incoming + ":")
            << "while held, the list before the capture is saved, the new file after it";
        EXPECT_EQ(ItemFolderFiles().size(), 33u);
        if (kept) {
            // Stopped here and started again: the list before the capture,
            // and the 33rd file is gone.
            ItemSlot table[SLOT_COUNT];
            memcpy(table, itemSlots, sizeof table);
            LoadCollectionState(StateValue().c_str());
            EXPECT_EQ(SlotNames(), before);
            EXPECT_EQ(ItemFolderFiles().size(), 32u);
            EXPECT_FALSE(FileExists(ItemPath(incoming.c_str())));
            memcpy(itemSlots, table, sizeof table);
            ASSERT_TRUE(WriteFileBytes(ItemPath(incoming.c_str()), ""));
        }

        if (!kept)
            DropIncomingItem();
        FinishNewItem();
        EXPECT_EQ(HeldOutItem(), nullptr);
        std::string state;
        for (const std::string &name : SlotNames())
            state += name + ":";
        EXPECT_EQ(StateValue(), state);
        if (kept) {
            EXPECT_FALSE(FileExists(ItemPath(Stored(31).c_str())));
            EXPECT_EQ(SlotNames()[0], incoming);
            EXPECT_EQ(SlotNames()[31], Stored(30));
        } else {
            EXPECT_TRUE(FileExists(ItemPath(Stored(31).c_str())));
            EXPECT_FALSE(FileExists(ItemPath(incoming.c_str())));
            EXPECT_EQ(SlotNames(), before);
            for (const ItemSlot &slot : itemSlots)
                EXPECT_EQ(slot.flags, SLOT_OCCUPIED);
        }
        EXPECT_EQ(ItemFolderFiles().size(), 32u);
    }
}

TEST_F(SlotsTest, FullTableGetsTheOldestBackWhenNoFileCanBeMade)
{
    FillAllSlots();
    Names before = SlotNames();
    SetIniValue(UserName().c_str(), "CLIPBOOK_STATE", "untouched");
    platformCalls.openFile = [](const char *, const char *) -> FILE * { return NULL; };
    EXPECT_EQ(BeginNewItem(), nullptr);
    EXPECT_EQ(SlotNames(), before);
    EXPECT_EQ(HeldOutItem(), nullptr);
    EXPECT_EQ(ItemFolderFiles().size(), 32u);
    std::string state;
    for (const std::string &name : before)
        state += name + ":";
    EXPECT_EQ(StateValue(), state);
}

// A name generator that first offers names taken on disk or by a slot.
std::vector<const char *> offeredNames;
char *OfferNames(char *buffer)
{
    if (offeredNames.empty())
        return realPlatformCalls.tempName(buffer);
    strcpy(buffer, offeredNames.front());
    offeredNames.erase(offeredNames.begin());
    return buffer;
}

TEST_F(SlotsTest, BeginNewItemNeverTruncatesAnExistingFile)
{
    StoreTextItem(3, "\\taken.crx", "stored");
    itemSlots[5] = {SLOT_OCCUPIED, "\\missing.crx"};  // file gone, name still in use
    ASSERT_TRUE(
        WriteFileBytes(ItemPath("\\stray.crx"), "not ours, but not to be truncated"));
    std::string stored = FileBytes(ItemPath("\\taken.crx"));
    offeredNames = {"\\taken", "\\missing", "\\STRAY", "C:\\elsewhere\\fresh"};
    platformCalls.tempName = OfferNames;

    FILE *f = BeginNewItem();
    ASSERT_NE(f, nullptr);
    fclose(f);
    EXPECT_STREQ(itemSlots[0].name, "\\fresh.crx");
    EXPECT_EQ(FileBytes(ItemPath("\\taken.crx")), stored);
    EXPECT_EQ(FileBytes(ItemPath("\\stray.crx")), "not ours, but not to be truncated");
    EXPECT_TRUE(FileExists(ItemPath("\\fresh.crx")));
}

TEST_F(SlotsTest, VacateShiftsWithoutSavingAndDropFrees)
{
    StoreTextItem(0, "\\in.crx", "in");
    StoreTextItem(1, "\\h1.crx", "h1");
    SetIniValue(UserName().c_str(), "CLIPBOOK_STATE", "untouched");
    VacateIncomingSlot();
    EXPECT_EQ(SlotNames(), Occupied({{1, "\\in.crx"}, {2, "\\h1.crx"}}));
    EXPECT_STREQ(itemSlots[0].name, "\\in.crx") << "a freed slot keeps its name";
    EXPECT_EQ(StateValue(), "untouched");

    DropIncomingItem();  // slot 0 free: only the state is written
    EXPECT_EQ(StateValue(), "\\in.crx:\\h1.crx:");
    EXPECT_TRUE(FileExists(ItemPath("\\in.crx")));

    StoreTextItem(0, "\\new.crx", "new");
    DropIncomingItem();
    EXPECT_EQ(itemSlots[0].flags, 0u);
    EXPECT_FALSE(FileExists(ItemPath("\\new.crx")));
    EXPECT_EQ(StateValue(), "\\in.crx:\\h1.crx:");
}

TEST_F(SlotsTest, PromoteMovesTheCurrentItemToSlotOne)
{
    itemSlots[0] = {SLOT_OCCUPIED, "\\s0.crx"};
    for (int i = 1; i <= 6; i++)
        itemSlots[i] = {SLOT_OCCUPIED, ""};
    for (int i = 1; i <= 6; i++)
        strcpy(itemSlots[i].name, ("\\s" + std::to_string(i) + ".crx").c_str());
    itemSlots[5].flags |= SLOT_CURRENT;
    PromoteCurrentItem();
    EXPECT_EQ(SlotNames(), Occupied({{0, "\\s0.crx"}, {1, "\\s5.crx"}, {2, "\\s1.crx"}, {3, "\\s2.crx"},
                                     {4, "\\s3.crx"}, {5, "\\s4.crx"}, {6, "\\s6.crx"}}));
    EXPECT_EQ(itemSlots[1].flags, SLOT_OCCUPIED | SLOT_CURRENT);
    EXPECT_EQ(StateValue(), "\\s0.crx:\\s5.crx:\\s1.crx:\\s2.crx:\\s3.crx:\\s4.crx:\\s6.crx:");

    SetIniValue(UserName().c_str(), "CLIPBOOK_STATE", "untouched");
    PromoteCurrentItem();  // current in slot 1: nothing moves, the state is saved
    EXPECT_EQ(StateValue(), "\\s0.crx:\\s5.crx:\\s1.crx:\\s2.crx:\\s3.crx:\\s4.crx:\\s6.crx:");

    itemSlots[1].flags = SLOT_OCCUPIED;
    itemSlots[0].flags |= SLOT_CURRENT;
    SetIniValue(UserName().c_str(), "CLIPBOOK_STATE", "untouched");
    PromoteCurrentItem();  // current in slot 0: nothing is written
    EXPECT_EQ(StateValue(), "untouched");
}

TEST_F(SlotsTest, ClearWithoutCurrentDeletesEverything)
{
    for (int i : {0, 1, 4, 31})
        StoreTextItem(i, Stored(i).c_str(), "x");
    ClearCollection();
    EXPECT_EQ(CountFreeSlots(), 32);
    EXPECT_TRUE(ItemFolderFiles().empty());
    EXPECT_EQ(StateValue(), "");
}

TEST_F(SlotsTest, ClearKeepsOnlyTheCurrentItemInSlotZero)
{
    for (int i : {0, 1, 9, 20})
        StoreTextItem(i, Stored(i).c_str(), "x");
    itemSlots[9].flags |= SLOT_CURRENT;
    ClearCollection();
    EXPECT_EQ(SlotNames(), Occupied({{0, "\\item09.crx"}}));
    EXPECT_EQ(itemSlots[0].flags, SLOT_OCCUPIED | SLOT_CURRENT);
    EXPECT_EQ(ItemFolderFiles(), Names({"\\item09.crx"}));
    EXPECT_EQ(StateValue(), "\\item09.crx:");
}

}  // namespace
