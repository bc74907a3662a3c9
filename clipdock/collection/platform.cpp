// The table of swappable platform calls, filled with the real functions.
#include "collection/platform.h"

static FILE *RealOpenFile(const char *path, const char *mode) { return fopen(path, mode); }
static int RealRemoveFile(const char *path) { return remove(path); }
static char *RealTempName(char *buffer) { return tmpnam(buffer); }

const PlatformCalls realPlatformCalls = {
    RealOpenFile, RealRemoveFile, RealTempName,
    GetUserNameA, OpenClipboard, CloseClipboard, Shell_NotifyIconA,
};

PlatformCalls platformCalls = realPlatformCalls;
