// The table of swappable platform calls, filled with the real functions.
#include "collection/platform.h"

#include <stdlib.h>

static FILE *RealOpenFile(const char *path, const char *mode) { return fopen(path, mode); }
static int RealRemoveFile(const char *path) { return remove(path); }
static char *RealTempName(char *buffer) { return tmpnam(buffer); }
static void *RealAllocEntry(size_t size) { return malloc(size); }
static void RealFreeEntry(void *buffer) { free(buffer); }

const PlatformCalls realPlatformCalls = {
    RealOpenFile, RealRemoveFile, RealTempName,
    GetUserNameA, OpenClipboard, CloseClipboard, Shell_NotifyIconA,
    RealAllocEntry, RealFreeEntry, GlobalAlloc, GetTickCount,
};

PlatformCalls platformCalls = realPlatformCalls;
