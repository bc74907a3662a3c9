// The text of a system error code, as FormatMessage gives it, with the
// trailing line break removed; "Error N (0xN)" when the system knows none.
#include "osk.h"

#include <windows.h>
#include <stdio.h>
#include <string.h>

int32_t betal_osk_errormessage(uint32_t code, char *buffer, int32_t size)
{
    if (buffer == NULL || size <= 0)
        return -1;
    buffer[0] = '\0';

    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             NULL, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                             buffer, (DWORD)size, NULL);
    if (n > 0 && n < (DWORD)size) {
        buffer[n] = '\0';
        while (n > 0 && (buffer[n - 1] == '\r' || buffer[n - 1] == '\n' || buffer[n - 1] == ' '))
            buffer[--n] = '\0';
        if (n > 0)
            return (int32_t)n;
    }

    int written = snprintf(buffer, (size_t)size, "Error %lu (0x%08lX)",
                           (unsigned long)code, (unsigned long)code);
    buffer[size - 1] = '\0';
    if (written < 0)
        return (buffer[0] = '\0'), 0;
    return (int32_t)strlen(buffer);
}
