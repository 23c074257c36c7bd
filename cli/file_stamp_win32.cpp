// GetFileAttributesEx reads the folder entry by name and opens nothing: a build that writes the
// file, or replaces it, meets no sharing violation from the watch.
#include "file_stamp.h"

#include <windows.h>

namespace orvanta {

namespace {

unsigned long long ticks(const FILETIME& t)
{
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

}  // namespace

FileStamp stamp_of(const std::string& path)
{
    FileStamp stamp;
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &info))
        return stamp;
    stamp.exists = true;
    stamp.regular =
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
    stamp.size = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    stamp.modified = ticks(info.ftLastWriteTime);
    stamp.changed = ticks(info.ftCreationTime);
    return stamp;
}

}  // namespace orvanta
