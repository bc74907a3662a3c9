/*
 * e2etool: the Windows side of the end-to-end run, a small program that
 * the script starts in the same Wine prefix as clipdock.exe:
 *   e2etool paths              the item folder and the settings file, one a line
 *   e2etool wait-window CLASS MS   waits for a top-level window of CLASS
 *   e2etool tray-click MS      the tray's left click on the panel; waits until it shows
 *   e2etool tray-area MS       where Wine shows the tray icons without a desktop:
 *                              "X Y WIDTH HEIGHT" of that window's client area
 *   e2etool command ID         posts the panel command ID (WM_COMMAND)
 *   e2etool chain SECONDS      a clipboard viewer: prints "draw" per notification
 *   e2etool keys SECONDS       a "Betal_Notify" window titled "Clipboard Viewer"
 *                              printing "hotkey MASK", and a focusable window
 *                              titled "e2e keys" printing "key VK" per key press
 *   e2etool focus SECONDS      only the focusable "e2e keys" window, so that the
 *                              hotkeys reach the program's own popup alone
 *   e2etool hold MS TEXT       holds the clipboard open for MS after putting TEXT
 *                              on it, passing the panel a change notification
 *                              meanwhile: "held", "told N ms", "released"
 *   e2etool set-hold MS TEXT   puts TEXT on the clipboard, then at once opens it
 *                              again and holds it for MS, as a program reading
 *                              each change does: "released"
 *   e2etool set-texts N MS PREFIX  puts "PREFIX 001" to "PREFIX N" on the
 *                              clipboard, MS apart
 *   e2etool hold-click MS SLOT holds the clipboard, clicks the item list's row
 *                              of SLOT meanwhile and lets go MS after taking
 *                              it: "released"
 *   e2etool hold-keys SECONDS MS  like keys (the window titled "e2e hold keys"),
 *                              but holds the clipboard from the
 *                              start ("held") until MS after the hotkey Down
 *                              (mask 2) was reported ("released")
 *   e2etool drawing SECONDS TEXT   copies TEXT as office programs copy a drawing:
 *                              Unicode text and an enhanced metafile; stays SECONDS
 *   e2etool empty              empties the clipboard
 *   e2etool ping               returns once the panel has handled a message
 *   e2etool text               prints the clipboard's text as "row 0 HEX"
 *   e2etool restore-rows N     clicks the item list's row 1 once, then rows 1..N,
 *                              printing "row I HEX" (the restored text, UTF-8)
 * Lines go to stdout, flushed at once; exit code 0 on success.
 */
#include <windows.h>
#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const UINT LIST_RESET = WM_APP + 0;
const UINT TRAY_CALLBACK = WM_APP + 1;
const UINT HOTKEY = WM_APP + 3;
const UINT TRAY_ID = 0x6051977;
HWND nextViewer = NULL;
DWORD endTick = 0;
// hold-keys: the clipboard is held until this long after the hotkey Down.
bool holdingClipboard = false;
DWORD holdAfterDown = 0;
DWORD downReportedAt = 0;
bool downReported = false;

void Line(const char *format, unsigned long value)
{
    printf(format, value);
    printf("\n");
    fflush(stdout);
}

bool Wait(HWND *found, const char *className, DWORD ms)
{
    DWORD start = GetTickCount();
    while ((*found = FindWindowA(className, NULL)) == NULL) {
        if (GetTickCount() - start >= ms)
            return false;
        Sleep(20);
    }
    return true;
}

LRESULT CALLBACK ToolProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DRAWCLIPBOARD:
        Line("draw", 0);
        if (nextViewer != NULL)
            SendMessageA(nextViewer, message, wParam, lParam);
        return 0;
    case WM_CHANGECBCHAIN:
        if ((HWND)wParam == nextViewer)
            nextViewer = (HWND)lParam;
        else if (nextViewer != NULL)
            SendMessageA(nextViewer, message, wParam, lParam);
        return 0;
    case HOTKEY:
        Line("hotkey %lu", (unsigned long)wParam);
        if (wParam == 2 && !downReported) {
            downReported = true;
            downReportedAt = GetTickCount();
        }
        return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        Line("key %lu", (unsigned long)wParam);
        return 0;
    case WM_SYSKEYUP:
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeWindow(const char *className, const char *title, DWORD style)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ToolProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = className;
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    RegisterClassA(&wc);
    return CreateWindowExA(0, className, title, style, 100, 100, 200, 100, NULL, NULL,
                           GetModuleHandleA(NULL), NULL);
}

void Run(DWORD seconds)
{
    endTick = GetTickCount() + seconds * 1000;
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        // The hotkey reached every popup before the hook returned: the
        // program's own popup has tried the clipboard by now.
        if (holdingClipboard && downReported && GetTickCount() - downReportedAt >= holdAfterDown) {
            CloseClipboard();
            holdingClipboard = false;
            Line("released", 0);
        }
        if ((LONG)(GetTickCount() - endTick) >= 0)
            return;
        MsgWaitForMultipleObjects(0, NULL, FALSE, holdingClipboard ? 10 : 50, QS_ALLINPUT);
    }
}

// OpenClipboard, retried until the deadline: Wine's own clipboard bridge
// holds it for a moment now and then.
bool OpenClipboardWithin(HWND owner, DWORD ms)
{
    DWORD start = GetTickCount();
    while (!OpenClipboard(owner)) {
        if (GetTickCount() - start >= ms)
            return false;
        Sleep(10);
    }
    return true;
}

// Replaces the clipboard's content with text (CF_TEXT) on the open clipboard.
void PutText(const char *text)
{
    EmptyClipboard();
    size_t size = strlen(text) + 1;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    if (block != NULL) {
        memcpy(GlobalLock(block), text, size);
        GlobalUnlock(block);
        SetClipboardData(CF_TEXT, block);
    }
}

// Answers messages until ms after start.
void Pump(DWORD start, DWORD ms)
{
    while (GetTickCount() - start < ms) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        MsgWaitForMultipleObjects(0, NULL, FALSE, 5, QS_ALLINPUT);
    }
}

// Keeps the open clipboard until ms after start, answering messages, then
// closes it.
void HoldUntil(DWORD start, DWORD ms)
{
    Pump(start, ms);
    CloseClipboard();
    Line("released", 0);
}

// The clipboard's Unicode text as UTF-8 in hex ("-" when there is none).
void PrintClipboardText(HWND owner, unsigned long row)
{
    printf("row %lu ", row);
    bool any = false;
    if (OpenClipboardWithin(owner, 5000)) {
        HANDLE data = GetClipboardData(CF_UNICODETEXT);
        const wchar_t *text = data != NULL ? (const wchar_t *)GlobalLock(data) : NULL;
        if (text != NULL) {
            int length = (int)wcsnlen(text, GlobalSize(data) / sizeof(wchar_t));
            int size = WideCharToMultiByte(CP_UTF8, 0, text, length, NULL, 0, NULL, NULL);
            char *utf8 = (char *)malloc((size_t)size + 1);
            if (utf8 != NULL) {
                WideCharToMultiByte(CP_UTF8, 0, text, length, utf8, size, NULL, NULL);
                for (int i = 0; i < size; i++)
                    printf("%02x", (unsigned char)utf8[i]);
                any = size > 0;
                free(utf8);
            }
            GlobalUnlock(data);
        }
        CloseClipboard();
    }
    if (!any)
        printf("-");
    printf("\n");
    fflush(stdout);
}

// A click on the list's row for slot (row 0 lies above the client area).
void ClickSlot(HWND list, int slot)
{
    SendMessageA(list, LIST_RESET, 0, 0);
    LPARAM where = MAKELPARAM(10, (slot - 1) * 60 + 30);
    SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, where);
    SendMessageA(list, WM_LBUTTONUP, 0, where);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    const char *what = argv[1];
    if (strcmp(what, "paths") == 0) {
        char appData[MAX_PATH], windows[MAX_PATH];
        if (SHGetFolderPathA(NULL, CSIDL_APPDATA, NULL, 0, appData) != S_OK)
            return 1;
        GetWindowsDirectoryA(windows, sizeof windows);
        printf("%s\\Tarn Clipboard\n%s\\halcyon.ini\n", appData, windows);
        return 0;
    }
    if (strcmp(what, "wait-window") == 0 && argc == 4) {
        HWND found;
        return Wait(&found, argv[2], (DWORD)atoi(argv[3])) ? 0 : 1;
    }
    if (strcmp(what, "tray-click") == 0 && argc == 3) {
        HWND panel;
        if (!Wait(&panel, "Betal_Clipdock", 1000) || IsWindowVisible(panel))
            return 1;  // the panel must start hidden
        SendMessageA(panel, TRAY_CALLBACK, TRAY_ID, WM_LBUTTONDOWN);
        DWORD start = GetTickCount();
        while (!IsWindowVisible(panel)) {
            if (GetTickCount() - start >= (DWORD)atoi(argv[2]))
                return 1;
            Sleep(20);
        }
        Line("visible", 0);
        return 0;
    }
    if (strcmp(what, "tray-area") == 0 && argc == 3) {
        // Wine 8 shows the icons in a window of its X11 driver, Wine 10 in
        // explorer's own taskbar window (visible, untitled, at the top left).
        HWND tray;
        DWORD ms = (DWORD)atoi(argv[2]);
        if (!Wait(&tray, "__winex11_standalone_tray", 0) && !Wait(&tray, "Shell_TrayWnd", ms))
            return 1;
        RECT area;
        POINT origin = {0, 0};
        if (!GetClientRect(tray, &area) || !ClientToScreen(tray, &origin))
            return 1;
        printf("%ld %ld %ld %ld\n", origin.x, origin.y, area.right, area.bottom);
        fflush(stdout);
        return 0;
    }
    if (strcmp(what, "command") == 0 && argc == 3) {
        HWND panel;
        if (!Wait(&panel, "Betal_Clipdock", 1000))
            return 1;
        return PostMessageA(panel, WM_COMMAND, (WPARAM)atoi(argv[2]), 0) ? 0 : 1;
    }
    if (strcmp(what, "chain") == 0 && argc == 3) {
        HWND viewer = MakeWindow("E2eViewer", "e2e viewer", WS_POPUP);
        nextViewer = SetClipboardViewer(viewer);
        Line("joined", 0);
        Run((DWORD)atoi(argv[2]));
        ChangeClipboardChain(viewer, nextViewer);
        return 0;
    }
    bool keys = strcmp(what, "keys") == 0;
    if ((keys || strcmp(what, "focus") == 0) && argc == 3) {
        if (keys)
            MakeWindow("Betal_Notify", "Clipboard Viewer", WS_POPUP);
        HWND keys = MakeWindow("E2eKeys", "e2e keys", WS_OVERLAPPED | WS_VISIBLE);
        SetForegroundWindow(keys);
        SetFocus(keys);
        Line("ready", 0);
        Run((DWORD)atoi(argv[2]));
        return 0;
    }
    if (strcmp(what, "hold") == 0 && argc == 4) {
        HWND panel;
        if (!Wait(&panel, "Betal_Clipdock", 1000))
            return 1;
        HWND holder = MakeWindow("E2eHolder", "e2e holder", WS_POPUP);
        if (!OpenClipboardWithin(holder, 5000))
            return 1;
        DWORD start = GetTickCount();
        PutText(argv[3]);
        Line("held", 0);
        // As a viewer ahead of the panel passes a change on while it reads.
        DWORD_PTR answer = 0;
        SendMessageTimeoutA(panel, WM_DRAWCLIPBOARD, 0, 0, SMTO_NORMAL, 20000, &answer);
        Line("told %lu ms", (unsigned long)(GetTickCount() - start));
        HoldUntil(start, (DWORD)atoi(argv[2]));
        return 0;
    }
    if (strcmp(what, "set-hold") == 0 && argc == 4) {
        HWND holder = MakeWindow("E2eHolder", "e2e holder", WS_POPUP);
        if (!OpenClipboardWithin(holder, 5000))
            return 1;
        PutText(argv[3]);
        CloseClipboard();
        // No wait: the change is announced as the clipboard closes, and the
        // reader is quicker than the viewers that are told.
        if (!OpenClipboardWithin(holder, 5000))
            return 1;
        HoldUntil(GetTickCount(), (DWORD)atoi(argv[2]));
        return 0;
    }
    if (strcmp(what, "set-texts") == 0 && argc == 5) {
        HWND setter = MakeWindow("E2eSetter", "e2e setter", WS_POPUP);
        int count = atoi(argv[2]);
        for (int i = 1; i <= count; i++) {
            if (!OpenClipboardWithin(setter, 5000))
                return 1;
            char text[512];
            snprintf(text, sizeof text, "%s %03d", argv[4], i);
            PutText(text);
            CloseClipboard();
            // The pace of the changes is what is tested; meanwhile the setter
            // answers messages as a program with windows does.
            if (i < count)
                Pump(GetTickCount(), (DWORD)atoi(argv[3]));
        }
        return 0;
    }
    if (strcmp(what, "hold-click") == 0 && argc == 4) {
        HWND panel;
        if (!Wait(&panel, "Betal_Clipdock", 1000))
            return 1;
        HWND list = FindWindowExA(panel, NULL, "Betal_Clipboard", NULL);
        HWND holder = MakeWindow("E2eHolder", "e2e holder", WS_POPUP);
        if (list == NULL || !OpenClipboardWithin(holder, 5000))
            return 1;
        DWORD start = GetTickCount();
        ClickSlot(list, atoi(argv[3]));
        HoldUntil(start, (DWORD)atoi(argv[2]));
        return 0;
    }
    if (strcmp(what, "hold-keys") == 0 && argc == 4) {
        HWND popup = MakeWindow("Betal_Notify", "Clipboard Viewer", WS_POPUP);
        HWND keys = MakeWindow("E2eKeys", "e2e hold keys", WS_OVERLAPPED | WS_VISIBLE);
        SetForegroundWindow(keys);
        SetFocus(keys);
        if (!OpenClipboardWithin(popup, 5000))
            return 1;
        holdingClipboard = true;
        holdAfterDown = (DWORD)atoi(argv[3]);
        Line("held", 0);
        Run((DWORD)atoi(argv[2]));
        return 0;
    }
    if (strcmp(what, "drawing") == 0 && argc == 4) {
        HWND owner = MakeWindow("E2eDrawing", "e2e drawing", WS_POPUP);
        if (!OpenClipboardWithin(owner, 5000))
            return 1;
        EmptyClipboard();
        int length = MultiByteToWideChar(CP_UTF8, 0, argv[3], -1, NULL, 0);
        HGLOBAL text = GlobalAlloc(GMEM_MOVEABLE, (size_t)length * sizeof(wchar_t));
        if (text != NULL) {
            MultiByteToWideChar(CP_UTF8, 0, argv[3], -1, (wchar_t *)GlobalLock(text), length);
            GlobalUnlock(text);
            SetClipboardData(CF_UNICODETEXT, text);
        }
        HDC dc = CreateEnhMetaFileA(NULL, NULL, NULL, NULL);
        Rectangle(dc, 0, 0, 40, 20);
        SetClipboardData(CF_ENHMETAFILE, CloseEnhMetaFile(dc));
        CloseClipboard();
        Run((DWORD)atoi(argv[2]));
        return 0;
    }
    if (strcmp(what, "empty") == 0) {
        HWND owner = MakeWindow("E2eEmptier", "e2e emptier", WS_POPUP);
        if (!OpenClipboardWithin(owner, 5000))
            return 1;
        EmptyClipboard();
        CloseClipboard();
        return 0;
    }
    if (strcmp(what, "ping") == 0) {
        HWND panel;
        DWORD_PTR answer = 0;
        return Wait(&panel, "Betal_Clipdock", 1000) &&
                       SendMessageTimeoutA(panel, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &answer)
                   ? 0
                   : 1;
    }
    if (strcmp(what, "text") == 0) {
        PrintClipboardText(MakeWindow("E2eReader", "e2e reader", WS_POPUP), 0);
        return 0;
    }
    if (strcmp(what, "restore-rows") == 0 && argc == 3) {
        HWND panel;
        if (!Wait(&panel, "Betal_Clipdock", 1000))
            return 1;
        HWND list = FindWindowExA(panel, NULL, "Betal_Clipboard", NULL);
        if (list == NULL)
            return 1;
        HWND reader = MakeWindow("E2eReader", "e2e reader", WS_POPUP);
        // The first click moves an incoming item into the history, so that
        // row I then holds the I-th item of the saved list.
        ClickSlot(list, 1);
        int rows = atoi(argv[2]);
        for (int row = 1; row <= rows; row++) {
            ClickSlot(list, row);
            PrintClipboardText(reader, (unsigned long)row);
        }
        return 0;
    }
    return 2;
}
