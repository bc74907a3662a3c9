// The timer that lets a capture, restore or clear wait for a held clipboard.
#include "collection/retry.h"

#include "collection/capture.h"
#include "collection/platform.h"
#include "collection/restore.h"
#include "shell/globals.h"

void ArmClipboardRetry()
{
    if (panelWindow != NULL)
        SetTimer(panelWindow, CLIPBOARD_RETRY_TIMER, CLIPBOARD_RETRY_PERIOD, NULL);
}

DWORD ClipboardWaitDeadline()
{
    return platformCalls.tickCount() + CLIPBOARD_WAIT_LIMIT;
}

bool ClipboardWaitOver(DWORD deadline)
{
    return (LONG)(platformCalls.tickCount() - deadline) >= 0;
}

bool RetryClipboardJobs()
{
    // The change came before any restore or clear that waits with it, so
    // its content is taken before theirs replaces it.
    bool captured = RetryCapture();
    RetryPlacement();
    if (!CaptureWaiting() && !PlacementWaiting() && panelWindow != NULL)
        KillTimer(panelWindow, CLIPBOARD_RETRY_TIMER);
    return captured;
}
