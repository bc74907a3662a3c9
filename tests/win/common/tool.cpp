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
