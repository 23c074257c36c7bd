#include "input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvanta {

InputFile open_input_file(const std::string& path)
{
    InputFile result;
    if (path.empty())
        return result;
    // O_NONBLOCK so that a pipe with no writer is opened and refused, not waited on.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        result.status = FileStatus::OpenFailed;
        result.error = last_system_error();
        return result;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        result.status = FileStatus::NotAFile;
        return result;
    }
    int flags = fcntl(fd, F_GETFL);
    std::FILE* f =
        flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ? nullptr : fdopen(fd, "rb");
    if (!f) {
        result.status = FileStatus::OpenFailed;
        result.error = last_system_error();
        ::close(fd);
        return result;
    }
    result.status = FileStatus::Ready;
    result.file.reset(f);
    return result;
}

unsigned long long file_size(std::FILE* f, unsigned long long fallback)
{
    struct stat info;
    if (fstat(fileno(f), &info) == 0 && S_ISREG(info.st_mode))
        return static_cast<unsigned long long>(info.st_size);
    return fallback;
}

}  // namespace orvanta
