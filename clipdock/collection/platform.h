/*
 * The platform calls of the collection and the tray icon that a test must be
 * able to make fail or observe (a full disk, a colliding file name, another
 * user, the tray, the memory a format or a stored entry is read into, the
 * clock): one table of function pointers, filled with the real calls.
 * A test swaps an entry and puts the real one back; nothing else in the
 * program knows about tests.
 */
#ifndef CLIPDOCK_COLLECTION_PLATFORM_H
#define CLIPDOCK_COLLECTION_PLATFORM_H

#include <windows.h>
#include <shellapi.h>
#include <stdio.h>

struct PlatformCalls {
    FILE *(*openFile)(const char *path, const char *mode);           // fopen
    int (*removeFile)(const char *path);                              // remove
    char *(*tempName)(char *buffer);                                  // tmpnam
    BOOL (WINAPI *userName)(LPSTR buffer, LPDWORD size);              // GetUserNameA
    BOOL (WINAPI *openClipboard)(HWND owner);                         // OpenClipboard
    BOOL (WINAPI *closeClipboard)(void);                              // CloseClipboard
    BOOL (WINAPI *notifyIcon)(DWORD message, PNOTIFYICONDATAA data);  // Shell_NotifyIconA
    // The copy of a format's bytes that capture takes off the clipboard, or
    // the part of a stored entry that a preview draws.
    void *(*allocEntry)(size_t size);                                 // malloc
    void (*freeEntry)(void *buffer);                                  // free
    // The block a stored entry is read into by restore, for the clipboard.
    HGLOBAL (WINAPI *allocBlock)(UINT flags, SIZE_T size);            // GlobalAlloc
    // The clock of the waits for a clipboard that another program holds.
    DWORD (WINAPI *tickCount)(void);                                  // GetTickCount
};

extern PlatformCalls platformCalls;     // the calls in use; tests may swap entries
extern const PlatformCalls realPlatformCalls;  // the platform's own functions

#endif
