/* libOSK stand-in: texts for system error codes. */
#ifndef LIBOSK_OSK_H
#define LIBOSK_OSK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Writes the platform's text for a system error code into buffer,
 * NUL-terminated within size bytes; a readable fallback when the platform
 * has none. Returns the length written (without the NUL), or -1 when the
 * buffer cannot take even the terminator. */
int32_t betal_osk_errormessage(uint32_t code, char *buffer, int32_t size);

#ifdef __cplusplus
}
#endif

#endif
