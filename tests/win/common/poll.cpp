// poll.cpp: see poll.h.
#include "poll.h"

bool OpenClipboardWithin(HWND owner, DWORD ms)
{
    // Short steps: the mutation run opens the clipboard tens of thousands of times.
    return PollWithin(ms, 1, [owner] { return OpenClipboard(owner) != 0; });
}

HWND WaitForWindow(const char *className, DWORD ms)
{
    HWND found = NULL;
    PollWithin(ms, 20, [&] { return (found = FindWindowA(className, NULL)) != NULL; });
    return found;
}
