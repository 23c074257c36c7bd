#include "file_stamp.h"

#include <sys/stat.h>

namespace orvanta {

namespace {

unsigned long long nanoseconds(const timespec& t)
{
    return static_cast<unsigned long long>(t.tv_sec) * 1000000000ULL +
           static_cast<unsigned long long>(t.tv_nsec);
}

}  // namespace

FileStamp stamp_of(const std::string& path)
{
    FileStamp stamp;
    struct stat info;
    if (::stat(path.c_str(), &info) != 0)
        return stamp;
    stamp.exists = true;
    stamp.regular = S_ISREG(info.st_mode);
    stamp.size = static_cast<unsigned long long>(info.st_size);
#ifdef __APPLE__
    stamp.modified = nanoseconds(info.st_mtimespec);
    stamp.changed = nanoseconds(info.st_ctimespec);
#else
    stamp.modified = nanoseconds(info.st_mtim);
    stamp.changed = nanoseconds(info.st_ctim);
#endif
    stamp.device = static_cast<unsigned long long>(info.st_dev);
    stamp.node = static_cast<unsigned long long>(info.st_ino);
    return stamp;
}

}  // namespace orvanta
