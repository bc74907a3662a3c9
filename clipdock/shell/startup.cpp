/*
 * startup.cpp: what the program sets up before its message loop and
 * releases after it: the installer wait, the settings path, the reload of
 * the saved collection, the bitmaps, the three window classes and windows,
 * the tray icon and the keyboard hook.
 */
#include "shell/startup.h"

#include <string.h>

#include "bxml.h"
#include "collection/slots.h"
#include "resources/resource.h"
#include "shell/globals.h"
#include "shell/settings.h"
#include "shell/tray.h"
#include "tarnhook.h"
#include "ui/itemlist.h"
#include "ui/panel.h"
#include "ui/popup.h"

StartupCalls startupCalls = {GetVersionExA, LoadImageA, CreateWindowExA, MessageBoxA};

namespace {

const char SETTINGS_FILE_NAME[] = "\\halcyon.ini";
const char STATE_KEY[] = "CLIPBOOK_STATE";

const char PANEL_CLASS[] = "Betal_Clipdock";
const char ITEM_LIST_CLASS[] = "Betal_Clipboard";
const char POPUP_CLASS[] = "Betal_Notify";

struct HeaderBitmap {
    WORD resource;
    const char *failure;
    HBITMAP *handle;
    BITMAP *info;
};

// Loading order, which is also the order of the failure messages.
const HeaderBitmap HEADER_BITMAPS[] = {
    {IDB_LOGO, "LoadLogo failed!", &logoBitmap, &logoInfo},
    {IDB_SKY, "LoadSky failed!", &skyBitmap, &skyInfo},
    {IDB_OBJ, "LoadObj failed!", &objBitmap, &objInfo},
    {IDB_SYS, "LoadSys failed!", &sysBitmap, &sysInfo},
};

HRESULT Fail(const char *message)
{
    startupCalls.messageBox(NULL, message, NULL, MB_OK);
    return E_FAIL;
}

HRESULT LoadHeaderBitmaps()
{
    for (const HeaderBitmap &bitmap : HEADER_BITMAPS) {
        *bitmap.handle = (HBITMAP)startupCalls.loadImage(
            appInstance, MAKEINTRESOURCEA(bitmap.resource), IMAGE_BITMAP, 0, 0, LR_LOADTRANSPARENT);
        if (*bitmap.handle == NULL)
            return Fail(bitmap.failure);
    }
    for (const HeaderBitmap &bitmap : HEADER_BITMAPS)
        GetObjectA(*bitmap.handle, sizeof(BITMAP), bitmap.info);
    return S_OK;
}

HRESULT RegisterWindowClasses()
{
    struct ClassRow {
        const char *name;
        HBRUSH background;
        WNDPROC procedure;
    };
    const ClassRow rows[] = {
        {PANEL_CLASS, GetSysColorBrush(COLOR_BTNFACE), PanelWindowProc},
        {ITEM_LIST_CLASS, (HBRUSH)GetStockObject(WHITE_BRUSH), ItemListWindowProc},
        {POPUP_CLASS, (HBRUSH)GetStockObject(WHITE_BRUSH), PopupWindowProc},
    };
    HICON icon = LoadIconA(appInstance, MAKEINTRESOURCEA(IDI_CLIPDOCK));
    HICON smallIcon = (HICON)LoadImageA(appInstance, MAKEINTRESOURCEA(IDI_CLIPDOCK), IMAGE_ICON,
                                        GetSystemMetrics(SM_CXSMICON),
                                        GetSystemMetrics(SM_CYSMICON), 0);
    for (const ClassRow &row : rows) {
        WNDCLASSEXA wc;
        memset(&wc, 0, sizeof wc);
        wc.cbSize = sizeof wc;
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = row.procedure;
        wc.hInstance = appInstance;
        wc.hIcon = icon;
        wc.hIconSm = smallIcon;
        wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
        wc.hbrBackground = row.background;
        wc.lpszClassName = row.name;
        if (RegisterClassExA(&wc) == 0)
            return Fail("RegisterClassEx failed!");
    }
    return S_OK;
}

// A panel that cannot be completed must not stay in the viewer chain: the
// process ends without destroying it, and the next viewer would lose its
// notifications.
HRESULT FailWindows()
{
    if (panelWindow != NULL) {
        ChangeClipboardChain(panelWindow, nextClipboardViewer);
        nextClipboardViewer = NULL;
    }
    return Fail("CreateWindowEx failed!");
}

HRESULT CreateWindows(int screenWidth, int screenHeight)
{
    RECT docked = DockedPanelRect(screenWidth, screenHeight);
    panelWindow = startupCalls.createWindow(
        panelExStyle, PANEL_CLASS, "Enjoy your clipboard", WS_POPUP | WS_SYSMENU | WS_THICKFRAME,
        docked.left, docked.top, docked.right - docked.left, docked.bottom - docked.top,
        GetDesktopWindow(), NULL, appInstance, NULL);
    if (panelWindow == NULL)
        return FailWindows();

    RECT client;
    GetClientRect(panelWindow, &client);
    int header = logoInfo.bmHeight + 60;
    itemListWindow = startupCalls.createWindow(
        WS_EX_CLIENTEDGE, ITEM_LIST_CLASS, "", WS_CHILD | WS_VISIBLE | WS_VSCROLL, 0, header,
        client.right, client.bottom - logoInfo.bmHeight - 80, panelWindow, NULL, appInstance,
        NULL);
    if (itemListWindow == NULL)
        return FailWindows();

    RECT work;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0))
        SetRect(&work, 0, 0, screenWidth, screenHeight);
    popupWindow = startupCalls.createWindow(
        WS_EX_CLIENTEDGE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, POPUP_CLASS, "Clipboard Viewer",
        WS_POPUP | WS_DLGFRAME, work.right - 160, work.bottom - 120, 150, 120, GetDesktopWindow(),
        NULL, appInstance, NULL);
    if (popupWindow == NULL)
        return FailWindows();
    return S_OK;
}

}  // namespace

bool InstallerRunning()
{
    // Only the mutex's existence counts: the least access is asked for, and
    // a mutex made by an elevated installer, which refuses even that, is
    // there all the same.
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, INSTALLER_MUTEX_NAME);
    if (mutex == NULL)
        return GetLastError() == ERROR_ACCESS_DENIED;
    CloseHandle(mutex);
    return true;
}

int WaitForInstaller(const char *commandLine)
{
    if (commandLine == NULL || libc_stricmpA(commandLine, "-wait") != 0)
        return 0;
    int sleeps = 0;
    while (InstallerRunning()) {
        Sleep(INSTALLER_WAIT_MS);
        sleeps++;
    }
    return sleeps;
}

void ComposeSettingsPath(const char *directory, char *path)
{
    size_t length = strlen(directory);
    // A cut path would name some other file; an empty one reads as defaults.
    if (length == 0 || length + sizeof SETTINGS_FILE_NAME > sizeof settingsFilePath) {
        path[0] = '\0';
        return;
    }
    memcpy(path, directory, length);
    memcpy(path + length, SETTINGS_FILE_NAME, sizeof SETTINGS_FILE_NAME);
}

void LocateSettingsFile()
{
    char directory[sizeof settingsFilePath];
    UINT length = GetWindowsDirectoryA(directory, sizeof directory);
    if (length == 0 || length >= sizeof directory)
        directory[0] = '\0';
    ComposeSettingsPath(directory, settingsFilePath);
}

void ReloadCollectionState()
{
    for (int i = 0; i < SLOT_COUNT; i++)
        itemSlots[i].flags = 0;

    char user[USER_NAME_SIZE];
    StateSectionName(user);

    char state[4096];
    memset(state, 0, sizeof state);
    ReadSetting(user, STATE_KEY, "", state, sizeof state - 1);
    if (state[0] != '\0')
        LoadCollectionState(state);
}

DWORD ChoosePanelExStyle(DWORD major, DWORD minor)
{
    const DWORD base = WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
    if (major < 5)
        return base;
    if (major == 5 && minor == 0)
        return base | WS_EX_LAYERED;
    return base | WS_EX_LAYERED | WS_EX_COMPOSITED;
}

RECT DockedPanelRect(int screenWidth, int screenHeight)
{
    RECT docked = {screenWidth - 200, 50, screenWidth - 20, screenHeight - 50};
    return docked;
}

BOOL SetPanelOpacity(DWORD alpha)
{
    if (layeredAttributesProc == NULL)
        return FALSE;
    return layeredAttributesProc(panelWindow, 0, (BYTE)(alpha & 0xFF), LWA_ALPHA);
}

HRESULT InitApplication()
{
    logoBitmap = NULL;
    int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int screenHeight = GetSystemMetrics(SM_CYSCREEN);

    layeredAttributesProc = (LayeredAttributesProc)(void (*)())GetProcAddress(
        GetModuleHandleA("user32.dll"), "SetLayeredWindowAttributes");

    memset(&osVersion, 0, sizeof osVersion);
    osVersion.dwOSVersionInfoSize = sizeof osVersion;
    if (!startupCalls.getVersion(&osVersion) || osVersion.dwMajorVersion < 4)
        return E_FAIL;

    if (FAILED(LoadHeaderBitmaps()))
        return E_FAIL;
    if (FAILED(RegisterWindowClasses()))
        return E_FAIL;
    panelExStyle = ChoosePanelExStyle(osVersion.dwMajorVersion, osVersion.dwMinorVersion);
    if (FAILED(CreateWindows(screenWidth, screenHeight)))
        return E_FAIL;

    panelHidden = true;
    SetPanelOpacity(32);
    ShowWindow(panelWindow, SW_HIDE);

    AddTrayIcon();
    Win32_InstallClipboardHook();  // reports its own failure; the program runs on without it
    return S_OK;
}

HRESULT ShutdownApplication()
{
    Win32_UninstallClipboardHook();
    // A class with a window left is not unregistered. The panel is gone with
    // the loop; the popup lives until here.
    if (popupWindow != NULL) {
        DestroyWindow(popupWindow);
        popupWindow = NULL;
    }
    UnregisterClassA(PANEL_CLASS, appInstance);
    UnregisterClassA(ITEM_LIST_CLASS, appInstance);
    UnregisterClassA(POPUP_CLASS, appInstance);
    for (const HeaderBitmap &bitmap : HEADER_BITMAPS) {
        if (*bitmap.handle != NULL)
            DeleteObject(*bitmap.handle);
        *bitmap.handle = NULL;
    }
    RemoveTrayIcon();
    return S_OK;
}
