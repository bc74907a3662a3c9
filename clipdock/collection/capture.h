/* Capture of a clipboard change into a new item file. */
#ifndef CLIPDOCK_COLLECTION_CAPTURE_H
#define CLIPDOCK_COLLECTION_CAPTURE_H

#include <windows.h>

#define POPUP_SHOW_MESSAGE (WM_APP + 2)

extern bool firstCapturePending;  // no capture has run yet in this process
extern bool clipboardWasEmpty;    // the last capture found an empty clipboard

void CaptureClipboard(HWND panel);
int IsFormatCollected(UINT format);
// A change that found the clipboard held waits for it (see retry.h):
// whether one waits, and one more try; true when it got the clipboard.
bool CaptureWaiting();
bool RetryCapture();
// "Clear all" ends the wait: a copy that waited must not come back after it.
void CancelWaitingCapture();

#endif
