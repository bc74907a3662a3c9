/*
 * soaktool: the Windows side of the soak run, started by soak.py in the same
 * Wine prefix as clipdock.exe:
 *   soaktool paths                 the item folder and the settings file, one a line
 *   soaktool show-panel MS         the tray's left click on the panel, then "Don't hide";
 *                                  waits until the panel shows
 *   soaktool scroll CODE           sends the item list a WM_VSCROLL request CODE
 *   soaktool objects               the live GDI objects of clipdock's process, by
 *                                  kind, and the handles of its windows
 *   soaktool items FOLDER OUT NAME...   reads every named item file with the
 *                                  library's own reader and writes each entry's
 *                                  data to OUT\<n>.<i>.bin
 *   soaktool exit                  posts the panel's Exit command
 *   soaktool wait-text MS TEXT     waits until the clipboard holds TEXT
 *   soaktool chain SECONDS         a clipboard viewer for SECONDS, joined after clipdock
 *                                  so that it is told first: it reads the clipboard's
 *                                  text formats, passes the notification on to
 *                                  clipdock and, once clipdock has handled it, prints
 *                                  "draw SEQ", SEQ being the clipboard's sequence number;
 *                                  "joined" when it is in the chain
 * Lines go to stdout; exit code 0 on success.
 *
 * GetGuiResources counts nothing under Wine, so "objects" reads the process's
 * GDI handle table itself: the platform keeps it in the process and names it
 * in the process environment block (GdiSharedHandleTable), one 24-byte entry
 * a handle, whose type byte is 0 while the entry is free.
 */
#include <windows.h>
#include <winternl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "itemfile.h"
#include "libtarn.h"
#include "tool.h"

namespace {

// The GDI handle table: 65,536 entries of 24 bytes on both word sizes.
const size_t GDI_ENTRY_COUNT = 0x10000;
const size_t GDI_ENTRY_SIZE = 24;
const size_t GDI_EXTTYPE_OFFSET = 12;  // kind (low 7 bits) and the stock flag
const size_t GDI_TYPE_OFFSET = 14;     // base kind, 0 while the entry is free
#ifdef _WIN64
const size_t PEB_GDI_TABLE_OFFSET = 0xF8;
#else
const size_t PEB_GDI_TABLE_OFFSET = 0x94;
#endif

int ShowPanel(DWORD ms)
{
    HWND panel = FindPanel(ms);
    if (panel == NULL)
        return 1;
    SendMessageA(panel, TOOL_TRAY_CALLBACK, TOOL_TRAY_ID, WM_LBUTTONDOWN);
    SendMessageA(panel, WM_COMMAND, TOOL_CMD_DONT_HIDE, 0);
    if (!WaitVisible(panel, ms))
        return 1;
    printf("visible\n");
    return 0;
}

int Scroll(WPARAM code)
{
    HWND panel = FindPanel(1000);
    HWND list = panel != NULL ? FindWindowExA(panel, NULL, "Betal_Clipboard", NULL) : NULL;
    if (list == NULL)
        return 1;
    SendMessageA(list, WM_VSCROLL, code, 0);
    printf("position %d\n", GetScrollPos(list, SB_VERT));
    return 0;
}

struct WindowList {
    DWORD process;
    std::vector<HWND> windows;
};

BOOL CALLBACK AddChild(HWND window, LPARAM context)
{
    WindowList *list = (WindowList *)context;
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == list->process)
        list->windows.push_back(window);
    return TRUE;
}

BOOL CALLBACK AddTopLevel(HWND window, LPARAM context)
{
    AddChild(window, context);
    EnumChildWindows(window, AddChild, context);
    return TRUE;
}

typedef NTSTATUS(NTAPI *QueryProcessProc)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);

int Objects()
{
    HWND panel = FindPanel(1000);
    if (panel == NULL)
        return 1;
    WindowList list = {};
    GetWindowThreadProcessId(panel, &list.process);
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, list.process);
    if (process == NULL)
        return 1;
    int result = 1;
    QueryProcessProc query = (QueryProcessProc)(void *)GetProcAddress(
        GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess");
    PROCESS_BASIC_INFORMATION basic = {};
    ULONG_PTR table = 0;
    SIZE_T got = 0;
    std::vector<unsigned char> entries(GDI_ENTRY_COUNT * GDI_ENTRY_SIZE);
    if (query == NULL ||
        query(process, ProcessBasicInformation, &basic, sizeof basic, NULL) != 0 ||
        !ReadProcessMemory(process, (const char *)basic.PebBaseAddress + PEB_GDI_TABLE_OFFSET,
                           &table, sizeof table, &got) ||
        got != sizeof table || table == 0 ||
        !ReadProcessMemory(process, (const void *)table, entries.data(), entries.size(), &got) ||
        got != entries.size()) {
        fprintf(stderr, "soaktool: cannot read the GDI handle table of process %lu\n",
                (unsigned long)list.process);
        goto done;
    }
    {
        unsigned long total = 0, stock = 0;
        unsigned long kinds[128] = {0};
        for (size_t i = 0; i < GDI_ENTRY_COUNT; i++) {
            const unsigned char *entry = &entries[i * GDI_ENTRY_SIZE];
            if (entry[GDI_TYPE_OFFSET] == 0)
                continue;
            total++;
            if (entry[GDI_EXTTYPE_OFFSET] & 0x80)
                stock++;
            kinds[entry[GDI_EXTTYPE_OFFSET] & 0x7f]++;
        }
        printf("gdi %lu\ngdi-stock %lu\n", total, stock);
        for (int kind = 0; kind < 128; kind++)
            if (kinds[kind] != 0)
                printf("gdi-kind 0x%02x %lu\n", kind, kinds[kind]);
    }
    printf("panel-visible %d\n", IsWindowVisible(panel) ? 1 : 0);
    EnumWindows(AddTopLevel, (LPARAM)&list);
    printf("windows %lu\n", (unsigned long)list.windows.size());
    for (HWND window : list.windows)
        printf("window 0x%llx\n", (unsigned long long)(ULONG_PTR)window);
    result = 0;
done:
    CloseHandle(process);
    return result;
}

// One item file through the library's reader: every entry must be reachable
// and loadable, and the last room must end where the file ends.
bool DumpItem(const char *folder, const char *name, const char *out, int number)
{
    char path[MAX_PATH * 2];
    snprintf(path, sizeof path, "%s%s", folder, name);
    FILE *item = fopen(path, "rb");
    if (item == NULL) {
        printf("item %d unreadable %s\n", number, name);
        return false;
    }
    bool ok = true;
    uint32_t count = 0;
    if (GetClipbordFileItemsCount(item, &count) < 0 || count == 0) {
        printf("item %d bad-count %s\n", number, name);
        ok = false;
    } else {
        printf("item %d entries %u %s\n", number, count, name);
    }
    for (uint32_t i = 0; ok && i < count; i++) {
        uint32_t format = 0, size = 0;
        char formatName[256] = {0};
        if (GetClipbordFileItemBaseFormat(item, (int32_t)i, &format) < 0) {
            format = NAMED_FORMAT;
            if (GetClipbordFileItemFormatName(item, (int32_t)i, formatName,
                                              sizeof formatName - 1) < 0 ||
                formatName[0] == '\0')
                ok = false;
        }
        std::vector<unsigned char> data;
        if (ok && GetClipboardFileItemSize(item, (int32_t)i, &size) < 0)
            ok = false;
        if (ok) {
            data.resize(size != 0 ? size : 1);
            if (LoadClipboardFileItem(item, (int32_t)i, data.data(), size) < 0)
                ok = false;
        }
        if (!ok) {
            printf("item %d bad-entry %u\n", number, i);
            break;
        }
        char dump[MAX_PATH * 2];
        snprintf(dump, sizeof dump, "%s\\%d.%u.bin", out, number, i);
        FILE *file = fopen(dump, "wb");
        if (file == NULL || fwrite(data.data(), 1, size, file) != size) {
            ok = false;
            printf("item %d cannot-dump %u\n", number, i);
        }
        if (file != NULL)
            fclose(file);
        printf("entry %d %u 0x%x %u %s\n", number, i, format, size, formatName);
    }
    if (ok) {
        ItemCursor *cursor = (ItemCursor *)calloc(1, sizeof *cursor);
        uint64_t length = 0;
        if (cursor == NULL || OpenItemFile(cursor, item) < 0) {
            ok = false;
        } else {
            // The append point is where one more room would go: the end of the last.
            bool walked = SeekRoom(cursor, -1) >= 0;
            bxml_free(&cursor->tree);
            if (!walked || StreamLength(item, &length) < 0 || length != cursor->roomOffset) {
                printf("item %d trailing-bytes %llu %llu\n", number,
                       (unsigned long long)length, (unsigned long long)cursor->roomOffset);
                ok = false;
            }
        }
        free(cursor);
    }
    fclose(item);
    return ok;
}

int Items(int argc, char **argv)
{
    int bad = 0;
    for (int i = 4; i < argc; i++)
        if (!DumpItem(argv[2], argv[i], argv[3], i - 4))
            bad++;
    printf("bad %d\n", bad);
    return bad == 0 ? 0 : 1;
}

bool ClipboardHolds(const char *text)
{
    if (!OpenClipboard(NULL))
        return false;
    bool holds = false;
    HANDLE data = GetClipboardData(CF_TEXT);
    const char *bytes = data != NULL ? (const char *)GlobalLock(data) : NULL;
    if (bytes != NULL) {
        holds = strncmp(bytes, text, GlobalSize(data)) == 0 && strlen(text) < GlobalSize(data);
        GlobalUnlock(data);
    }
    CloseClipboard();
    return holds;
}

int WaitText(DWORD ms, const char *text)
{
    return PollWithin(ms, 20, [text] { return ClipboardHolds(text); }) ? 0 : 1;
}

int Exit()
{
    HWND panel = FindPanel(1000);
    return panel != NULL && PostMessageA(panel, WM_COMMAND, TOOL_CMD_EXIT, 0) ? 0 : 1;
}

// Under Wine the first reader of an X text pays for its conversion to
// CF_TEXT and CF_OEMTEXT, and that memory is never given back. The viewer
// reads the text formats of every change before clipdock sees it, so that
// clipdock's memory shows what clipdock itself keeps; pictures and HTML
// clipdock still reads first.
void ReadTextFormats(HWND viewer)
{
    static const UINT textFormats[] = {CF_UNICODETEXT, CF_LOCALE, CF_TEXT, CF_OEMTEXT};
    if (!OpenClipboard(viewer))
        return;
    for (UINT format : textFormats) {
        if (!IsClipboardFormatAvailable(format))
            continue;
        HANDLE data = GetClipboardData(format);
        if (data != NULL && GlobalSize(data) != 0 && GlobalLock(data) != NULL)
            GlobalUnlock(data);
    }
    CloseClipboard();
}

LRESULT CALLBACK ViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DRAWCLIPBOARD:
        ReadTextFormats(window);
        PassOnInChain(message, wParam, lParam);
        Line("draw %lu", (unsigned long)GetClipboardSequenceNumber());
        return 0;
    case WM_CHANGECBCHAIN:
        PassOnInChain(message, wParam, lParam);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Joined after clipdock, the viewer comes before it in the chain, and its
// SendMessage to clipdock returns once clipdock's capture and repaint are done.
int Chain(DWORD seconds)
{
    HWND viewer = MakeTestWindow("SoakViewer", "soak viewer", WS_POPUP, ViewerProc);
    if (viewer == NULL)
        return 1;
    JoinClipboardChain(viewer);
    Line("joined");
    PumpFor(seconds * 1000);
    LeaveClipboardChain(viewer);
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    const char *what = argv[1];
    if (strcmp(what, "paths") == 0)
        return PrintPaths();
    if (strcmp(what, "show-panel") == 0 && argc == 3)
        return ShowPanel((DWORD)atoi(argv[2]));
    if (strcmp(what, "scroll") == 0 && argc == 3)
        return Scroll((WPARAM)atoi(argv[2]));
    if (strcmp(what, "objects") == 0)
        return Objects();
    if (strcmp(what, "items") == 0 && argc >= 4)
        return Items(argc, argv);
    if (strcmp(what, "exit") == 0)
        return Exit();
    if (strcmp(what, "wait-text") == 0 && argc == 4)
        return WaitText((DWORD)atoi(argv[2]), argv[3]);
    if (strcmp(what, "chain") == 0 && argc == 3)
        return Chain((DWORD)atoi(argv[2]));
    return 2;
}
