#include "virtual_line.h"

#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#if defined(__APPLE__)
#include <util.h>
#else
#include <pty.h>
#endif

#include "fd_read_posix.h"

namespace orvanta {

VirtualLine::~VirtualLine()
{
    if (!link_.empty())
        unlink(link_.c_str());
    if (sender_ >= 0)
        close(sender_);
    // A sender that is still waiting for its last bytes to drain would see the line vanish
    // and report a failure: stay until it has closed its end (the receiver's end then hangs
    // up), for a second at most.
    if (receiver_ >= 0) {
        pollfd p = {receiver_, POLLIN, 0};
        for (int waited = 0; waited < 1000; waited += 10) {
            if (poll(&p, 1, 10) > 0 && (p.revents & POLLHUP))
                break;
            std::uint8_t discard[256];
            if (p.revents & POLLIN)
                (void)::read(receiver_, discard, sizeof discard);
        }
    }
    if (receiver_ >= 0)
        close(receiver_);
}

std::string VirtualLine::create(const std::string& link)
{
    char name[128] = "";
    termios raw{};
    cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | CREAD;
    if (openpty(&receiver_, &sender_, name, &raw, nullptr) != 0)
        return std::string("cannot create a virtual line: ") + last_system_error().text;
    fcntl(receiver_, F_SETFD, FD_CLOEXEC);
    fcntl(sender_, F_SETFD, FD_CLOEXEC);
    device_ = name;

    // Point the link at the device in one step, replacing an old link but never a real file.
    struct stat existing;
    if (lstat(link.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode))
        return link + " exists and is not a link; not replacing it";
    std::string temporary = link + ".new";
    unlink(temporary.c_str());
    if (symlink(device_.c_str(), temporary.c_str()) != 0)
        return "cannot create " + link + ": " + last_system_error().text;
    if (rename(temporary.c_str(), link.c_str()) != 0) {
        std::string why = last_system_error().text;
        unlink(temporary.c_str());
        return "cannot create " + link + ": " + why;
    }
    link_ = link;
    return {};
}

TransferResult VirtualLine::read(std::uint8_t* data, std::size_t size, int timeout_ms)
{
    return read_fd(receiver_, data, size, timeout_ms);
}

}  // namespace orvanta
