/*
 * Start-up and shut-down of the program, and the one platform call that
 * changes the panel's opacity. WinMain (winmain.cpp) runs them in order.
 */
#ifndef CLIPDOCK_SHELL_STARTUP_H
#define CLIPDOCK_SHELL_STARTUP_H

#include <windows.h>

// Never created by the program: a running copy closes while it exists, and
// a copy started with "-wait" does not begin until it is gone.
#define INSTALLER_MUTEX_NAME "BetalTeamInstallerClipWizard"
#define INSTALLER_WAIT_MS 1000

// The platform calls of start-up that tests replace to make a step fail or
// to see what would have been shown; normally the platform's own.
struct StartupCalls {
    BOOL(WINAPI *getVersion)(OSVERSIONINFOA *info);
    HANDLE(WINAPI *loadImage)(HINSTANCE instance, LPCSTR name, UINT type, int cx, int cy,
                              UINT flags);
    HWND(WINAPI *createWindow)(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style,
                               int x, int y, int width, int height, HWND parent, HMENU menu,
                               HINSTANCE instance, LPVOID param);
    int(WINAPI *messageBox)(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
};
extern StartupCalls startupCalls;

// The installer mutex exists (whether or not this user may use it).
bool InstallerRunning();
// With the command line exactly "-wait" (any case), sleeps while the
// installer mutex exists. Returns how many times it slept.
int WaitForInstaller(const char *commandLine);
// path (261 bytes) = directory + "\halcyon.ini", or empty when that does not fit.
void ComposeSettingsPath(const char *directory, char *path);
// Fills settingsFilePath from the Windows directory.
void LocateSettingsFile();
// Empties the slot table and fills it from the user's saved collection state.
void ReloadCollectionState();
// The panel's extended style for an OS version.
DWORD ChoosePanelExStyle(DWORD major, DWORD minor);
// Where start-up docks the panel on a primary screen of that size: 200
// pixels left of its right edge, 50 below its top, 180 wide, 100 less high.
RECT DockedPanelRect(int screenWidth, int screenHeight);

HRESULT InitApplication();
HRESULT ShutdownApplication();
// Only the low 8 bits of alpha reach the platform; 0 without layered windows.
BOOL SetPanelOpacity(DWORD alpha);

#endif
