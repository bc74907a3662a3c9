// The program's own hold on the clipboard; see clipboard.h.
#include "collection/clipboard.h"

#include "collection/platform.h"

// Holds that have not been released: a capture that the platform runs
// inside a restore's CloseClipboard (its change notice to the panel) holds
// and releases the clipboard within the restore's own hold.
static int clipboardHolds;

bool HoldClipboard(HWND owner)
{
    if (!platformCalls.openClipboard(owner))
        return false;
    clipboardHolds++;
    return true;
}

void ReleaseClipboard()
{
    platformCalls.closeClipboard();
    clipboardHolds--;
}

bool ClipboardHeld() { return clipboardHolds > 0; }
