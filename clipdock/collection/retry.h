/*
 * Waiting for a clipboard that another program holds: a capture, a restore
 * or a clear that cannot open it tries again on a timer of the panel window
 * for a while, so that neither the program's windows nor the viewer chain
 * wait meanwhile.
 */
#ifndef CLIPDOCK_COLLECTION_RETRY_H
#define CLIPDOCK_COLLECTION_RETRY_H

#include <windows.h>

// The panel's timer while a job waits, with its period in milliseconds.
#define CLIPBOARD_RETRY_TIMER 6
#define CLIPBOARD_RETRY_PERIOD 20
// How long a job waits for the clipboard, in milliseconds.
#define CLIPBOARD_WAIT_LIMIT 1000

// Starts the retry timer; a job that found the clipboard held calls it.
void ArmClipboardRetry();
// The end of a job's wait, counted from now, and whether it has come.
DWORD ClipboardWaitDeadline();
bool ClipboardWaitOver(DWORD deadline);
// The timer's job: the waiting capture, then the waiting restore or clear,
// try again; the timer stops once none waits. True when a capture ran.
bool RetryClipboardJobs();

#endif
