// Shared pieces of the collection tests; see support.h.
#include "support.h"

#include <shlobj.h>
#include <stdio.h>
#include <string.h>

#include "collection/capture.h"
#include "libtarn.h"
#include "poll.h"
#include "shell/globals.h"
#include "shell/settings.h"

HWND otherProgramWindow;
std::vector<UINT> renderRequests;
std::vector<ClipEntry> delayedData;

static const DWORD CLIPBOARD_DEADLINE_MS = 5000;

static HGLOBAL MakeBlock(const std::string &bytes)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (block == NULL)
        return NULL;
    void *p = GlobalLock(block);
    memcpy(p, bytes.data(), bytes.size());
    GlobalUnlock(block);
    return block;
}

// Answers render requests for delayed formats as a program with delayed
// rendering would, and counts them.
static LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_RENDERFORMAT) {
        UINT format = (UINT)wParam;
        renderRequests.push_back(format);
        for (const ClipEntry &entry : delayedData)
            if (entry.format == format)
                SetClipboardData(format, MakeBlock(entry.data));
        return 0;
    }
    if (message == WM_RENDERALLFORMATS)
        return 0;
    return DefWindowProcA(window, message, wParam, lParam);
}

static HWND MakeHiddenWindow(const char *title)
{
    return MakeTestWindow("ClipdockCollectionTest", title, WS_POPUP, TestWindowProc);
}

static void MakeWindows()
{
    if (panelWindow != NULL)
        return;
    appInstance = GetModuleHandleA(NULL);
    panelWindow = MakeHiddenWindow("panel");
    itemListWindow = MakeHiddenWindow("item list");
    popupWindow = MakeHiddenWindow("popup");
    otherProgramWindow = MakeHiddenWindow("another program");
}

UINT HtmlFormat() { return RegisterClipboardFormatA("HTML Format"); }
UINT RegisteredFormat(const char *name) { return RegisterClipboardFormatA(name); }

bool PutClipboard(const std::vector<ClipEntry> &entries, HWND owner)
{
    if (!OpenClipboardWithin(owner != NULL ? owner : otherProgramWindow, CLIPBOARD_DEADLINE_MS))
        return false;
    EmptyClipboard();
    delayedData.clear();
    renderRequests.clear();
    for (const ClipEntry &entry : entries) {
        if (entry.object != NULL) {
            SetClipboardData(entry.format, entry.object);
        } else if (entry.delayed) {
            delayedData.push_back(entry);
            SetClipboardData(entry.format, NULL);
        } else {
            SetClipboardData(entry.format, MakeBlock(entry.data));
        }
    }
    CloseClipboard();
    return true;
}

bool EmptyTheClipboard(HWND owner)
{
    if (!OpenClipboardWithin(owner != NULL ? owner : otherProgramWindow, CLIPBOARD_DEADLINE_MS))
        return false;
    EmptyClipboard();
    CloseClipboard();
    return true;
}

std::string ClipboardBytes(UINT format, bool *found)
{
    std::string bytes;
    bool there = false;
    if (OpenClipboardWithin(otherProgramWindow, CLIPBOARD_DEADLINE_MS)) {
        HANDLE data = IsClipboardFormatAvailable(format) ? GetClipboardData(format) : NULL;
        const char *p = data != NULL ? (const char *)GlobalLock(data) : NULL;
        if (p != NULL) {
            bytes.assign(p, GlobalSize(data));
            GlobalUnlock(data);
            there = true;
        }
        CloseClipboard();
    }
    if (found != nullptr)
        *found = there;
    return bytes;
}

std::vector<UINT> ClipboardFormats()
{
    std::vector<UINT> formats;
    if (OpenClipboardWithin(otherProgramWindow, CLIPBOARD_DEADLINE_MS)) {
        for (UINT f = EnumClipboardFormats(0); f != 0; f = EnumClipboardFormats(f))
            formats.push_back(f);
        CloseClipboard();
    }
    return formats;
}

std::vector<TrayCall> trayCalls;

BOOL WINAPI RecordTrayCall(DWORD message, PNOTIFYICONDATAA record)
{
    TrayCall call{message, *record, FALSE};
    call.result = realPlatformCalls.notifyIcon(message, record);
    trayCalls.push_back(call);
    return call.result;
}

std::string ItemFolder()
{
    char folder[MAX_PATH] = {0};
    SHGetFolderPathA(NULL, CSIDL_APPDATA | CSIDL_FLAG_CREATE, NULL, 0, folder);
    return std::string(folder) + "\\Tarn Clipboard";
}

std::string ItemPath(const char *name) { return ItemFolder() + name; }

std::vector<std::string> ItemFolderFiles()
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((ItemFolder() + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(std::string("\\") + found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

bool FileExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<StoredRecord> ReadItemFile(const std::string &path, bool *ok)
{
    std::vector<StoredRecord> records;
    bool good = false;
    FILE *f = fopen(path.c_str(), "rb");
    uint32_t count = 0;
    if (f != NULL && GetClipbordFileItemsCount(f, &count) >= 0) {
        good = true;
        for (uint32_t i = 0; i < count && good; i++) {
            StoredRecord record{0, "", ""};
            if (GetClipbordFileItemBaseFormat(f, (int32_t)i, &record.format) < 0) {
                char name[256] = {0};
                good = GetClipbordFileItemFormatName(f, (int32_t)i, name, 255) >= 0;
                record.format = NAMED_FORMAT;
                record.name = name;
            }
            uint32_t size = 0;
            good = good && GetClipboardFileItemSize(f, (int32_t)i, &size) >= 0;
            if (good) {
                record.data.resize(size);
                good = LoadClipboardFileItem(f, (int32_t)i, &record.data[0], size) >= 0;
            }
            records.push_back(record);
        }
    }
    if (f != NULL)
        fclose(f);
    if (ok != nullptr)
        *ok = good;
    return records;
}

void StoreTextItem(int slot, const char *name, const std::string &text)
{
    ASSERT_TRUE(WriteItemFile(ItemPath(name), {{CF_TEXT, text + '\0', ""}})) << name;
    itemSlots[slot].flags = SLOT_OCCUPIED;
    strcpy(itemSlots[slot].name, name);
}

std::string UserName()
{
    char user[255] = {0};
    DWORD size = 254;
    GetUserNameA(user, &size);
    return user;
}

std::string IniPath()
{
    char windows[MAX_PATH] = {0};
    GetWindowsDirectoryA(windows, MAX_PATH);
    return std::string(windows) + "\\halcyon.ini";
}

std::string IniValue(const char *section, const char *key, const char *fallback)
{
    char value[8192] = {0};
    GetPrivateProfileStringA(section, key, fallback, value, sizeof value, IniPath().c_str());
    return value;
}

void SetIniValue(const char *section, const char *key, const char *value, const std::string &file)
{
    WritePrivateProfileStringA(section, key, value, (file.empty() ? IniPath() : file).c_str());
}

std::vector<std::string> SectionKeys(const char *section)
{
    std::vector<char> text(32768);
    GetPrivateProfileSectionA(section, text.data(), (DWORD)text.size(), IniPath().c_str());
    std::vector<std::string> keys;
    for (const char *line = text.data(); *line; line += strlen(line) + 1) {
        const char *equals = strchr(line, '=');
        keys.push_back(equals ? std::string(line, equals) : std::string(line));
    }
    return keys;
}

std::string StateValue() { return IniValue(UserName().c_str(), "CLIPBOOK_STATE", "<missing>"); }

std::vector<std::string> SlotNames()
{
    std::vector<std::string> names;
    for (const ItemSlot &slot : itemSlots)
        names.push_back(slot.flags != 0 ? slot.name : "");
    return names;
}

void CollectionTest::SetUp()
{
    MakeWindows();
    platformCalls = realPlatformCalls;
    platformCalls.notifyIcon = RecordTrayCall;
    trayCalls.clear();
    std::string ini = IniPath();
    lstrcpynA(settingsFilePath, ini.c_str(), sizeof settingsFilePath);
    WritePrivateProfileStringA(UserName().c_str(), NULL, NULL, ini.c_str());
    WritePrivateProfileStringA("CLIPBOOK_STATE", NULL, NULL, ini.c_str());
    CreateDirectoryA(ItemFolder().c_str(), NULL);
    for (const std::string &name : ItemFolderFiles())
        DeleteFileA(ItemPath(name.c_str()).c_str());
    memset(itemSlots, 0, sizeof itemSlots);
    if (ItemSlot *held = HeldOutItem())
        held->flags = 0;
    FinishNewItem();  // ends a capture a test left open
    firstCapturePending = false;
    clipboardWasEmpty = false;
    while (TakePopupMessage()) {
    }
}

void CollectionTest::TearDown() { platformCalls = realPlatformCalls; }

bool CollectionTest::TakePopupMessage()
{
    MSG msg;
    return PeekMessageA(&msg, popupWindow, POPUP_SHOW_MESSAGE, POPUP_SHOW_MESSAGE, PM_REMOVE) != 0;
}
