/*
 * libc_stricmpA: comparison of two NUL-terminated strings without regard
 * to ASCII letter case. Only 'A' to 'Z' fold; every other byte, including
 * bytes above 0x7F, compares as itself, so the result never depends on
 * the C runtime's locale.
 */
#include "bxml.h"

static unsigned char LowerAscii(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return (unsigned char)(c - 'A' + 'a');
    return c;
}

int libc_stricmpA(const char *a, const char *b)
{
    const unsigned char *p = (const unsigned char *)a;
    const unsigned char *q = (const unsigned char *)b;

    for (;;) {
        unsigned char x = LowerAscii(*p);
        unsigned char y = LowerAscii(*q);
        if (x != y)
            return (int)x - (int)y;
        if (x == 0)
            return 0;
        p++;
        q++;
    }
}
