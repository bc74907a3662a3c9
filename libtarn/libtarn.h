/*
 * libtarn: item files (one stored clipboard item each) and their exported
 * operations. Every operation takes a C runtime stream that the caller has
 * opened in binary update mode and closes itself; the library keeps nothing
 * between calls. Results: 0 on success, TARN_E_FAIL (negative) on failure.
 * Usable from C and C++.
 */
#ifndef LIBTARN_LIBTARN_H
#define LIBTARN_LIBTARN_H

#include <stdint.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#  define TARN_CALL __cdecl
#  if defined(LIBTARN_BUILDING)
#    define TARN_API
#  else
#    define TARN_API __declspec(dllimport)
#  endif
#else
#  define TARN_CALL
#  define TARN_API
#endif

#define TARN_S_OK ((int32_t)0)
#define TARN_E_FAIL ((int32_t)0x80004005)

/* Base format of an entry that is identified by its registered format name. */
#define NAMED_FORMAT 0xFFFFu

TARN_API int32_t TARN_CALL CreateClipboardFile(FILE *stream);
TARN_API int32_t TARN_CALL CloseClipboardFile(FILE *stream);
TARN_API int32_t TARN_CALL InsertClipboardItem(FILE *stream, uint32_t format,
                                               const char *formatName,
                                               const void *data, int32_t length,
                                               int32_t *index);
TARN_API int32_t TARN_CALL GetClipbordFileItemsCount(FILE *stream, uint32_t *count);
TARN_API int32_t TARN_CALL GetClipbordFileItemBaseFormat(FILE *stream, int32_t index,
                                                         uint32_t *format);
TARN_API int32_t TARN_CALL GetClipbordFileItemFormatName(FILE *stream, int32_t index,
                                                         char *buffer, int32_t size);
TARN_API int32_t TARN_CALL GetClipboardFileItemSize(FILE *stream, int32_t index,
                                                    uint32_t *size);
TARN_API int32_t TARN_CALL LoadClipboardFileItem(FILE *stream, int32_t index,
                                                 void *buffer, uint32_t size);
/* Copies size bytes of the entry's data from offset on; fails, reading
 * nothing, when that range is empty or does not lie inside the entry. */
TARN_API int32_t TARN_CALL LoadClipboardFileItemPart(FILE *stream, int32_t index,
                                                     uint32_t offset, void *buffer,
                                                     uint32_t size);
/* 0 equal; 1 different or unreadable; TARN_E_FAIL when a seek to matched data fails. */
TARN_API int32_t TARN_CALL CompareClipboardFiles(FILE *first, FILE *second);

#ifdef __cplusplus
}
#endif

#endif
