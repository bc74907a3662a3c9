/*
 * winmain.cpp: the program's entry. Waits for a running installer when
 * asked to, reloads the saved collection, sets up the windows and runs the
 * one message loop until the panel closes. The exit code is 0 on every path.
 */
#include <windows.h>

#include "shell/globals.h"
#include "shell/startup.h"
#include "ui/dialogs.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)previous;
    (void)show;
    WaitForInstaller(commandLine);
    LocateSettingsFile();
    ReloadCollectionState();
    LoadTransparencyRange();  // the range the Settings dialog kept
    appInstance = instance;

    if (SUCCEEDED(InitApplication())) {
        MSG msg;
        BOOL got;
        while ((got = GetMessageA(&msg, NULL, 0, 0)) != 0 && got != -1) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    ShutdownApplication();
    return 0;
}
