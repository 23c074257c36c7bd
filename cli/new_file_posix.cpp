#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "output_file.h"

namespace orvanta {

namespace {

// Gives the new file the owner (as far as this user may: root any, others their own groups) and
// then the mode of the file it is to replace. chown comes first as it clears set-id bits.
void take_owner_and_mode(int fd, const struct stat& old)
{
    if (fchown(fd, old.st_uid, old.st_gid) != 0) {
        // Not this user's to give: the file stays theirs, with the old group if it is theirs.
        const int group_kept = fchown(fd, static_cast<uid_t>(-1), old.st_gid);
        (void)group_kept;
    }
    fchmod(fd, old.st_mode & 07777);
}

}  // namespace

std::FILE* create_new_file(const std::string& path, const std::string& like)
{
    struct stat old;
    const bool replaces = !like.empty() && stat(like.c_str(), &old) == 0;
    // Private until it has the old file's mode, which may be stricter than the umask's.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    replaces ? 0600 : 0666);
    if (fd < 0)
        return nullptr;
    if (replaces)
        take_owner_and_mode(fd, old);
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
