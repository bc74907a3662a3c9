/*
 * e2etool: the Windows side of the end-to-end run, a small program that
 * the script starts in the same Wine prefix as clipdock.exe:
 *   e2etool paths              the item folder and the settings file, one a line
 *   e2etool wait-window CLASS MS   waits for a top-level window of CLASS
 *   e2etool tray-click MS      the tray's left click on the panel; waits until it shows
 *   e2etool tray-area MS       where Wine shows the tray icons without a desktop:
 *                              "X Y WIDTH HEIGHT" of that window's client area
 *   e2etool command ID         posts the panel command ID (WM_COMMAND)
 *   e2etool exit MS            posts "Exit" and waits MS for the program's process
 *                              to end: "ended N ms" (from the post), or "running"
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
 *                              clipboard, each MS after the panel has handled
 *                              the change before it
 *   e2etool hold-click MS SLOT holds the clipboard, clicks the item list's row
 *                              of SLOT meanwhile and lets go MS after taking
 *                              it: "released"
 *   e2etool hold-keys SECONDS MS  like keys (the window titled "e2e hold keys"),
 *                              but holds the clipboard from the start ("held")
 *                              until MS after the hotkey Down (mask 2) was
 *                              reported ("released")
 *   e2etool drawing SECONDS TEXT   copies TEXT as office programs copy a drawing:
 *                              Unicode text and an enhanced metafile; stays SECONDS
 *   e2etool empty              empties the clipboard
 *   e2etool ping [MS]          returns once the panel has handled a message
 *                              (fails after MS, 10,000 by default)
 *   e2etool text               prints the clipboard's text as "row 0 HEX"
 *   e2etool restore-rows N     clicks the item list's row 1 once, then rows 1..N,
 *                              printing "row I HEX" (the restored text, UTF-8)
 *   e2etool panel-shown        exit code 0 while the panel is shown, 1 while hidden
 *                              (Wine 10 leaves a hidden layered window on the screen)
 *   e2etool place X Y          moves the panel's top-left corner to X, Y (signed)
 *   e2etool hit-test X Y       prints the panel's hit test of the screen point X, Y
 *   e2etool display-change     tells the panel the screen changed, as the platform
 *                              does after a new resolution
 *   e2etool taskbar-restart    what a restarting taskbar does: the panel's tray
 *                              icon is gone, then "TaskbarCreated" is broadcast
 * Lines go to stdout, flushed at once; exit code 0 on success.
 */
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tool.h"

namespace {

// hold-keys: when the hotkey Down was first reported.
bool downReported = false;
DWORD downReportedAt = 0;

LRESULT CALLBACK ToolProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DRAWCLIPBOARD:
        Line("draw");
        PassOnInChain(message, wParam, lParam);
        return 0;
    case WM_CHANGECBCHAIN:
        PassOnInChain(message, wParam, lParam);
        return 0;
    case TOOL_HOTKEY:
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
    return MakeTestWindow(className, title, style, ToolProc);
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

// Keeps the open clipboard until ms after start, answering messages, then
// closes it.
void HoldUntil(DWORD start, DWORD ms)
{
    DWORD held = GetTickCount() - start;
    if (held < ms)
        PumpFor(ms - held);
    CloseClipboard();
    Line("released");
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
    SendMessageA(list, TOOL_LIST_RESET, 0, 0);
    LPARAM where = MAKELPARAM(10, (slot - 1) * 60 + 30);
    SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, where);
    SendMessageA(list, WM_LBUTTONUP, 0, where);
}

// "Exit" timed here, not by the script: from the post to the end of the
// program's process, without the start-up of this tool in the count.
int TimeExit(DWORD ms)
{
    HWND panel = FindPanel(1000);
    DWORD id = 0;
    if (panel == NULL || GetWindowThreadProcessId(panel, &id) == 0)
        return 1;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
    if (process == NULL)
        return 1;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    DWORD waited = WAIT_FAILED;
    if (PostMessageA(panel, WM_COMMAND, TOOL_CMD_EXIT, 0))
        waited = WaitForSingleObject(process, ms);
    QueryPerformanceCounter(&end);
    CloseHandle(process);
    if (waited != WAIT_OBJECT_0) {
        Line("running");
        return 1;
    }
    Line("ended %lu ms", (unsigned long)((end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart));
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
    if (strcmp(what, "wait-window") == 0 && argc == 4)
        return WaitForWindow(argv[2], (DWORD)atoi(argv[3])) != NULL ? 0 : 1;
    if (strcmp(what, "tray-click") == 0 && argc == 3) {
        HWND panel = FindPanel(1000);
        if (panel == NULL || IsWindowVisible(panel))
            return 1;  // the panel must start hidden
        SendMessageA(panel, TOOL_TRAY_CALLBACK, TOOL_TRAY_ID, WM_LBUTTONDOWN);
        if (!WaitVisible(panel, (DWORD)atoi(argv[2])))
            return 1;
        Line("visible");
        return 0;
    }
    if (strcmp(what, "tray-area") == 0 && argc == 3) {
        // Wine 8 shows the icons in a window of its X11 driver, Wine 10 in
        // explorer's own taskbar window (visible, untitled, at the top left).
        HWND tray = WaitForWindow("__winex11_standalone_tray", 0);
        if (tray == NULL)
            tray = WaitForWindow("Shell_TrayWnd", (DWORD)atoi(argv[2]));
        if (tray == NULL)
            return 1;
        RECT area;
        POINT origin = {0, 0};
        if (!GetClientRect(tray, &area) || !ClientToScreen(tray, &origin))
            return 1;
        Line("%ld %ld %ld %ld", origin.x, origin.y, area.right, area.bottom);
        return 0;
    }
    if (strcmp(what, "command") == 0 && argc == 3) {
        HWND panel = FindPanel(1000);
        if (panel == NULL)
            return 1;
        return PostMessageA(panel, WM_COMMAND, (WPARAM)atoi(argv[2]), 0) ? 0 : 1;
    }
    if (strcmp(what, "exit") == 0 && argc == 3)
        return TimeExit((DWORD)atoi(argv[2]));
    if (strcmp(what, "chain") == 0 && argc == 3) {
        HWND viewer = MakeWindow("E2eViewer", "e2e viewer", WS_POPUP);
        JoinClipboardChain(viewer);
        Line("joined");
        PumpFor((DWORD)atoi(argv[2]) * 1000);
        LeaveClipboardChain(viewer);
        return 0;
    }
    bool keys = strcmp(what, "keys") == 0;
    if ((keys || strcmp(what, "focus") == 0) && argc == 3) {
        if (keys)
            MakeWindow("Betal_Notify", "Clipboard Viewer", WS_POPUP);
        HWND keys = MakeWindow("E2eKeys", "e2e keys", WS_OVERLAPPED | WS_VISIBLE);
        SetForegroundWindow(keys);
        SetFocus(keys);
        Line("ready");
        PumpFor((DWORD)atoi(argv[2]) * 1000);
        return 0;
    }
    if (strcmp(what, "hold") == 0 && argc == 4) {
        HWND panel = FindPanel(1000);
        if (panel == NULL)
            return 1;
        HWND holder = MakeWindow("E2eHolder", "e2e holder", WS_POPUP);
        if (!OpenClipboardWithin(holder, 5000))
            return 1;
        DWORD start = GetTickCount();
        PutText(argv[3]);
        Line("held");
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
        HWND panel = FindPanel(1000);
        int count = atoi(argv[2]);
        for (int i = 1; i <= count; i++) {
            if (panel == NULL || !OpenClipboardWithin(setter, 5000))
                return 1;
            char text[512];
            snprintf(text, sizeof text, "%s %03d", argv[4], i);
            PutText(text);
            CloseClipboard();
            // The change's notice went to the panel as a sent message; this
            // one is handled after it. The pace then counts from the moment
            // the panel has taken the change, so a thread the machine's load
            // keeps from running loses nothing here (the capture's own time
            // is a benchmark's figure). Meanwhile the setter answers messages
            // as a program with windows does.
            DWORD_PTR answer = 0;
            if (!SendMessageTimeoutA(panel, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &answer))
                return 1;
            if (i < count)
                PumpFor((DWORD)atoi(argv[3]));
        }
        return 0;
    }
    if (strcmp(what, "hold-click") == 0 && argc == 4) {
        HWND panel = FindPanel(1000);
        HWND list = panel != NULL ? FindWindowExA(panel, NULL, "Betal_Clipboard", NULL) : NULL;
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
        Line("held");
        // The hotkey reached every popup before the hook returned: the
        // program's own popup has tried the clipboard by then.
        DWORD holdAfterDown = (DWORD)atoi(argv[3]);
        bool held = true;
        PumpUntil(
            [&] {
                if (held && downReported && GetTickCount() - downReportedAt >= holdAfterDown) {
                    CloseClipboard();
                    held = false;
                    Line("released");
                }
                return false;
            },
            (DWORD)atoi(argv[2]) * 1000);
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
        PumpFor((DWORD)atoi(argv[2]) * 1000);
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
        HWND panel = FindPanel(1000);
        DWORD_PTR answer = 0;
        UINT wait = argc > 2 ? (UINT)atoi(argv[2]) : 10000;
        return panel != NULL &&
                       SendMessageTimeoutA(panel, WM_NULL, 0, 0, SMTO_NORMAL, wait, &answer)
                   ? 0
                   : 1;
    }
    if (strcmp(what, "text") == 0) {
        PrintClipboardText(MakeWindow("E2eReader", "e2e reader", WS_POPUP), 0);
        return 0;
    }
    if (strcmp(what, "restore-rows") == 0 && argc == 3) {
        HWND panel = FindPanel(1000);
        if (panel == NULL)
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
    if (strcmp(what, "panel-shown") == 0) {
        HWND panel = FindPanel(1000);
        return panel != NULL && IsWindowVisible(panel) ? 0 : 1;
    }
    if (strcmp(what, "place") == 0 && argc == 4) {
        HWND panel = FindPanel(1000);
        return panel != NULL && SetWindowPos(panel, NULL, atoi(argv[2]), atoi(argv[3]), 0, 0,
                                             SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE)
                   ? 0
                   : 1;
    }
    if (strcmp(what, "hit-test") == 0 && argc == 4) {
        HWND panel = FindPanel(1000);
        DWORD_PTR hit = 0;
        if (panel == NULL ||
            !SendMessageTimeoutA(panel, WM_NCHITTEST, 0, MAKELPARAM(atoi(argv[2]), atoi(argv[3])),
                                 SMTO_NORMAL, 5000, &hit))
            return 1;
        Line("%ld", (long)(LRESULT)hit);
        return 0;
    }
    if (strcmp(what, "display-change") == 0) {
        HWND panel = FindPanel(1000);
        int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
        DWORD_PTR answer = 0;
        return panel != NULL && SendMessageTimeoutA(panel, WM_DISPLAYCHANGE, 32,
                                                    MAKELPARAM(width, height), SMTO_NORMAL,
                                                    5000, &answer)
                   ? 0
                   : 1;
    }
    if (strcmp(what, "taskbar-restart") == 0) {
        HWND panel = FindPanel(1000);
        if (panel == NULL)
            return 1;
        NOTIFYICONDATAA icon = {};
        icon.cbSize = NOTIFYICONDATAA_V2_SIZE;
        icon.hWnd = panel;
        icon.uID = TOOL_TRAY_ID;
        if (!Shell_NotifyIconA(NIM_DELETE, &icon))
            return 1;
        DWORD_PTR answer = 0;
        SendMessageTimeoutA(HWND_BROADCAST, RegisterWindowMessageA("TaskbarCreated"), 0, 0,
                            SMTO_NORMAL, 5000, &answer);
        return 0;
    }
    return 2;
}
