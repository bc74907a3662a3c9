/*
 * hooktool: the Windows side of the hook stress run, started by the script
 * in the same Wine prefix as clipdock.exe:
 *   hooktool keys SECONDS    a focusable window titled "hookstress keys" that
 *                            counts every key message it gets, and tells
 *                            whether the hook's library is loaded in it
 *   hooktool viewer SECONDS  a stand-in "Betal_Notify" window titled
 *                            "Clipboard Viewer" that counts HOTKEY_MESSAGE by mask
 *   hooktool hung SECONDS    the same stand-in, whose thread never looks at its
 *                            messages again once the window exists
 *   hooktool wait-hung MS    waits until the system calls that stand-in hung
 * The counting windows print a line of totals whenever they changed (at most
 * every 50 ms) and once more at the end, flushed at once; lines starting with
 * "ready" or "hung" tell that the window exists. Exit code 0 on success.
 */
#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include "tool.h"

namespace {

const UINT_PTR REPORT_TIMER = 1;
const UINT REPORT_PERIOD = 50;

// Key messages of the key window, by kind. Letters are every key that is
// neither a modifier nor one of the hook's eight.
struct KeyCounts {
    unsigned long letters, lettersUp, chars, mods, modsUp, hot, hotUp, repeats;
};
KeyCounts keyCounts = {};
// HOTKEY_MESSAGE by mask: 0, HOTKEY_UP, HOTKEY_DOWN, anything else.
unsigned long hotkeys[4] = {};
bool changed = true;
HWND keyWindow = NULL;

void Report()
{
    if (keyWindow != NULL)
        Line("keys letters=%lu lettersup=%lu chars=%lu mods=%lu modsup=%lu hot=%lu hotup=%lu "
             "repeats=%lu tarn=%d",
             keyCounts.letters, keyCounts.lettersUp, keyCounts.chars, keyCounts.mods,
             keyCounts.modsUp, keyCounts.hot, keyCounts.hotUp, keyCounts.repeats,
             GetModuleHandleA("libtarn.dll") != NULL);
    else
        Line("hotkeys total=%lu m0=%lu m1=%lu m2=%lu other=%lu",
             hotkeys[0] + hotkeys[1] + hotkeys[2] + hotkeys[3], hotkeys[0], hotkeys[1],
             hotkeys[2], hotkeys[3]);
    changed = false;
}

bool IsModifier(WPARAM vk)
{
    return vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU;
}

// The keys whose state the hook reports (Shift is counted as a modifier).
bool IsHotkeyKey(WPARAM vk)
{
    return vk == VK_UP || vk == VK_DOWN || vk == VK_LEFT || vk == VK_RIGHT || vk == VK_SPACE ||
           vk == VK_PAUSE || vk == VK_RETURN;
}

void CountKey(WPARAM vk, LPARAM lParam, bool up)
{
    if (IsModifier(vk))
        (up ? keyCounts.modsUp : keyCounts.mods)++;
    else if (IsHotkeyKey(vk))
        (up ? keyCounts.hotUp : keyCounts.hot)++;
    else
        (up ? keyCounts.lettersUp : keyCounts.letters)++;
    // Bit 30 on a key-down: the key was already down, an automatic repeat.
    if (!up && (lParam & (1L << 30)))
        keyCounts.repeats++;
    changed = true;
}

LRESULT CALLBACK ToolProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        CountKey(wParam, lParam, false);
        return 0;
    case WM_KEYUP:
    case WM_SYSKEYUP:
        // Not to the default procedure: a lone Alt released would open the
        // window menu's modal loop.
        CountKey(wParam, lParam, true);
        return 0;
    case WM_CHAR:
    case WM_SYSCHAR:
        keyCounts.chars++;
        changed = true;
        return 0;
    case TOOL_HOTKEY:
        hotkeys[wParam == 0 ? 0 : wParam == 1 ? 1 : wParam == 2 ? 2 : 3]++;
        changed = true;
        return 0;
    case WM_TIMER:
        if (wParam == REPORT_TIMER && changed)
            Report();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeWindow(const char *className, const char *title, DWORD style)
{
    return MakeTestWindow(className, title, style, ToolProc);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    const char *what = argv[1];
    DWORD number = (DWORD)atoi(argv[2]);  // seconds or milliseconds, by command
    bool keys = strcmp(what, "keys") == 0;
    if (keys || strcmp(what, "viewer") == 0) {
        HWND window = keys ? MakeWindow("HookStressKeys", "hookstress keys",
                                        WS_OVERLAPPED | WS_VISIBLE)
                           : MakeWindow("Betal_Notify", "Clipboard Viewer", WS_POPUP);
        if (window == NULL)
            return 1;
        if (keys) {
            keyWindow = window;
            SetForegroundWindow(keyWindow);
            SetFocus(keyWindow);
        }
        SetTimer(window, REPORT_TIMER, REPORT_PERIOD, NULL);
        Line("ready");
        PumpFor(number * 1000);
        Report();
        return 0;
    }
    if (strcmp(what, "hung") == 0) {
        if (MakeWindow("Betal_Notify", "Clipboard Viewer", WS_POPUP) == NULL)
            return 1;
        Line("hung");
        Sleep(number * 1000);
        return 0;
    }
    if (strcmp(what, "terminate") == 0) {
        // The program owning the top-level window of class argv[2], ended at
        // once with exit code 9, as a crash would end it.
        HWND window = FindWindowA(argv[2], NULL);
        DWORD process = 0;
        if (window == NULL || GetWindowThreadProcessId(window, &process) == 0)
            return 1;
        HANDLE handle = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process);
        if (handle == NULL)
            return 1;
        bool ended = TerminateProcess(handle, 9) &&
                     WaitForSingleObject(handle, 20000) == WAIT_OBJECT_0;
        CloseHandle(handle);
        return ended ? 0 : 1;
    }
    if (strcmp(what, "wait-hung") == 0) {
        bool hung = PollWithin(number, 50, [] {
            HWND viewer = FindWindowA("Betal_Notify", "Clipboard Viewer");
            for (; viewer != NULL; viewer = FindWindowExA(NULL, viewer, "Betal_Notify",
                                                          "Clipboard Viewer"))
                if (IsHungAppWindow(viewer))
                    return true;
            return false;
        });
        return hung ? 0 : 1;
    }
    return 2;
}
