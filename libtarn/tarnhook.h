/*
 * tarnhook.h: libtarn's desktop-wide keyboard hook and the message it sends.
 * While Ctrl and the left Alt are held, every keyboard event in any program
 * of the desktop samples eight keys and sends the result as HOTKEY_MESSAGE to
 * each top-level window of class "Betal_Notify" titled "Clipboard Viewer".
 */
#ifndef LIBTARN_TARNHOOK_H
#define LIBTARN_TARNHOOK_H

#include "libtarn.h"

#ifdef _WIN32
#include <windows.h>
#include <shlwapi.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* wParam: the key mask below; lParam: 0. The sender waits until it is handled. */
#define HOTKEY_MESSAGE 0x8003u

#define HOTKEY_UP     0x01u
#define HOTKEY_DOWN   0x02u
#define HOTKEY_LEFT   0x04u
#define HOTKEY_RIGHT  0x08u
#define HOTKEY_SPACE  0x10u
#define HOTKEY_SHIFT  0x20u
#define HOTKEY_PAUSE  0x40u
#define HOTKEY_RETURN 0x80u

#define HOTKEY_TARGET_CLASS L"Betal_Notify"
#define HOTKEY_TARGET_TITLE L"Clipboard Viewer"

/* 1 when the hook is installed; 0 after showing the system's error text. */
TARN_API int32_t TARN_CALL Win32_InstallClipboardHook(void);
/* Always 1, also when no hook was installed. */
TARN_API int32_t TARN_CALL Win32_UninstallClipboardHook(void);

/* The maker's host entry: the fourth argument's third 32-bit field is a
 * reason code; every reason gives 0 and changes nothing. */
TARN_API int32_t TARN_CALL BetalLibMain(void *unused1, void *unused2, void *unused3,
                                        const void *record);

#ifdef _WIN32
/* The shell's version query, in the shell's convention: version 1.0 into a
 * DLLVERSIONINFO or DLLVERSIONINFO2 named by its cbSize; E_INVALIDARG for
 * any other size, with nothing written. */
TARN_API HRESULT CALLBACK DllGetVersion(DLLVERSIONINFO *info);
#endif

#ifdef __cplusplus
}
#endif

#endif
