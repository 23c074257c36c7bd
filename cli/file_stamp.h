#pragma once
// What tells a file's versions apart without reading it: whether it is there, what it is, its
// size, its times and (where the system gives one cheaply) its identity on the disk. Taken by
// name, holding nothing open, so a build that writes, truncates, deletes or renames over the file
// is never in the way; file_stamp_posix.cpp and file_stamp_win32.cpp take it with each platform's
// own call.
#include <string>

namespace orvanta {

struct FileStamp {
    bool exists = false;
    bool regular = false;  // a regular file (not a folder, pipe, device)
    unsigned long long size = 0;
    unsigned long long modified = 0;          // in the system's finest unit
    unsigned long long changed = 0;           // status change (POSIX) or creation (Windows)
    unsigned long long device = 0, node = 0;  // POSIX: a file renamed over the name has a new node

    bool operator==(const FileStamp& other) const
    {
        return exists == other.exists && regular == other.regular && size == other.size &&
               modified == other.modified && changed == other.changed && device == other.device &&
               node == other.node;
    }
    bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

FileStamp stamp_of(const std::string& path);

}  // namespace orvanta
