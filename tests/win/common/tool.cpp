// tool.cpp: see tool.h.
#include "tool.h"

#include <shlobj.h>
#include <stdarg.h>
#include <stdio.h>

namespace {

HWND nextViewer = NULL;

}  // namespace

void Line(const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    vprintf(format, arguments);
    va_end(arguments);
    printf("\n");
    fflush(stdout);
}

HWND MakeToolWindow(const char *className, const char *title, DWORD style, WNDPROC procedure)
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

void RunFor(DWORD seconds, DWORD periodMs)
{
    DWORD endTick = GetTickCount() + seconds * 1000;
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if ((LONG)(GetTickCount() - endTick) >= 0)
            return;
        MsgWaitForMultipleObjects(0, NULL, FALSE, periodMs, QS_ALLINPUT);
    }
}

void JoinClipboardChain(HWND viewer) { nextViewer = SetClipboardViewer(viewer); }

void LeaveClipboardChain(HWND viewer) { ChangeClipboardChain(viewer, nextViewer); }

bool PassOnInChain(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DRAWCLIPBOARD:
        if (nextViewer != NULL)
            SendMessageA(nextViewer, message, wParam, lParam);
        return true;
    case WM_CHANGECBCHAIN:
        if ((HWND)wParam == nextViewer)
            nextViewer = (HWND)lParam;
        else if (nextViewer != NULL)
            SendMessageA(nextViewer, message, wParam, lParam);
        return true;
    }
    return false;
}

HWND FindPanel(DWORD ms) { return WaitForWindow("Betal_Clipdock", ms); }

bool WaitVisible(HWND window, DWORD ms)
{
    return PollWithin(ms, 20, [window] { return IsWindowVisible(window) != 0; });
}

int PrintPaths()
{
    char appData[MAX_PATH], windows[MAX_PATH];
    if (SHGetFolderPathA(NULL, CSIDL_APPDATA, NULL, 0, appData) != S_OK)
        return 1;
    GetWindowsDirectoryA(windows, sizeof windows);
    printf("%s\\Tarn Clipboard\n%s\\halcyon.ini\n", appData, windows);
    return 0;
}
