/*
 * poll.h: waiting on a condition with a deadline, with or without pumping
 * messages, and windows to wait with, for the Windows tests and their helper
 * programs.
 */
#ifndef CLIPDOCK_TESTS_WIN_COMMON_POLL_H
#define CLIPDOCK_TESTS_WIN_COMMON_POLL_H

#include <windows.h>

#include <functional>

// Asks done() every periodMs until it holds (true) or ms have passed (false).
template <typename Done>
bool PollWithin(DWORD ms, DWORD periodMs, Done done)
{
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= ms)
            return false;
        Sleep(periodMs);
    }
    return true;
}

// OpenClipboard for owner, retried until the deadline: another process
// (Wine's own clipboard bridge) holds the clipboard for a moment now and then.
bool OpenClipboardWithin(HWND owner, DWORD ms);

// The first top-level window of className, waited for; NULL after ms.
HWND WaitForWindow(const char *className, DWORD ms);

// Dispatches this thread's messages until done() holds (true) or ms have
// passed (false); done() is asked after every message.
bool PumpUntil(const std::function<bool()> &done, DWORD ms);
// Dispatches this thread's messages for ms.
void PumpFor(DWORD ms);

// A window of its own class className (registered on first use) with a white
// background, at 100, 100, 200 x 100.
HWND MakeTestWindow(const char *className, const char *title, DWORD style, WNDPROC procedure);

#endif
