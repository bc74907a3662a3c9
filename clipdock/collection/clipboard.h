/*
 * The program's own hold on the clipboard: every capture, restore and clear
 * opens and closes it here, so that whatever arrives while one of them holds
 * it (a sent message dispatched while the platform waits for another
 * program, inside GetClipboardData or EmptyClipboard) can tell.
 */
#ifndef CLIPDOCK_COLLECTION_CLIPBOARD_H
#define CLIPDOCK_COLLECTION_CLIPBOARD_H

#include <windows.h>

// Opens the clipboard for owner; false when another program holds it.
bool HoldClipboard(HWND owner);
void ReleaseClipboard();
// True between a HoldClipboard that succeeded and its ReleaseClipboard.
bool ClipboardHeld();

#endif
