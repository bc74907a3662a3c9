// Capture, restore and "Clear all" while another program holds the
// clipboard: each waits on the retry timer, takes what the clipboard holds
// once it opens, and gives up after the limit. The hold and the clock are
// the test's, through the platform table.
#include "support.h"

#include "poll.h"

#include "collection/capture.h"
#include "collection/restore.h"
#include "collection/retry.h"
#include "shell/globals.h"
#include "ui/panel.h"

namespace {

bool clipboardHeld;  // another program holds the clipboard
DWORD now;           // the clock the waits read

// The real OpenClipboard, patient with Wine's own clipboard manager.
BOOL WINAPI HeldOpenClipboard(HWND owner)
{
    if (clipboardHeld)
        return FALSE;
    DWORD start = GetTickCount();
    while (!OpenClipboard(owner)) {
        if (GetTickCount() - start > 5000)
            return FALSE;
        Sleep(1);
    }
    return TRUE;
}

DWORD WINAPI TestClock() { return now; }

int loads;  // blocks a restore allocated for its records
HGLOBAL WINAPI CountedAllocBlock(UINT flags, SIZE_T size)
{
    loads++;
    return realPlatformCalls.allocBlock(flags, size);
}

// One tick of the panel's retry timer.
void Tick() { RetryClipboardWaits(panelWindow); }

std::string Text(const char *s) { return std::string(s) + '\0'; }

class RetryTest : public CollectionTest {
protected:
    void SetUp() override
    {
        CollectionTest::SetUp();
        platformCalls.openClipboard = HeldOpenClipboard;
        platformCalls.tickCount = TestClock;
        now = 100000;
        EndWaits();
    }
    void TearDown() override
    {
        EndWaits();
        CollectionTest::TearDown();
    }
    // Whatever still waits gives up, without touching the clipboard.
    void EndWaits()
    {
        clipboardHeld = true;
        now += CAPTURE_WAIT_LIMIT;
        Tick();
        clipboardHeld = false;
    }
    std::string IncomingText()
    {
        if (itemSlots[0].flags == 0)
            return "<slot 0 free>";
        std::vector<StoredRecord> records = ReadItemFile(ItemPath(itemSlots[0].name));
        return records.empty() ? "<no record>" : records[0].data;
    }
};

TEST_F(RetryTest, HeldChangeIsCapturedUntilTheLimit)
{
    struct Case {
        DWORD heldFor;
        bool captured;
    } cases[] = {{0, true},
                 {1500, true},  // a program that holds the clipboard for a second or two
                 {CAPTURE_WAIT_LIMIT - 1, true},
                 {CAPTURE_WAIT_LIMIT, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.heldFor);
        SetUp();
        StoreTextItem(1, "\\older.crx", "older");
        ASSERT_TRUE(PutClipboard({{CF_TEXT, Text("while held")}}));
        clipboardHeld = true;
        CaptureClipboard(panelWindow);
        EXPECT_TRUE(CaptureWaiting());
        EXPECT_EQ(itemSlots[0].flags, 0u);
        EXPECT_FALSE(TakePopupMessage()) << "no notice before the capture";
        now += c.heldFor;
        Tick();
        EXPECT_EQ(itemSlots[0].flags, 0u);
        clipboardHeld = false;
        Tick();
        EXPECT_FALSE(CaptureWaiting());
        EXPECT_EQ(IncomingText(), c.captured ? Text("while held") : "<slot 0 free>");
        // The notice counts the items as they were at the change.
        EXPECT_EQ(TakePopupMessage(), c.captured);
        EXPECT_EQ(trayCalls.empty(), !c.captured);
        if (c.captured) {
            EXPECT_STREQ(trayCalls.back().record.szInfo, "1 clipboard item collected");
        }
        TearDown();
    }
}

TEST_F(RetryTest, WaitingChangeGivesWayToNewerContent)
{
    ASSERT_TRUE(PutClipboard({{CF_TEXT, Text("first")}}));
    clipboardHeld = true;
    CaptureClipboard(panelWindow);
    ASSERT_TRUE(PutClipboard({{CF_TEXT, Text("second")}}));
    CaptureClipboard(panelWindow);
    clipboardHeld = false;
    Tick();
    EXPECT_EQ(IncomingText(), Text("second"));
    EXPECT_EQ(ItemFolderFiles().size(), 1u) << "one capture for the two changes";

    // The program's own restore replaced what the capture waited for: the
    // restored item is not captured as news.
    clipboardHeld = true;
    ASSERT_TRUE(PutClipboard({{CF_TEXT, Text("third")}}));
    CaptureClipboard(panelWindow);
    ASSERT_TRUE(PutClipboard({{CF_TEXT, Text("restored")}}, itemListWindow));
    clipboardHeld = false;
    Tick();
    EXPECT_FALSE(CaptureWaiting());
    EXPECT_EQ(ItemFolderFiles().size(), 1u);
}

TEST_F(RetryTest, HeldRestoreAndClearPutTheirContentLater)
{
    for (int i = 0; i <= 5; i++)
        StoreTextItem(i, ("\\r" + std::to_string(i) + ".crx").c_str(), "item " + std::to_string(i));
    ASSERT_TRUE(PutClipboard({{CF_TEXT, Text("sentinel")}}));

    clipboardHeld = true;
    RestoreClipboardItem(3, itemListWindow);
    EXPECT_EQ(FindCurrentSlot(), 4) << "the table moves at once";
    EXPECT_TRUE(PlacementWaiting());
    EXPECT_EQ(ClipboardBytes(CF_TEXT), Text("sentinel"));
    now += PLACEMENT_WAIT_LIMIT / 2;
    clipboardHeld = false;
    Tick();
    EXPECT_FALSE(PlacementWaiting());
    EXPECT_EQ(ClipboardBytes(CF_TEXT), Text("item 3")) << "the item, not what moved into its slot";
    EXPECT_EQ(GetClipboardOwner(), itemListWindow);

    // The next step while held replaces the one that waits.
    clipboardHeld = true;
    RestoreClipboardItem(5, itemListWindow);
    RestoreClipboardItem(2, itemListWindow);
    clipboardHeld = false;
    Tick();
    EXPECT_EQ(ClipboardBytes(CF_TEXT), Text("item 1"));

    // Another program's change after the request stays on the clipboard.
    clipboardHeld = true;
    RestoreClipboardItem(4, itemListWindow);
    ASSERT_TRUE(PutClipboard({{CF_TEXT, Text("copied meanwhile")}}));
    CaptureClipboard(panelWindow);
    EXPECT_FALSE(PlacementWaiting());
    clipboardHeld = false;
    Tick();
    EXPECT_EQ(IncomingText(), Text("copied meanwhile"));
    EXPECT_EQ(ClipboardBytes(CF_TEXT), Text("copied meanwhile"));

    // Open in another window meanwhile: the wait loads nothing until it closes.
    HWND other = MakeTestWindow("RetryTestHolder", "holder", WS_POPUP, DefWindowProcA);
    ASSERT_TRUE(OpenClipboardWithin(other, 5000));
    clipboardHeld = true;
    RestoreClipboardItem(2, itemListWindow);
    clipboardHeld = false;
    ASSERT_TRUE(PlacementWaiting());
    loads = 0;
    platformCalls.allocBlock = CountedAllocBlock;
    for (int i = 0; i < 3; i++)
        Tick();
    EXPECT_EQ(loads, 0);
    CloseClipboard();
    Tick();
    platformCalls.allocBlock = realPlatformCalls.allocBlock;
    EXPECT_EQ(loads, 1);
    EXPECT_FALSE(PlacementWaiting());
    DestroyWindow(other);

    clipboardHeld = true;
    ClearClipboard(panelWindow);
    EXPECT_FALSE(ClipboardFormats().empty());
    clipboardHeld = false;
    Tick();
    EXPECT_TRUE(ClipboardFormats().empty());
}

// The current mark follows what the clipboard holds, whichever way a wait ends.
TEST_F(RetryTest, WaitingRestoreLeavesTheMarkWhereTheClipboardIs)
{
    for (int i = 1; i <= 5; i++)
        StoreTextItem(i, ("\\r" + std::to_string(i) + ".crx").c_str(), "item " + std::to_string(i));
    StoreTextItem(6, "\\unreadable.crx", "");
    ASSERT_TRUE(WriteFileBytes(ItemPath("\\unreadable.crx"), "not an item file"));
    ASSERT_TRUE(PutClipboard({{CF_TEXT, Text("item 2")}}));
    itemSlots[2].flags |= SLOT_CURRENT;

    // Two steps that wait and run out: the mark goes back to item 2.
    clipboardHeld = true;
    RestoreClipboardItem(3, itemListWindow);
    RestoreClipboardItem(4, itemListWindow);
    EXPECT_EQ(FindCurrentSlot(), 4);
    now += PLACEMENT_WAIT_LIMIT;
    Tick();
    EXPECT_FALSE(PlacementWaiting());
    EXPECT_EQ(FindCurrentSlot(), 2);

    // A step whose item cannot be read ends the one that waits.
    RestoreClipboardItem(3, itemListWindow);
    RestoreClipboardItem(6, itemListWindow);
    clipboardHeld = false;
    Tick();
    EXPECT_EQ(ClipboardBytes(CF_TEXT), Text("item 2"));

    // A copy and a step both wait; the copy is stored first, then the step
    // lands: its item is current and the copy joins the history.
    clipboardHeld = true;
    ASSERT_TRUE(PutClipboard({{CF_TEXT, Text("copied while held")}}));
    CaptureClipboard(panelWindow);
    RestoreClipboardItem(3, itemListWindow);
    clipboardHeld = false;
    Tick();
    EXPECT_EQ(ClipboardBytes(CF_TEXT), Text("item 3"));
    EXPECT_EQ(itemSlots[0].flags, 0u);
    EXPECT_EQ(ReadItemFile(ItemPath(itemSlots[1].name))[0].data, Text("copied while held"));
    EXPECT_EQ(FindCurrentSlot(), 4);
    EXPECT_STREQ(itemSlots[4].name, "\\r3.crx");

    // The holder lets go and the user steps before the next tick: the copy
    // is still stored, before the chosen item (r4, in slot 5) goes back.
    clipboardHeld = true;
    ASSERT_TRUE(PutClipboard({{CF_TEXT, Text("copied, then a step")}}));
    CaptureClipboard(panelWindow);
    clipboardHeld = false;
    RestoreClipboardItem(5, itemListWindow);
    Tick();
    EXPECT_EQ(ClipboardBytes(CF_TEXT), Text("item 4"));
    EXPECT_EQ(ReadItemFile(ItemPath(itemSlots[1].name))[0].data, Text("copied, then a step"));
    EXPECT_EQ(FindCurrentSlot(), 6);
    EXPECT_STREQ(itemSlots[6].name, "\\r4.crx");
}

}  // namespace
