/* Putting a stored item back onto the clipboard. */
#ifndef CLIPDOCK_COLLECTION_RESTORE_H
#define CLIPDOCK_COLLECTION_RESTORE_H

#include <windows.h>

void RestoreClipboardItem(int slot, HWND owner);

#endif
