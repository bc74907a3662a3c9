/*
 * The settings store: one read and one write by section and key on
 * "halcyon.ini", with section "ENVIRONMENT" redirected to the file that key
 * "ENVIRONMENT" of section "HALCYON" names. The redirect is looked up on every
 * call, so an edit of the file takes effect at once.
 */
#include "shell/settings.h"

#include "bxml.h"

char settingsFilePath[261];

// Picks the file for one access into file (MAX_PATH bytes); false while the
// settings file path has not been set.
static bool SettingsFileFor(const char *section, char *file)
{
    if (settingsFilePath[0] == '\0')
        return false;
    lstrcpynA(file, settingsFilePath, MAX_PATH);
    if (libc_stricmpA(section, "ENVIRONMENT") != 0)
        return true;
    char redirect[260] = {0};
    GetPrivateProfileStringA("HALCYON", "ENVIRONMENT", "", redirect, sizeof redirect,
                             settingsFilePath);
    if (redirect[0] != '\0')
        lstrcpynA(file, redirect, MAX_PATH);
    return true;
}

HRESULT ReadSetting(const char *section, const char *key, const char *defaultValue,
                    char *buffer, DWORD size)
{
    char file[MAX_PATH];
    if (!SettingsFileFor(section, file))
        return E_FAIL;
    GetPrivateProfileStringA(section, key, defaultValue, buffer, size, file);
    return 0;
}

HRESULT WriteSetting(const char *section, const char *key, const char *value)
{
    char file[MAX_PATH];
    if (!SettingsFileFor(section, file))
        return E_FAIL;
    WritePrivateProfileStringA(section, key, value, file);
    return 0;
}
