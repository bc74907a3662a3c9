/*
 * hook.cpp: the keyboard hook that the program installs for the whole
 * desktop. The platform loads this library into every program that takes
 * keyboard input and calls ClipboardKeyboardProc on that program's input
 * thread, so the procedure keeps to the stack: no allocation, no locks, no
 * state but the two module values, nothing touched but the one message.
 */
#ifndef LIBTARN_BUILDING
#define LIBTARN_BUILDING
#endif

#include "tarnhook.h"
#include "win/module.h"

#include <windows.h>

#include "osk.h"

HINSTANCE tarnInstance = NULL;  // set by DllMain on process attach
HHOOK keyboardHook = NULL;      // set by the installation; never set in hooked programs

namespace {

/* Sampled in this order; bit n of the mask is key n. */
const BYTE HOTKEY_KEYS[8] = {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT,
                             VK_SPACE, VK_SHIFT, VK_PAUSE, VK_RETURN};

// How long a program's input thread waits for one popup to handle a report.
// The wait keeps the order of keys and steps (a paste typed after Ctrl+Alt+Down
// finds the item already on the clipboard); the limit keeps a popup that does
// not answer from stopping every program's keyboard. A report that times out
// is still handled once the popup gets to it.
const UINT HOTKEY_SEND_TIMEOUT = 500;

// One popup for each running program; more are not looked for.
const int MAX_HOTKEY_TARGETS = 16;

bool KeyIsDown(int key)
{
    return (GetAsyncKeyState(key) & 0x8000) != 0;
}

// The chord's Alt is the left one. AltGr, the right Alt of most European
// layouts, arrives as left Ctrl with right Alt, and AltGr with or without
// Shift is typing (an "@" on a German layout, a capital L with stroke on a
// Polish one), not a hotkey. A system that does not tell the two Alt keys
// apart reports neither side down: there any Alt counts.
bool ChordAltIsDown()
{
    if (KeyIsDown(VK_LMENU))
        return true;
    // Right Alt is asked first: an AltGr let go between the two questions
    // then reads as no Alt at all, never as the left one.
    if (KeyIsDown(VK_RMENU))
        return false;
    return KeyIsDown(VK_MENU);
}

}  // namespace

extern "C" LRESULT CALLBACK ClipboardKeyboardProc(int code, WPARAM wParam, LPARAM lParam)
{
    // HC_ACTION is an event being removed from the queue; HC_NOREMOVE one
    // looked at with PeekMessage and left there, as menu and other modal
    // loops do. A chord is reported and kept on whichever comes first: the
    // platform removes an event that a hook keeps, so it is not seen again.
    // An event that passes is reported only when it is removed, once.
    if (code != HC_ACTION && code != HC_NOREMOVE)
        return CallNextHookEx(keyboardHook, code, wParam, lParam);
    if (!KeyIsDown(VK_CONTROL) || !ChordAltIsDown())
        return CallNextHookEx(keyboardHook, code, wParam, lParam);

    // The event itself is not looked at: every event while Ctrl and Alt are
    // held reports the eight keys as they are now.
    WPARAM mask = 0;
    for (int bit = 0; bit < 8; bit++) {
        if (KeyIsDown(HOTKEY_KEYS[bit]))
            mask |= (WPARAM)1 << bit;
    }
    if (code == HC_NOREMOVE && mask == 0)
        return CallNextHookEx(keyboardHook, code, wParam, lParam);

    // The popups are all found before any is told: one that comes to the top
    // of the z-order while it handles its report would otherwise be found
    // again after the next, and two such windows would be told for ever.
    HWND targets[MAX_HOTKEY_TARGETS];
    int count = 0;
    HWND found = NULL;
    while (count < MAX_HOTKEY_TARGETS &&
           (found = FindWindowExW(NULL, found, HOTKEY_TARGET_CLASS, HOTKEY_TARGET_TITLE)) != NULL)
        targets[count++] = found;

    // A hung popup gives up at once (after the system has seen it unresponsive
    // for a few seconds) and a slow one after the timeout; the answer is unused.
    for (int i = 0; i < count; i++) {
        DWORD_PTR answer;
        SendMessageTimeoutW(targets[i], HOTKEY_MESSAGE, mask, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                            HOTKEY_SEND_TIMEOUT, &answer);
    }

    if (mask != 0) {
        CallNextHookEx(keyboardHook, code, wParam, lParam);
        return 1;  // keep the chord from the program that has the focus
    }
    return CallNextHookEx(keyboardHook, code, wParam, lParam);
}

extern "C" int32_t TARN_CALL Win32_InstallClipboardHook(void)
{
    keyboardHook = SetWindowsHookExA(WH_KEYBOARD, ClipboardKeyboardProc, tarnInstance, 0);
    if (keyboardHook != NULL)
        return 1;

    DWORD error = GetLastError();
    char text[512];
    text[0] = '\0';
    betal_osk_errormessage(error, text, sizeof text);
    MessageBoxA(NULL, text, NULL, MB_ICONERROR);
    return 0;
}

extern "C" int32_t TARN_CALL Win32_UninstallClipboardHook(void)
{
    UnhookWindowsHookEx(keyboardHook);
    keyboardHook = NULL;
    return 1;
}
