/*
 * The tray icon: added at start, its tip showing the fill state after each
 * capture, re-added with a balloon when a notice finds it gone.
 */
#include "shell/tray.h"

#include <shellapi.h>
#include <string.h>

#include "collection/platform.h"
#include "shell/globals.h"

const char trayTipText[] = "Tarn Clipboard v1.0";

#define TRAY_ICON_RESOURCE 2000
#define BALLOON_TIMEOUT_MS 10000

// The record in its version-2 layout (tip, state, balloon text, time-out,
// balloon title and icon flags); 488 bytes in the 32-bit build.
#define TRAY_RECORD_SIZE NOTIFYICONDATAA_V2_SIZE
#if !defined(_WIN64)
static_assert(NOTIFYICONDATAA_V2_SIZE == 488, "tray record of the 32-bit platform");
#endif

static void BeginTrayRecord(NOTIFYICONDATAA *record)
{
    memset(record, 0, sizeof *record);
    record->cbSize = TRAY_RECORD_SIZE;
    record->hWnd = panelWindow;
    record->uID = TRAY_ICON_ID;
}

// The parts of the record that make a whole icon: message, icon and state.
static void DescribeIcon(NOTIFYICONDATAA *record)
{
    record->uCallbackMessage = TRAY_CALLBACK_MESSAGE;
    record->hIcon = LoadIconA(appInstance, MAKEINTRESOURCEA(TRAY_ICON_RESOURCE));
    record->dwState = NIS_SHAREDICON;
    record->dwStateMask = 0;
}

// The tip the icon shows now: the product's, then the last notice's.
static char currentTip[128];

void RestoreTrayIcon()
{
    NOTIFYICONDATAA record;
    BeginTrayRecord(&record);
    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_STATE;
    DescribeIcon(&record);
    lstrcpynA(record.szTip, currentTip, sizeof record.szTip);
    platformCalls.notifyIcon(NIM_ADD, &record);
}

void AddTrayIcon()
{
    lstrcpynA(currentTip, trayTipText, sizeof currentTip);
    RestoreTrayIcon();
}

UINT TaskbarCreatedMessage()
{
    static UINT message = RegisterWindowMessageA("TaskbarCreated");
    return message;
}

void RemoveTrayIcon()
{
    NOTIFYICONDATAA record;
    BeginTrayRecord(&record);
    platformCalls.notifyIcon(NIM_DELETE, &record);
}

// Appends text to a tip of 128 bytes, cutting it to fit.
static void AppendTip(char *tip, const char *text)
{
    size_t used = strlen(tip);
    if (used < 127)
        lstrcpynA(tip + used, text, (int)(128 - used));
}

int ShowTrayNotice(const char *title, const char *text)
{
    NOTIFYICONDATAA record;
    BeginTrayRecord(&record);
    record.uFlags = NIF_TIP;
    record.uTimeout = BALLOON_TIMEOUT_MS;
    record.dwInfoFlags = NIIF_INFO;
    lstrcpynA(record.szInfoTitle, title, 64);
    lstrcpynA(record.szInfo, text, 256);
    lstrcpynA(record.szTip, title, sizeof record.szTip);
    AppendTip(record.szTip, " - ");
    AppendTip(record.szTip, trayTipText);
    lstrcpynA(currentTip, record.szTip, sizeof currentTip);
    if (platformCalls.notifyIcon(NIM_MODIFY, &record))
        return 0;

    // The icon is gone (the tray restarted, say): bring it back, with the same
    // tip and the notice as a balloon.
    record.cbSize = TRAY_RECORD_SIZE;
    record.hWnd = panelWindow;
    record.uID = TRAY_ICON_ID;
    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_STATE | NIF_INFO;
    DescribeIcon(&record);
    platformCalls.notifyIcon(NIM_ADD, &record);
    return 0;
}
