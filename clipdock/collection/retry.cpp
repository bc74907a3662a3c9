// The timer and the clock that let a capture, restore or clear wait for a held clipboard.
#include "collection/retry.h"

#include "collection/platform.h"
#include "shell/globals.h"

void ArmClipboardRetry()
{
    if (panelWindow != NULL)
        SetTimer(panelWindow, CLIPBOARD_RETRY_TIMER, CLIPBOARD_RETRY_PERIOD, NULL);
}

DWORD ClipboardWaitDeadline(DWORD limit)
{
    return platformCalls.tickCount() + limit;
}

bool ClipboardWaitOver(DWORD deadline)
{
    return (LONG)(platformCalls.tickCount() - deadline) >= 0;
}
