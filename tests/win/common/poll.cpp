// poll.cpp: see poll.h.
#include "poll.h"

// The longest sleep between two looks at the message queue.
static const DWORD PUMP_SLICE_MS = 20;

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

bool PumpUntil(const std::function<bool()> &done, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            if (done())
                return true;
        }
        if (done())
            return true;
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms)
            return false;
        // Woken by new messages, but never asleep for long: a message that
        // came in during a nested message loop (a hook's SendMessage, say)
        // no longer counts as new, and a window that other programs send
        // to must not go unanswered until the deadline.
        DWORD left = ms - elapsed;
        MsgWaitForMultipleObjects(0, NULL, FALSE, left < PUMP_SLICE_MS ? left : PUMP_SLICE_MS,
                                  QS_ALLINPUT);
    }
}

void PumpFor(DWORD ms)
{
    PumpUntil([] { return false; }, ms);
}

HWND MakeTestWindow(const char *className, const char *title, DWORD style, WNDPROC procedure)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = procedure;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = className;
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    RegisterClassA(&wc);  // a second registration of the class fails harmlessly
    return CreateWindowExA(0, className, title, style, 100, 100, 200, 100, NULL, NULL,
                           GetModuleHandleA(NULL), NULL);
}
