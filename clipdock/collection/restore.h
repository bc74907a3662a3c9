/* Putting a stored item back onto the clipboard. */
#ifndef CLIPDOCK_COLLECTION_RESTORE_H
#define CLIPDOCK_COLLECTION_RESTORE_H

#include <windows.h>
#include <stdint.h>

void RestoreClipboardItem(int slot, HWND owner);
// Empties the clipboard as owner ("Clear all").
void ClearClipboard(HWND owner);

// A restore or clear that found the clipboard held waits for it (see
// retry.h): whether one waits; one more try, true when the clipboard or the
// current mark changed; and the end of the wait when another program
// changes the clipboard meanwhile.
bool PlacementWaiting();
bool RetryPlacement();
void CancelWaitingPlacement();
// True for a record stored by number that restore puts back: the predefined
// memory-block formats. Object handles, and a metafile picture's block (it
// holds a handle), mean nothing once read back from a file.
bool IsRestoredFormat(uint32_t format);
// True for a stored format name that restore registers: not empty, and not
// "#" and digits, which the platform takes for that format number.
bool IsRestoredFormatName(const char *name);

#endif
