#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "output_file.h"

namespace orvanta {

std::FILE* create_new_file(const std::string& path)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    std::FILE* f = fdopen(fd, "wb");
    if (!f) {
        int error = errno;
        ::close(fd);
        unlink(path.c_str());
        errno = error;
    }
    return f;
}

}  // namespace orvanta
