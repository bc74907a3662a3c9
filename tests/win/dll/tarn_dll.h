/*
 * tarn_dll.h: what the DLL tests share: the export signatures as function
 * pointer types, the table that LoadLibraryA and GetProcAddress fill, the
 * temp-folder fixture that hands out real files, and helper macros that
 * carry the caller's line into every failure.
 */
#ifndef CLIPDOCK_TESTS_WIN_DLL_TARN_DLL_H
#define CLIPDOCK_TESTS_WIN_DLL_TARN_DLL_H

#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

/* The exports as the library's users call them: C calling convention. */
typedef int32_t(__cdecl *CreateClipboardFileFn)(FILE *stream);
typedef int32_t(__cdecl *CloseClipboardFileFn)(FILE *stream);
typedef int32_t(__cdecl *InsertClipboardItemFn)(FILE *stream, uint32_t format,
                                                const char *formatName, const void *data,
                                                int32_t length, int32_t *index);
typedef int32_t(__cdecl *GetClipbordFileItemsCountFn)(FILE *stream, uint32_t *count);
typedef int32_t(__cdecl *GetClipbordFileItemBaseFormatFn)(FILE *stream, int32_t index,
                                                          uint32_t *format);
typedef int32_t(__cdecl *GetClipbordFileItemFormatNameFn)(FILE *stream, int32_t index,
                                                          char *buffer, int32_t size);
typedef int32_t(__cdecl *GetClipboardFileItemSizeFn)(FILE *stream, int32_t index,
                                                     uint32_t *size);
typedef int32_t(__cdecl *LoadClipboardFileItemFn)(FILE *stream, int32_t index, void *buffer,
                                                  uint32_t size);
typedef int32_t(__cdecl *LoadClipboardFileItemPartFn)(FILE *stream, int32_t index,
                                                      uint32_t offset, void *buffer,
                                                      uint32_t size);
typedef int32_t(__cdecl *CompareClipboardFilesFn)(FILE *first, FILE *second);
typedef int32_t(__cdecl *Win32_InstallClipboardHookFn)(void);
typedef int32_t(__cdecl *Win32_UninstallClipboardHookFn)(void);
typedef int32_t(__cdecl *BetalLibMainFn)(void *unused1, void *unused2, void *unused3,
                                         const void *record);
/* The shell's own version query keeps the shell's convention. */
typedef DLLGETVERSIONPROC DllGetVersionFn;

/* Results as the callers see them. */
const int32_t TARN_OK = 0;
const int32_t TARN_FAIL = (int32_t)0x80004005;
const int32_t COMPARE_EQUAL = 0;
const int32_t COMPARE_DIFFERENT = 1;

/* libtarn.dll as this process loaded it; a pointer is null when its name
 * was not exported. The hook is never installed here: it reaches the whole
 * desktop, and the program's own tests drive it. */
struct TarnDll {
    HMODULE module;
    std::string path;    /* where the loader found it */
    std::string missing; /* names GetProcAddress did not find, one a line */
    CreateClipboardFileFn CreateClipboardFile;
    CloseClipboardFileFn CloseClipboardFile;
    InsertClipboardItemFn InsertClipboardItem;
    GetClipbordFileItemsCountFn GetClipbordFileItemsCount;
    GetClipbordFileItemBaseFormatFn GetClipbordFileItemBaseFormat;
    GetClipbordFileItemFormatNameFn GetClipbordFileItemFormatName;
    GetClipboardFileItemSizeFn GetClipboardFileItemSize;
    LoadClipboardFileItemFn LoadClipboardFileItem;
    CompareClipboardFilesFn CompareClipboardFiles;
    Win32_InstallClipboardHookFn Win32_InstallClipboardHook;
    Win32_UninstallClipboardHookFn Win32_UninstallClipboardHook;
    DllGetVersionFn DllGetVersion;
    BetalLibMainFn BetalLibMain;
    LoadClipboardFileItemPartFn LoadClipboardFileItemPart;
};

/* Loads the library once per process and resolves every export. */
const TarnDll &Tarn();

/* Names of the exports, in the order of the table above. */
extern const char *const TARN_EXPORT_NAMES[14];

typedef std::vector<unsigned char> Bytes;

/* A C string's bytes with its terminating zero, as CF_TEXT carries it. */
Bytes TextBytes(const char *text);
/* A UTF-16 string's bytes with its terminating zero, as CF_UNICODETEXT. */
Bytes WideBytes(const wchar_t *text);
/* n bytes of a pattern that differs for each seed and never repeats early. */
Bytes PatternBytes(size_t n, unsigned seed);

/* Every byte of the stream, read through this program's C runtime; the
 * position is left at the end. */
Bytes StreamBytes(FILE *stream);
/* Every byte of the file on disk, read with Win32 calls. */
Bytes DiskBytes(const std::string &path);
uint32_t ReadU32(const Bytes &bytes, size_t offset);
uint16_t ReadU16(const Bytes &bytes, size_t offset);
/* Overwrites bytes at offset of the stream and flushes. */
void PatchStream(FILE *stream, long offset, const void *bytes, size_t size);

/* Each test gets its own files in a private folder under GetTempPathA;
 * streams it opens are closed and their files deleted at the end. */
class TarnFileTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    /* The file name of this test's file called name. */
    std::string PathOf(const char *name) const;
    /* fopen of that file with mode ("w+b" for a new one, "r+b" otherwise). */
    FILE *Open(const char *name, const char *mode);
    /* A new, empty item file: fopen "w+b", then CreateClipboardFile. */
    FILE *NewItemFile(const char *name);
    /* A stream holding exactly bytes, opened "w+b" and left at offset 0. */
    FILE *RawFile(const char *name, const Bytes &bytes);
    /* Closes a stream that Open gave out before the test ends. */
    void Close(FILE *stream);

    const TarnDll &tarn = Tarn();

private:
    std::vector<FILE *> streams;
    std::vector<std::string> paths;
};

/* Appends one entry through the DLL, expects success and returns its index. */
int32_t InsertEntry(const char *file, int line, FILE *stream, uint32_t format,
                    const char *name, const Bytes &data);
#define INSERT_ENTRY(stream, format, name, data) \
    InsertEntry(__FILE__, __LINE__, (stream), (format), (name), (data))

/* Reads entry index back through every query and compares it with what was
 * inserted: the base format for an unnamed entry, the name for a named one,
 * the size and the data (with an exact buffer and with one a byte short). */
void ExpectEntry(const char *file, int line, FILE *stream, int32_t index, uint32_t format,
                 const char *name, const Bytes &data);
#define EXPECT_ENTRY(stream, index, format, name, data) \
    ExpectEntry(__FILE__, __LINE__, (stream), (index), (format), (name), (data))

/* The entry count through the DLL; a failed query gives UINT32_MAX. */
uint32_t ItemCount(FILE *stream);

#endif
