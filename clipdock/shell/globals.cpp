// Definitions of the process-wide values declared in globals.h.
#include "shell/globals.h"

#ifndef _WIN64
// The 32-bit product shares these records with the platform as they are.
static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA is 148 bytes");
static_assert(sizeof(BITMAP) == 24, "BITMAP is 24 bytes");
#endif

HINSTANCE appInstance = NULL;
HWND panelWindow = NULL;
HWND itemListWindow = NULL;
HWND popupWindow = NULL;
bool panelHidden = false;

OSVERSIONINFOA osVersion;
DWORD panelExStyle = 0;
LayeredAttributesProc layeredAttributesProc = NULL;

HBITMAP logoBitmap = NULL, skyBitmap = NULL, objBitmap = NULL, sysBitmap = NULL;
BITMAP logoInfo, skyInfo, objInfo, sysInfo;
