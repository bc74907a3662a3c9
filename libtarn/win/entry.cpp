/*
 * entry.cpp: the library's entry points: DllMain, DllGetVersion (the
 * shell's version query) and BetalLibMain (the maker's host entry).
 */
#ifndef LIBTARN_BUILDING
#define LIBTARN_BUILDING
#endif

#include "tarnhook.h"
#include "win/module.h"

#include <windows.h>
#include <shlwapi.h>

// The shell passes either record by its size; both sizes are fixed by the
// platform and must not drift with the compiler.
static_assert(sizeof(DLLVERSIONINFO) == 20, "DLLVERSIONINFO is 20 bytes");
static_assert(sizeof(DLLVERSIONINFO2) == 32, "DLLVERSIONINFO2 is 32 bytes");

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
        tarnInstance = instance;
    return TRUE;
}

extern "C" HRESULT CALLBACK DllGetVersion(DLLVERSIONINFO *info)
{
    // Nothing is written unless the size names one of the two records.
    if (info == NULL || (info->cbSize != sizeof(DLLVERSIONINFO) &&
                         info->cbSize != sizeof(DLLVERSIONINFO2)))
        return E_INVALIDARG;

    info->dwMajorVersion = TARN_VERSION_MAJOR;
    info->dwMinorVersion = TARN_VERSION_MINOR;
    info->dwBuildNumber = 0;
    info->dwPlatformID = DLLVER_PLATFORM_WINDOWS;
    if (info->cbSize == sizeof(DLLVERSIONINFO2)) {
        DLLVERSIONINFO2 *info2 = (DLLVERSIONINFO2 *)info;
        info2->dwFlags = 0;
        info2->ullVersion = MAKEDLLVERULL(TARN_VERSION_MAJOR, TARN_VERSION_MINOR, 0, 0);
    }
    return S_OK;
}

// The host's reason code (third field of the record) asks for nothing this
// library has to do: every reason is answered with 0 and nothing is read.
extern "C" int32_t TARN_CALL BetalLibMain(void *unused1, void *unused2, void *unused3,
                                          const void *record)
{
    (void)unused1;
    (void)unused2;
    (void)unused3;
    (void)record;
    return 0;
}
