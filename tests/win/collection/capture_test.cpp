// Capture on Wine's real clipboard: the format filter, the item written, the
// owner test, notices, duplicates, private content and a failing disk.
#include "support.h"

#include <string.h>

#include <algorithm>

#include "collection/capture.h"
#include "collection/restore.h"
#include "libtarn.h"
#include "shell/globals.h"

namespace {

using Names = std::vector<std::string>;

std::string Text(const char *s) { return std::string(s) + '\0'; }

bool HasRecord(const std::vector<StoredRecord> &records, const StoredRecord &wanted)
{
    return std::find(records.begin(), records.end(), wanted) != records.end();
}

class CaptureTest : public CollectionTest {
protected:
    // Captures text put on the clipboard by the other program.
    void CaptureText(const char *text)
    {
        ASSERT_TRUE(PutClipboard({{CF_TEXT, Text(text)}}));
        CaptureClipboard(panelWindow);
    }
    // The one notice given, as the tray saw it: title and text.
    std::pair<std::string, std::string> Notice()
    {
        if (trayCalls.empty())
            return {"<no notice>", ""};
        const NOTIFYICONDATAA &r = trayCalls.back().record;
        return {r.szInfoTitle, r.szInfo};
    }
    void ForgetFormat(const char *name)
    {
        WritePrivateProfileStringA("CLIPBOOK_STATE", name, NULL, IniPath().c_str());
    }
};

TEST_F(CaptureTest, FilterTakesStandardFormatsAndTheFixedLists)
{
    for (UINT format = CF_TEXT; format <= CF_LOCALE; format++)
        EXPECT_EQ(IsFormatCollected(format), 1) << format;
    EXPECT_EQ(IsFormatCollected(CF_DIBV5), 0) << "no name, no switch";
    struct Case {
        const char *name;
        int collected;
    } cases[] = {
        {"HTML Format", 1}, {"Rich Text Format", 1}, {"Biff", 1}, {"WK1", 1},
        {"Hidden Text Banner Format", 1}, {"PNG", 1}, {"Native", 0}, {"ASEL", 0},
        {"Ole Private Data", 0}, {"HyperlinkWordBkmk", 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(IsFormatCollected(RegisteredFormat(c.name)), c.collected) << c.name;
        EXPECT_EQ(IniValue("CLIPBOOK_STATE", c.name, "<none>"), "<none>") << c.name;
    }
}

TEST_F(CaptureTest, FilterAsksThePerFormatSwitchForOtherNames)
{
    // Registered names match without regard to case, so a case variant of a
    // listed name exists only if nobody registered the listed spelling first.
    const char *variant = "microsoft outlook express html format";
    char registered[256] = {0};
    GetClipboardFormatNameA(RegisteredFormat(variant), registered, 255);
    ASSERT_STREQ(registered, variant) << "the listed spelling was registered first in this session";

    for (const char *name : {"Clipdock Test Format", variant}) {
        SCOPED_TRACE(name);
        UINT format = RegisteredFormat(name);
        EXPECT_EQ(IsFormatCollected(format), 0);
        EXPECT_EQ(IniValue("CLIPBOOK_STATE", name, "<none>"), "0") << "created as 0 on first sight";
        EXPECT_EQ(IsFormatCollected(format), 0);
        struct {
            const char *value;
            int collected;
        } values[] = {{"1", 1}, {"7", 1}, {"-1", 1}, {"0", 0}, {"yes", 0}, {"", 0}};
        for (auto &v : values) {
            SetIniValue("CLIPBOOK_STATE", name, v.value);
            EXPECT_EQ(IsFormatCollected(format), v.collected) << "value '" << v.value << "'";
        }
    }
    // A name that could not be one key of the file gets no switch.
    EXPECT_EQ(IsFormatCollected(RegisteredFormat("a=b")), 0);
    EXPECT_EQ(IsFormatCollected(RegisteredFormat("line\r\n[x]")), 0);
    EXPECT_EQ(SectionKeys("CLIPBOOK_STATE"), Names({"Clipdock Test Format", variant}));
}

TEST_F(CaptureTest, NewFormatIsStoredOnceSwitchedOn)
{
    UINT custom = RegisteredFormat("Clipdock Custom Data");
    ASSERT_TRUE(PutClipboard({{CF_TEXT, Text("with custom")}, {custom, "custom bytes"}}));
    CaptureClipboard(panelWindow);
    ASSERT_EQ(itemSlots[0].flags, SLOT_OCCUPIED | SLOT_CURRENT);
    auto records = ReadItemFile(ItemPath(itemSlots[0].name));
    EXPECT_FALSE(HasRecord(records, {NAMED_FORMAT, "Clipdock Custom Data", "custom bytes"}));
    EXPECT_EQ(IniValue("CLIPBOOK_STATE", "Clipdock Custom Data"), "0");

    SetIniValue("CLIPBOOK_STATE", "Clipdock Custom Data", "1");
    ASSERT_TRUE(PutClipboard({{CF_TEXT, Text("with custom, again")}, {custom, "custom bytes"}}));
    CaptureClipboard(panelWindow);
    records = ReadItemFile(ItemPath(itemSlots[0].name));
    EXPECT_TRUE(HasRecord(records, {NAMED_FORMAT, "Clipdock Custom Data", "custom bytes"}));
    ForgetFormat("Clipdock Custom Data");

    // A name of the longest kind, 255 characters, is kept whole.
    std::string longest = "Clipdock Long Name " + std::string(255 - 19, 'n');
    UINT longFormat = RegisteredFormat(longest.c_str());
    SetIniValue("CLIPBOOK_STATE", longest.c_str(), "1");
    ASSERT_TRUE(PutClipboard({{CF_TEXT, Text("with a long name")}, {longFormat, "long"}}));
    CaptureClipboard(panelWindow);
    records = ReadItemFile(ItemPath(itemSlots[0].name));
    EXPECT_TRUE(HasRecord(records, {NAMED_FORMAT, longest, "long"}));
    ForgetFormat(longest.c_str());

    // More collected formats than an item holds records: the first 64 are
    // stored and restored, and a new name met after them gets its switch.
    std::vector<ClipEntry> many;
    for (int i = 0; i < 65; i++) {
        std::string name = "Clipdock Many " + std::to_string(i);
        SetIniValue("CLIPBOOK_STATE", name.c_str(), "1");
        many.push_back({RegisteredFormat(name.c_str()), "many " + std::to_string(i)});
    }
    many.push_back({RegisteredFormat("Clipdock After Many"), "after"});
    ASSERT_TRUE(PutClipboard(many));
    CaptureClipboard(panelWindow);
    records = ReadItemFile(ItemPath(itemSlots[0].name));
    EXPECT_EQ(records.size(), 64u);
    EXPECT_EQ(IniValue("CLIPBOOK_STATE", "Clipdock After Many", "<none>"), "0");
    ASSERT_TRUE(EmptyTheClipboard());
    RestoreClipboardItem(0, panelWindow);
    EXPECT_EQ(ClipboardFormats().size(), 64u);
    EXPECT_EQ(ClipboardBytes(many[63].format), "many 63");
    for (int i = 0; i < 65; i++)
        ForgetFormat(("Clipdock Many " + std::to_string(i)).c_str());
    ForgetFormat("Clipdock After Many");
}

TEST_F(CaptureTest, TextAndHtmlGoIntoOneItemFile)
{
    std::string html = "Version:0.9\r\nStartHTML:0\r\n<b>bold</b>";
    ASSERT_TRUE(PutClipboard({{CF_TEXT, Text("hello")}, {HtmlFormat(), html}}));
    CaptureClipboard(panelWindow);

    ASSERT_EQ(ItemFolderFiles(), Names({itemSlots[0].name}));
    EXPECT_EQ(itemSlots[0].flags, SLOT_OCCUPIED | SLOT_CURRENT);
    EXPECT_EQ(StateValue(), std::string(itemSlots[0].name) + ":");
    bool ok = false;
    auto records = ReadItemFile(ItemPath(itemSlots[0].name), &ok);
    ASSERT_TRUE(ok);
    EXPECT_TRUE(HasRecord(records, {CF_TEXT, "", Text("hello")}));
    EXPECT_TRUE(HasRecord(records, {NAMED_FORMAT, "HTML Format", html}));
    for (const StoredRecord &r : records)
        EXPECT_TRUE(r.format <= CF_LOCALE ? r.name.empty() : r.name == "HTML Format")
            << r.format << " " << r.name;
    EXPECT_FALSE(clipboardWasEmpty);
}

TEST_F(CaptureTest, FirstCaptureChecksNoOwnerAndGivesNoNotice)
{
    StoreTextItem(1, "\\older.crx", "older");
    firstCapturePending = true;
    ASSERT_TRUE(PutClipboard({{CF_TEXT, Text("at start-up")}}, itemListWindow));
    CaptureClipboard(panelWindow);
    EXPECT_FALSE(firstCapturePending);
    EXPECT_EQ(itemSlots[0].flags, SLOT_OCCUPIED | SLOT_CURRENT);
    EXPECT_EQ(ReadItemFile(ItemPath(itemSlots[0].name))[0].data, Text("at start-up"));
    EXPECT_FALSE(TakePopupMessage());
    EXPECT_TRUE(trayCalls.empty());

    // From now on the item list's own changes are ignored.
    clipboardWasEmpty = true;
    ASSERT_TRUE(PutClipboard({{CF_TEXT, Text("restored by the list")}}, itemListWindow));
    CaptureClipboard(panelWindow);
    EXPECT_FALSE(clipboardWasEmpty);
    EXPECT_EQ(ItemFolderFiles().size(), 2u);
    EXPECT_EQ(CountFreeSlots(), 30);
    EXPECT_FALSE(TakePopupMessage());
    EXPECT_TRUE(trayCalls.empty());
}

TEST_F(CaptureTest, EmptyClipboardIsNotedWithoutNotice)
{
    StoreTextItem(1, "\\older.crx", "older");
    ASSERT_TRUE(EmptyTheClipboard());
    CaptureClipboard(panelWindow);
    EXPECT_TRUE(clipboardWasEmpty);
    EXPECT_EQ(ItemFolderFiles().size(), 1u);
    EXPECT_FALSE(TakePopupMessage());
    EXPECT_TRUE(trayCalls.empty());
}

TEST_F(CaptureTest, NoticeTellsHowFullTheCollectionWas)
{
    struct Case {
        int used;
        const char *title;
        const char *text;
    } cases[] = {
        {1, "1 of 31 - Clipboard", "1 clipboard item collected"},
        {2, "2 of 31 - Clipboard", "2 clipboard items collected"},
        {30, "30 of 31 - Clipboard", "30 clipboard items collected"},
        {31, "31 of 31 - Clipboard", "31 clipboard items collected"},
        {32, "30 items - Clipboard Full", "Replacing oldest clipboard item in collection"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.used);
        SetUp();
        for (int i = 0; i < c.used; i++)
            StoreTextItem(SLOT_COUNT - c.used + i, ("\\n" + std::to_string(i) + ".crx").c_str(),
                          "n" + std::to_string(i));
        CaptureText(("notice " + std::to_string(c.used)).c_str());
        EXPECT_TRUE(TakePopupMessage());
        ASSERT_FALSE(trayCalls.empty());
        EXPECT_EQ(Notice(), std::make_pair(std::string(c.title), std::string(c.text)));
        EXPECT_EQ(ItemFolderFiles().size(), (size_t)std::min(c.used + 1, SLOT_COUNT));
    }
    // With slot 31 full, its item was the one deleted.
    EXPECT_FALSE(FileExists(ItemPath("\\n31.crx")));
    EXPECT_EQ(itemSlots[31].name, std::string("\\n30.crx"));

    SetUp();
    CaptureText("into an empty collection");
    EXPECT_FALSE(TakePopupMessage());
    EXPECT_TRUE(trayCalls.empty());
}

TEST_F(CaptureTest, NothingCollectableStillGivesTheNotice)
{
    StoreTextItem(1, "\\older.crx", "older");
    ASSERT_TRUE(PutClipboard({{RegisteredFormat("Native"), "object bytes"},
                              {RegisteredFormat("Clipdock Unknown"), "more"}}));
    CaptureClipboard(panelWindow);
    EXPECT_EQ(ItemFolderFiles(), Names({"\\older.crx"}));
    EXPECT_EQ(SlotNames()[0], "");
    EXPECT_EQ(StateValue(), "<missing>") << "the table did not change, so nothing was saved";
    EXPECT_TRUE(TakePopupMessage());
    EXPECT_EQ(Notice().first, "1 of 31 - Clipboard");
    ForgetFormat("Clipdock Unknown");
}

TEST_F(CaptureTest, CopyOfAStoredItemMovesTheFirstEqualOneToSlotOne)
{
    struct Case {
        int match;  // the stored item equal to the copy
        int twin;   // a later slot holding another equal item, or 0
    } cases[] = {{7, 0}, {4, 9}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.match);
        SetUp();
        CaptureText("again");
        std::string again = itemSlots[0].name;
        std::string againBytes = FileBytes(ItemPath(again.c_str()));
        itemSlots[c.match] = itemSlots[0];
        itemSlots[c.match].flags = SLOT_OCCUPIED;
        itemSlots[0].flags = 0;
        Names expected(SLOT_COUNT), stored(SLOT_COUNT);
        for (int i = 1; i <= 10; i++) {
            if (i == 8)
                continue;  // a free slot stays where it is
            stored[i] = "\\h" + std::to_string(i) + ".crx";
            if (i == c.twin) {
                ASSERT_TRUE(WriteFileBytes(ItemPath(stored[i].c_str()), againBytes));
                itemSlots[i].flags = SLOT_OCCUPIED;
                strcpy(itemSlots[i].name, stored[i].c_str());
            } else if (i != c.match) {
                StoreTextItem(i, stored[i].c_str(), "other " + std::to_string(i));
            }
        }
        stored[c.match] = again;
        std::string state;
        for (int i = 1; i <= 10; i++) {
            expected[i] = i == 1 ? again : i <= c.match ? stored[i - 1] : stored[i];
            state += expected[i].empty() ? "" : expected[i] + ":";
        }
        trayCalls.clear();

        CaptureText("again");
        EXPECT_EQ(SlotNames(), expected);
        EXPECT_EQ(itemSlots[1].flags, SLOT_OCCUPIED | SLOT_CURRENT);
        if (c.twin != 0) {
            EXPECT_EQ(itemSlots[c.twin].flags, SLOT_OCCUPIED) << "the later equal item stays";
        }
        EXPECT_EQ(ItemFolderFiles().size(), 9u) << "the new file was deleted";
        EXPECT_EQ(FileBytes(ItemPath(again.c_str())), againBytes);
        EXPECT_EQ(StateValue(), state);
        EXPECT_EQ(Notice().first, "9 of 31 - Clipboard") << "counted before the capture";
    }
}

TEST_F(CaptureTest, SameTextTwiceFillsOneSlot)
{
    CaptureText("twice");
    std::string first = itemSlots[0].name;
    CaptureText("twice");
    EXPECT_EQ(SlotNames()[0], "");
    EXPECT_EQ(SlotNames()[1], first);
    EXPECT_EQ(itemSlots[1].flags, SLOT_OCCUPIED | SLOT_CURRENT);
    EXPECT_EQ(ItemFolderFiles(), Names({first}));
}

TEST_F(CaptureTest, PictureIsNoCopyOfATextItem)
{
    StoreTextItem(1, "\\text.crx", "one format only");
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = 4;
    header.biHeight = 4;
    header.biPlanes = 1;
    header.biBitCount = 32;
    std::string dib((const char *)&header, sizeof header);
    dib += std::string(4 * 4 * 4, '\x7f');
    ASSERT_TRUE(PutClipboard({{CF_DIB, dib}}));
    CaptureClipboard(panelWindow);
    ASSERT_EQ(itemSlots[0].flags, SLOT_OCCUPIED | SLOT_CURRENT) << "the picture is kept";
    EXPECT_TRUE(HasRecord(ReadItemFile(ItemPath(itemSlots[0].name)), {CF_DIB, "", dib}));
    EXPECT_EQ(itemSlots[1].flags, SLOT_OCCUPIED);
    EXPECT_EQ(ItemFolderFiles().size(), 2u);
}

TEST_F(CaptureTest, ItemNamedLikeFormatNumbersIsNoCopyOfText)
{
    // A foreign item whose records carry the names "#1", "#13" and so on of
    // the formats a text copy holds: restore leaves such names out (the
    // platform would take them for those numbers), so it equals no copy.
    CaptureText("probe");
    std::vector<ItemEntry> crafted;
    for (const StoredRecord &r : ReadItemFile(ItemPath(itemSlots[0].name)))
        crafted.push_back({0xC0DE, r.data, "#" + std::to_string(r.format)});
    ASSERT_GE(crafted.size(), 1u);
    DropIncomingItem();
    ASSERT_TRUE(WriteItemFile(ItemPath("\\crafted.crx"), crafted));
    itemSlots[1] = {SLOT_OCCUPIED, "\\crafted.crx"};

    CaptureText("a copy after it");
    EXPECT_EQ(itemSlots[0].flags, SLOT_OCCUPIED | SLOT_CURRENT) << "the copy was taken for it";
    EXPECT_EQ(itemSlots[1].flags, SLOT_OCCUPIED);
    EXPECT_EQ(ItemFolderFiles().size(), 2u);
}

TEST_F(CaptureTest, DuplicateSearchSkipsStoredFilesThatAreGone)
{
    CaptureText("survivor");
    std::string survivor = itemSlots[0].name;
    itemSlots[4] = itemSlots[0];
    itemSlots[4].flags = SLOT_OCCUPIED;
    itemSlots[0].flags = 0;
    itemSlots[1] = {SLOT_OCCUPIED, "\\gone1.crx"};
    itemSlots[2] = {SLOT_OCCUPIED, "\\gone2.crx"};
    StoreTextItem(3, "\\other.crx", "other");

    CaptureText("survivor");
    EXPECT_EQ(itemSlots[0].flags, 0u);
    EXPECT_EQ(SlotNames()[1], survivor);
    EXPECT_EQ(itemSlots[1].flags, SLOT_OCCUPIED | SLOT_CURRENT);
    EXPECT_EQ(ItemFolderFiles().size(), 2u);
}

TEST_F(CaptureTest, PrivateContentLeavesNoTrace)
{
    StoreTextItem(1, "\\older.crx", "older");
    DWORD zero = 0, one = 1;
    std::string no((const char *)&zero, 4), yes((const char *)&one, 4);
    struct Case {
        const char *marker;
        std::string value;
    } cases[] = {
        {"Clipboard Viewer Ignore", ""},
        {"ExcludeClipboardContentFromMonitorProcessing", ""},
        {"CanIncludeInClipboardHistory", no},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.marker);
        std::vector<ClipEntry> entries = {{CF_TEXT, Text("hunter2")},
                                          {RegisteredFormat("Clipdock Secret Kind"), "x"}};
        entries.push_back({RegisteredFormat(c.marker), c.value.empty() ? std::string("1") : c.value});
        ASSERT_TRUE(PutClipboard(entries));
        CaptureClipboard(panelWindow);
        EXPECT_EQ(ItemFolderFiles(), Names({"\\older.crx"}));
        EXPECT_EQ(SlotNames()[0], "");
        EXPECT_EQ(StateValue(), "<missing>");
        EXPECT_FALSE(TakePopupMessage());
        EXPECT_TRUE(trayCalls.empty());
        EXPECT_EQ(SectionKeys("CLIPBOOK_STATE"), Names());
    }

    // Allowed into histories: an ordinary capture.
    ASSERT_TRUE(PutClipboard({{CF_TEXT, Text("public")}, {RegisteredFormat("CanIncludeInClipboardHistory"), yes}}));
    CaptureClipboard(panelWindow);
    EXPECT_EQ(itemSlots[0].flags, SLOT_OCCUPIED | SLOT_CURRENT);
    EXPECT_TRUE(HasRecord(ReadItemFile(ItemPath(itemSlots[0].name)), {CF_TEXT, "", Text("public")}));
    ForgetFormat("CanIncludeInClipboardHistory");
}

TEST_F(CaptureTest, OnlyCollectedFormatsAreRendered)
{
    UINT native = RegisteredFormat("Native");
    UINT unknown = RegisteredFormat("Clipdock Expensive Format");
    ASSERT_TRUE(PutClipboard({{CF_TEXT, Text("cells")},
                              {native, "embedded object", true},
                              {unknown, "large picture", true},
                              {HtmlFormat(), "<td>cells</td>", true}}));
    CaptureClipboard(panelWindow);
    EXPECT_EQ(renderRequests, std::vector<UINT>({HtmlFormat()}));
    auto records = ReadItemFile(ItemPath(itemSlots[0].name));
    EXPECT_TRUE(HasRecord(records, {NAMED_FORMAT, "HTML Format", "<td>cells</td>"}));
    EXPECT_TRUE(HasRecord(records, {CF_TEXT, "", Text("cells")}));
    ForgetFormat("Clipdock Expensive Format");
}

// A full history of 32 captured items, "full 0" the newest in slot 0 and
// "full 31" the oldest, with the bytes of every item file.
struct FullHistory {
    Names names;
    std::vector<std::string> bytes;
};

std::string FullText(int n) { return "full " + std::to_string(n); }

// How the newest item of a full history was copied: as text; as office and
// drawing programs copy, Unicode text with an enhanced metafile (the
// clipboard then also offers a metafile picture); or as text that an
// earlier version stored with a metafile picture's handle record.
enum Newest { NEWEST_TEXT, NEWEST_WITH_METAFILE, NEWEST_WITH_OLD_PICTURE };

class FullHistoryTest : public CaptureTest {
protected:
    FullHistory Fill(Newest newest = NEWEST_TEXT)
    {
        for (int i = SLOT_COUNT - 1; i >= 1; i--)
            CaptureText(FullText(i).c_str());
        if (newest == NEWEST_WITH_METAFILE) {
            HDC dc = CreateEnhMetaFileA(NULL, NULL, NULL, NULL);
            Rectangle(dc, 0, 0, 20, 10);
            std::wstring text = L"full 0";
            std::string wide((const char *)text.c_str(), (text.size() + 1) * sizeof(wchar_t));
            EXPECT_TRUE(PutClipboard(
                {{CF_UNICODETEXT, wide}, {CF_ENHMETAFILE, "", false, CloseEnhMetaFile(dc)}}));
            CaptureClipboard(panelWindow);
        } else {
            CaptureText(FullText(0).c_str());
        }
        if (newest == NEWEST_WITH_OLD_PICTURE)
            AddOldPictureRecord(itemSlots[0].name);
        FullHistory history;
        history.names = SlotNames();
        for (const std::string &name : history.names)
            history.bytes.push_back(FileBytes(ItemPath(name.c_str())));
        return history;
    }
    // The record earlier versions kept for a metafile picture: its block,
    // with a handle of the session that captured it.
    static void AddOldPictureRecord(const char *name)
    {
        FILE *f = fopen(ItemPath(name).c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        METAFILEPICT picture = {MM_ANISOTROPIC, 2000, 1000, (HMETAFILE)(UINT_PTR)0x2A0C};
        EXPECT_GE(InsertClipboardItem(f, CF_METAFILEPICT, "", &picture, sizeof picture, nullptr), 0);
        fclose(f);
    }
    // The table holds exactly the given items in this order, every file as
    // it was, the state string lists them, and each restores its own text.
    void ExpectWhole(const FullHistory &history, const std::vector<int> &order)
    {
        ASSERT_EQ(ItemFolderFiles().size(), 32u);
        std::string state;
        for (int i = 0; i < SLOT_COUNT; i++) {
            const std::string &name = history.names[order[i]];
            EXPECT_EQ(SlotNames()[i], name) << "slot " << i;
            EXPECT_EQ(FileBytes(ItemPath(name.c_str())), history.bytes[order[i]]) << name;
            state += name + ":";
        }
        EXPECT_EQ(StateValue(), state);
        for (int i = 0; i < SLOT_COUNT; i++) {
            RestoreClipboardItem(i, itemListWindow);
            EXPECT_EQ(ClipboardBytes(CF_TEXT), Text(FullText(order[i]).c_str())) << "slot " << i;
        }
    }
    static std::vector<int> Unchanged()
    {
        std::vector<int> order;
        for (int i = 0; i < SLOT_COUNT; i++)
            order.push_back(i);
        return order;
    }
    // The order after a repeat of the item in slot repeated: it leads.
    static std::vector<int> Leading(int repeated)
    {
        std::vector<int> order = Unchanged();
        order.erase(order.begin() + repeated);
        order.insert(order.begin(), repeated);
        return order;
    }
};

TEST_F(FullHistoryTest, RepeatOfAStoredItemKeepsAll32)
{
    struct Case {
        const char *what;
        int repeated;
        bool atStart;  // the first capture of a run, on a reloaded collection
        Newest newest;
    } cases[] = {
        {"the incoming item", 0, false, NEWEST_TEXT},
        {"slot 1", 1, false, NEWEST_TEXT},
        {"slot 7", 7, false, NEWEST_TEXT},
        {"slot 30", 30, false, NEWEST_TEXT},
        {"the oldest", 31, false, NEWEST_TEXT},
        {"slot 12 at start-up", 12, true, NEWEST_TEXT},
        {"the oldest at start-up", 31, true, NEWEST_TEXT},
        {"the incoming item, stored with a picture record", 0, false, NEWEST_WITH_OLD_PICTURE},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        FullHistory history = Fill(c.newest);
        if (c.atStart) {
            memset(itemSlots, 0, sizeof itemSlots);
            LoadCollectionState(StateValue().c_str());
            firstCapturePending = true;
        }
        trayCalls.clear();
        CaptureText(FullText(c.repeated).c_str());
        EXPECT_EQ(itemSlots[0].flags, SLOT_OCCUPIED | SLOT_CURRENT) << "the repeated item leads";
        EXPECT_EQ(FindCurrentSlot(), 0);
        EXPECT_EQ(CountFreeSlots(), 0);
        EXPECT_EQ(HeldOutItem(), nullptr);
        if (!c.atStart) {
            EXPECT_EQ(Notice().first, "30 items - Clipboard Full");
        }
        ExpectWhole(history, Leading(c.repeated));
    }
}

TEST_F(FullHistoryTest, NewItemStillReplacesTheOldest)
{
    FullHistory history = Fill();
    CaptureText("something new");
    EXPECT_FALSE(FileExists(ItemPath(history.names[31].c_str())));
    EXPECT_EQ(ItemFolderFiles().size(), 32u);
    EXPECT_EQ(ClipboardBytes(CF_TEXT), Text("something new"));
    for (int i = 1; i < SLOT_COUNT; i++)
        EXPECT_EQ(SlotNames()[i], history.names[i - 1]);
    EXPECT_TRUE(HasRecord(ReadItemFile(ItemPath(itemSlots[0].name)), {CF_TEXT, "", Text("something new")}));
}

TEST_F(FullHistoryTest, StartOnAnEmptyClipboardKeepsAll32)
{
    // What the panel does at start: the first capture finds the clipboard
    // empty, the newest item goes back onto it with the panel as owner, and
    // that change is captured again.
    for (Newest newest : {NEWEST_TEXT, NEWEST_WITH_METAFILE, NEWEST_WITH_OLD_PICTURE}) {
        SCOPED_TRACE(newest);
        SetUp();
        FullHistory history = Fill(newest);
        memset(itemSlots, 0, sizeof itemSlots);
        LoadCollectionState(StateValue().c_str());
        firstCapturePending = true;
        ASSERT_TRUE(EmptyTheClipboard());
        CaptureClipboard(panelWindow);
        ASSERT_TRUE(clipboardWasEmpty);
        RestoreClipboardItem(0, panelWindow);
        EXPECT_EQ(ClipboardBytes(CF_TEXT), Text(FullText(0).c_str()));
        CaptureClipboard(panelWindow);
        EXPECT_EQ(itemSlots[0].flags, SLOT_OCCUPIED | SLOT_CURRENT);
        ExpectWhole(history, Unchanged());
    }
}

// A full disk: files are created, but nothing can be written into them.
FILE *FullDiskOpen(const char *path, const char *mode)
{
    if (mode[0] != 'w')
        return realPlatformCalls.openFile(path, mode);
    FILE *created = realPlatformCalls.openFile(path, "wb");
    if (created == NULL)
        return NULL;
    fclose(created);
    return realPlatformCalls.openFile(path, "rb");
}

// A read-only folder: no file can be created.
FILE *ReadOnlyOpen(const char *path, const char *mode)
{
    return mode[0] == 'w' ? NULL : realPlatformCalls.openFile(path, mode);
}

TEST_F(CaptureTest, FailingDiskKeepsWhatWasStored)
{
    for (auto open : {FullDiskOpen, ReadOnlyOpen}) {
        SetUp();
        CaptureText("stored before");
        std::string stored = itemSlots[0].name;
        std::string storedBytes = FileBytes(ItemPath(stored.c_str()));
        platformCalls.openFile = open;

        CaptureText("cannot be written");
        CaptureText("nor this");
        EXPECT_EQ(ItemFolderFiles(), Names({stored}));
        EXPECT_EQ(FileBytes(ItemPath(stored.c_str())), storedBytes);
        EXPECT_EQ(StateValue(), stored + ":");
        EXPECT_EQ(SlotNames()[0], "");
        // Every name the state names reads back whole, and restores.
        bool ok = false;
        ReadItemFile(ItemPath(stored.c_str()), &ok);
        EXPECT_TRUE(ok);
        int slot = 0;
        while (slot < SLOT_COUNT && SlotNames()[slot] != stored)
            slot++;
        ASSERT_LT(slot, SLOT_COUNT);
        RestoreClipboardItem(slot, itemListWindow);
        EXPECT_EQ(ClipboardBytes(CF_TEXT), Text("stored before"));
    }
}

// The clipboard is open only while the formats are copied off it: the item
// file, the state and the rest are written after it is closed. A format
// whose copy gets no memory is written at once, after those before it, and
// the item is the same.
bool wroteWhileOpen;
int allocations, failingAllocation;  // 0: none fails, -1: every one fails

void NoteWrite()
{
    if (GetOpenClipboardWindow() == panelWindow)
        wroteWhileOpen = true;
}
FILE *WatchedOpen(const char *path, const char *mode)
{
    NoteWrite();
    return realPlatformCalls.openFile(path, mode);
}
BOOL WINAPI WatchedUserName(LPSTR buffer, LPDWORD size)  // every state save asks
{
    NoteWrite();
    return realPlatformCalls.userName(buffer, size);
}
void *ScarceAllocEntry(size_t size)
{
    allocations++;
    if (failingAllocation == -1 || allocations == failingAllocation)
        return NULL;
    return realPlatformCalls.allocEntry(size);
}

TEST_F(CaptureTest, ClipboardIsClosedBeforeTheItemIsWritten)
{
    const struct {
        const char *what;
        int failingAllocation;
        bool writesWhileOpen;
    } rows[] = {
        {"every format copied", 0, false},
        {"no memory for the first copy", 1, true},
        {"no memory for the second copy", 2, true},
        {"no memory at all", -1, true},
    };
    std::string html = "Version:0.9\r\n<p>taken</p>";
    std::vector<StoredRecord> expected;
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        SetUp();
        StoreTextItem(1, "\\older.crx", "older");
        ASSERT_TRUE(PutClipboard({{CF_TEXT, Text("taken")}, {HtmlFormat(), html}}));
        wroteWhileOpen = false;
        allocations = 0;
        failingAllocation = row.failingAllocation;
        platformCalls.openFile = WatchedOpen;
        platformCalls.userName = WatchedUserName;
        platformCalls.allocEntry = ScarceAllocEntry;
        CaptureClipboard(panelWindow);
        platformCalls = realPlatformCalls;

        EXPECT_EQ(wroteWhileOpen, row.writesWhileOpen);
        EXPECT_GE(allocations, 2) << "one copy a format";
        ASSERT_EQ(itemSlots[0].flags, SLOT_OCCUPIED | SLOT_CURRENT);
        EXPECT_EQ(StateValue(), std::string(itemSlots[0].name) + ":\\older.crx:");
        bool ok = false;
        std::vector<StoredRecord> records = ReadItemFile(ItemPath(itemSlots[0].name), &ok);
        EXPECT_TRUE(ok);
        EXPECT_TRUE(HasRecord(records, {CF_TEXT, "", Text("taken")}));
        EXPECT_TRUE(HasRecord(records, {NAMED_FORMAT, "HTML Format", html}));
        if (expected.empty())
            expected = records;
        EXPECT_TRUE(records == expected) << "the same records in the same order";
        EXPECT_TRUE(TakePopupMessage());
    }
}

TEST_F(FullHistoryTest, FailingDiskKeepsAll32)
{
    for (auto open : {FullDiskOpen, ReadOnlyOpen}) {
        SetUp();
        FullHistory history = Fill();
        platformCalls.openFile = open;
        CaptureText("cannot be written");
        EXPECT_EQ(HeldOutItem(), nullptr);
        for (const ItemSlot &slot : itemSlots)
            EXPECT_EQ(slot.flags, SLOT_OCCUPIED) << "no item is current: the clipboard holds none";
        platformCalls.openFile = realPlatformCalls.openFile;
        ExpectWhole(history, Unchanged());
    }
}

}  // namespace
