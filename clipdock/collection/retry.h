/*
 * Waiting for a clipboard that another program holds: a capture, a restore
 * or a clear that cannot open it tries again on a timer of the panel window
 * for a while, so that neither the program's windows nor the viewer chain
 * wait meanwhile. The panel's timer handler makes the tries (capture's
 * RetryCapture, then restore's RetryPlacement).
 */
#ifndef CLIPDOCK_COLLECTION_RETRY_H
#define CLIPDOCK_COLLECTION_RETRY_H

#include <windows.h>

// The panel's timer while a job waits, with its period in milliseconds.
#define CLIPBOARD_RETRY_TIMER 6
#define CLIPBOARD_RETRY_PERIOD 20
// How long a job waits for the clipboard, in milliseconds. A change waits
// longer than a restore: its content is kept only if it waits it out, and
// waiting costs nothing while no newer change has replaced it. A restore
// the user asked for must land soon or not at all.
#define CAPTURE_WAIT_LIMIT 10000
#define PLACEMENT_WAIT_LIMIT 1000

// Starts the retry timer; a job that found the clipboard held calls it.
void ArmClipboardRetry();
// The end of a wait of limit milliseconds from now, and whether it has come.
DWORD ClipboardWaitDeadline(DWORD limit);
bool ClipboardWaitOver(DWORD deadline);

#endif
