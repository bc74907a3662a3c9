/*
 * Shared pieces of the collection tests: hidden windows in the roles of the
 * panel, the item list, the popup and another program; the clipboard set and
 * read with the Win32 calls; the item folder and the settings file on disk.
 */
#ifndef TESTS_WIN_COLLECTION_SUPPORT_H
#define TESTS_WIN_COLLECTION_SUPPORT_H

#include <windows.h>
#include <stdint.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "collection/platform.h"
#include "collection/slots.h"
#include "itemfiles.h"

// One clipboard format as another program puts it (data empty and delayed:
// rendered on request; or a GDI object handed over as it is).
struct ClipEntry {
    UINT format;
    std::string data;
    bool delayed = false;
    HANDLE object = NULL;
};

// One record of an item file as read back through libtarn.
struct StoredRecord {
    uint32_t format;  // NAMED_FORMAT for a record kept under its name
    std::string name;
    std::string data;
    bool operator==(const StoredRecord &o) const
    {
        return format == o.format && name == o.name && data == o.data;
    }
};

extern HWND otherProgramWindow;  // owner of what the tests put on the clipboard

// Render requests (WM_RENDERFORMAT) the other program's window has answered.
extern std::vector<UINT> renderRequests;
// Data it gives for delayed formats.
extern std::vector<ClipEntry> delayedData;

UINT HtmlFormat();
UINT RegisteredFormat(const char *name);

// Puts entries on the clipboard as the other program (or owner); false if the
// clipboard could not be opened within the deadline.
bool PutClipboard(const std::vector<ClipEntry> &entries, HWND owner = NULL);
bool EmptyTheClipboard(HWND owner = NULL);
// The bytes of one format on the clipboard; found is false when it is not there.
std::string ClipboardBytes(UINT format, bool *found = nullptr);
std::vector<UINT> ClipboardFormats();

// Shell_NotifyIconA calls as the tray code made them, each passed on to the
// platform; Wine gives no way to read an icon's tip or balloon back.
struct TrayCall {
    DWORD message;
    NOTIFYICONDATAA record;
    BOOL result;
};
extern std::vector<TrayCall> trayCalls;
BOOL WINAPI RecordTrayCall(DWORD message, PNOTIFYICONDATAA record);

std::string ItemFolder();
std::string ItemPath(const char *name);
std::vector<std::string> ItemFolderFiles();  // names with their leading backslash
bool FileExists(const std::string &path);

std::vector<StoredRecord> ReadItemFile(const std::string &path, bool *ok = nullptr);
// Writes an item file of text records under name in the item folder and
// puts it into slot (occupied, not current).
void StoreTextItem(int slot, const char *name, const std::string &text);

std::string UserName();
std::string IniPath();
std::string IniValue(const char *section, const char *key, const char *fallback = "");
void SetIniValue(const char *section, const char *key, const char *value,
                 const std::string &file = std::string());
std::vector<std::string> SectionKeys(const char *section);
std::string StateValue();  // the collection state string as stored

// Names of the occupied slots, "" for a free one, in slot order.
std::vector<std::string> SlotNames();

// Every test starts with an empty item folder and table, the real platform
// calls, its own sections of the settings file removed, and the windows.
class CollectionTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Removes a posted POPUP_SHOW_MESSAGE; true if there was one.
    bool TakePopupMessage();
};

#endif
