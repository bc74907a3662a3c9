/*
 * The settings store: one read and one write by section and key on
 * "halcyon.ini", with section "ENVIRONMENT" redirected to the file that key
 * "ENVIRONMENT" of section "HALCYON" names. The redirect is looked up on every
 * call, so an edit of the file takes effect at once.
 */
#include "shell/settings.h"

#include <string.h>

#include "bxml.h"

char settingsFilePath[SETTINGS_PATH_SIZE];

// Picks the file for one access into file (SETTINGS_PATH_SIZE bytes); false
// while the settings file path has not been set, and for a path that does
// not fit: cut short, it would name some other file.
static bool SettingsFileFor(const char *section, char file[SETTINGS_PATH_SIZE])
{
    size_t length = strnlen(settingsFilePath, SETTINGS_PATH_SIZE);
    if (length == 0 || length == SETTINGS_PATH_SIZE)
        return false;
    memcpy(file, settingsFilePath, length + 1);
    if (libc_stricmpA(section, "ENVIRONMENT") != 0)
        return true;
    // One byte more than a path may take, so that a longer one shows.
    char redirect[SETTINGS_PATH_SIZE + 1] = {0};
    DWORD read = GetPrivateProfileStringA("HALCYON", "ENVIRONMENT", "", redirect,
                                          sizeof redirect, settingsFilePath);
    if (read >= SETTINGS_PATH_SIZE)
        return false;
    if (read != 0)
        memcpy(file, redirect, read + 1);
    return true;
}

HRESULT ReadSetting(const char *section, const char *key, const char *defaultValue,
                    char *buffer, DWORD size)
{
    char file[SETTINGS_PATH_SIZE];
    if (!SettingsFileFor(section, file))
        return E_FAIL;
    GetPrivateProfileStringA(section, key, defaultValue, buffer, size, file);
    return 0;
}

HRESULT WriteSetting(const char *section, const char *key, const char *value)
{
    char file[SETTINGS_PATH_SIZE];
    if (!SettingsFileFor(section, file))
        return E_FAIL;
    WritePrivateProfileStringA(section, key, value, file);
    return 0;
}
