/*
 * poll.h: waiting on a condition with a deadline, for the Windows tests and
 * their helper programs. Nothing here waits on time alone.
 */
#ifndef CLIPDOCK_TESTS_WIN_COMMON_POLL_H
#define CLIPDOCK_TESTS_WIN_COMMON_POLL_H

#include <windows.h>

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

#endif
