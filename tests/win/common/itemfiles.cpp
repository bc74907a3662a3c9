// itemfiles.cpp: see itemfiles.h.
#include "itemfiles.h"

#include <stdio.h>

#include "libtarn.h"

bool WriteItemFile(const std::string &path, const std::vector<ItemEntry> &entries)
{
    FILE *file = fopen(path.c_str(), "w+b");
    if (file == NULL)
        return false;
    bool ok = CreateClipboardFile(file) >= 0;
    for (const ItemEntry &entry : entries)
        ok = ok && InsertClipboardItem(file, entry.format, entry.name.c_str(), entry.data.data(),
                                       (int32_t)entry.data.size(), nullptr) >= 0;
    return fclose(file) == 0 && ok;
}

std::string FileBytes(const std::string &path)
{
    std::string bytes;
    FILE *file = fopen(path.c_str(), "rb");
    if (file == NULL)
        return bytes;
    char chunk[8192];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.append(chunk, n);
    fclose(file);
    return bytes;
}

bool WriteFileBytes(const std::string &path, const std::string &bytes)
{
    FILE *file = fopen(path.c_str(), "wb");
    if (file == NULL)
        return false;
    bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}
