/*
 * The settings store: every persistent setting lives in "halcyon.ini" in the
 * Windows directory. Section "ENVIRONMENT" may be redirected to another file
 * by key "ENVIRONMENT" of section "HALCYON".
 */
#ifndef CLIPDOCK_SHELL_SETTINGS_H
#define CLIPDOCK_SHELL_SETTINGS_H

#include <windows.h>

extern char settingsFilePath[261];  // Windows directory + "\halcyon.ini"; filled by start-up

// 0, or E_FAIL while settingsFilePath is empty (buffer untouched then).
HRESULT ReadSetting(const char *section, const char *key, const char *defaultValue,
                    char *buffer, DWORD size);
HRESULT WriteSetting(const char *section, const char *key, const char *value);

#endif
