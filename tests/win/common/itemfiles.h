/*
 * itemfiles.h: item files and other files of the Windows tests, written
 * through libtarn as the program writes them, or byte by byte.
 */
#ifndef CLIPDOCK_TESTS_WIN_COMMON_ITEMFILES_H
#define CLIPDOCK_TESTS_WIN_COMMON_ITEMFILES_H

#include <stdint.h>

#include <string>
#include <vector>

// One entry of an item file: a base format, or a registered format's number
// (or NAMED_FORMAT) with its name.
struct ItemEntry {
    uint32_t format;
    std::string data;
    std::string name;
};

// Creates (or empties) the file at path and writes the item file of entries
// into it with CreateClipboardFile and InsertClipboardItem; false when any
// step fails.
[[nodiscard]] bool WriteItemFile(const std::string &path, const std::vector<ItemEntry> &entries);

// The whole file, "" when it cannot be read.
std::string FileBytes(const std::string &path);
// Creates (or empties) the file at path with bytes; false when any step fails.
[[nodiscard]] bool WriteFileBytes(const std::string &path, const std::string &bytes);

#endif
