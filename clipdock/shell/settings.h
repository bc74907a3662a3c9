/*
 * The settings store: every persistent setting lives in "halcyon.ini" in the
 * Windows directory. Section "ENVIRONMENT" may be redirected to another file
 * by key "ENVIRONMENT" of section "HALCYON".
 */
#ifndef CLIPDOCK_SHELL_SETTINGS_H
#define CLIPDOCK_SHELL_SETTINGS_H

#include <windows.h>

// A settings file path: up to 260 characters and the terminator.
#define SETTINGS_PATH_SIZE 261
extern char settingsFilePath[SETTINGS_PATH_SIZE];  // Windows directory + "\halcyon.ini"; filled by start-up

// 0, or E_FAIL while settingsFilePath is empty or when the redirect names a
// path too long for it (buffer untouched then).
HRESULT ReadSetting(const char *section, const char *key, const char *defaultValue,
                    char *buffer, DWORD size);
HRESULT WriteSetting(const char *section, const char *key, const char *value);

#endif
