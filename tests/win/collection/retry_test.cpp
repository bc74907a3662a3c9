// Capture, restore and "Clear all" while another program holds the
// clipboard: each waits on the retry timer, takes what the clipboard holds
// once it opens, and gives up after the limit. The hold and the clock are
// the test's, through the platform table.
#include "support.h"

#include "collection/capture.h"
#include "collection/restore.h"
#include "collection/retry.h"
#include "shell/globals.h"

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
        now += CLIPBOARD_WAIT_LIMIT;
        RetryClipboardJobs();
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
    } cases[] = {{0, true}, {CLIPBOARD_WAIT_LIMIT - 1, true}, {CLIPBOARD_WAIT_LIMIT, false}};
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
        EXPECT_FALSE(RetryClipboardJobs());
        clipboardHeld = false;
        EXPECT_EQ(RetryClipboardJobs(), c.captured);
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
    EXPECT_TRUE(RetryClipboardJobs());
    EXPECT_EQ(IncomingText(), Text("second"));
    EXPECT_EQ(ItemFolderFiles().size(), 1u) << "one capture for the two changes";

    // The program's own restore replaced what the capture waited for: the
    // restored item is not captured as news.
    clipboardHeld = true;
    ASSERT_TRUE(PutClipboard({{CF_TEXT, Text("third")}}));
    CaptureClipboard(panelWindow);
    ASSERT_TRUE(PutClipboard({{CF_TEXT, Text("restored")}}, itemListWindow));
    clipboardHeld = false;
    EXPECT_FALSE(RetryClipboardJobs());
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
    now += CLIPBOARD_WAIT_LIMIT / 2;
    clipboardHeld = false;
    EXPECT_FALSE(RetryClipboardJobs());
    EXPECT_FALSE(PlacementWaiting());
    EXPECT_EQ(ClipboardBytes(CF_TEXT), Text("item 3")) << "the item, not what moved into its slot";
    EXPECT_EQ(GetClipboardOwner(), itemListWindow);

    // The next step while held replaces the one that waits.
    clipboardHeld = true;
    RestoreClipboardItem(5, itemListWindow);
    RestoreClipboardItem(2, itemListWindow);
    clipboardHeld = false;
    RetryClipboardJobs();
    EXPECT_EQ(ClipboardBytes(CF_TEXT), Text("item 1"));

    // Another program's change after the request stays on the clipboard.
    clipboardHeld = true;
    RestoreClipboardItem(4, itemListWindow);
    ASSERT_TRUE(PutClipboard({{CF_TEXT, Text("copied meanwhile")}}));
    CaptureClipboard(panelWindow);
    EXPECT_FALSE(PlacementWaiting());
    clipboardHeld = false;
    EXPECT_TRUE(RetryClipboardJobs());
    EXPECT_EQ(IncomingText(), Text("copied meanwhile"));
    EXPECT_EQ(ClipboardBytes(CF_TEXT), Text("copied meanwhile"));

    clipboardHeld = true;
    ClearClipboard(panelWindow);
    EXPECT_FALSE(ClipboardFormats().empty());
    clipboardHeld = false;
    RetryClipboardJobs();
    EXPECT_TRUE(ClipboardFormats().empty());
}

}  // namespace
