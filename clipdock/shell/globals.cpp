// Definitions of the process-wide values declared in globals.h.
#include "shell/globals.h"

HINSTANCE appInstance = NULL;
HWND panelWindow = NULL;
HWND itemListWindow = NULL;
HWND popupWindow = NULL;
bool panelHidden = false;
