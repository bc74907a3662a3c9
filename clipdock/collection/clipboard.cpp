// The program's own hold on the clipboard; see clipboard.h.
#include "collection/clipboard.h"

#include "collection/platform.h"

static bool clipboardHeld;  // written only by HoldClipboard and ReleaseClipboard

bool HoldClipboard(HWND owner)
{
    if (!platformCalls.openClipboard(owner))
        return false;
    clipboardHeld = true;
    return true;
}

void ReleaseClipboard()
{
    platformCalls.closeClipboard();
    clipboardHeld = false;
}

bool ClipboardHeld() { return clipboardHeld; }
