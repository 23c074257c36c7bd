#include "virtual_line.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#if defined(__APPLE__)
#include <util.h>
#else
#include <pty.h>
#endif

#include "fd_io_posix.h"

namespace orvanta {

namespace {

// Where a link points, or "" when path is no link.
std::string link_target(const std::string& path)
{
    char target[PATH_MAX];
    ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

// Makes a new link to target at a name of its own beside link, and returns that name.
std::string unique_link(const std::string& target, const std::string& link, SystemError& error)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name =
            link + ".orvanta-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
        if (symlink(target.c_str(), name.c_str()) == 0)
            return name;
        if (errno != EEXIST)
            break;
    }
    error = last_system_error();
    return {};
}

}  // namespace

struct VirtualLine::Impl {
    int receiver = -1;  // the end this program reads
    int sender = -1;    // held open so that the line survives each sender's close
    std::string link;
    std::string device;
};

VirtualLine::VirtualLine() : impl_(std::make_unique<Impl>()) {}

VirtualLine::~VirtualLine()
{
    Impl& line = *impl_;
    // Only the link this line made: one that someone put in its place stays.
    if (!line.link.empty() && link_target(line.link) == line.device)
        unlink(line.link.c_str());
    if (line.sender >= 0)
        close(line.sender);
    // A sender that is still waiting for its last bytes to drain would see the line vanish
    // and report a failure: stay until it has closed its end (the receiver's end then hangs
    // up), for a second at most.
    if (line.receiver >= 0) {
        pollfd p = {line.receiver, POLLIN, 0};
        for (int waited = 0; waited < 1000; waited += 10) {
            if (poll(&p, 1, 10) > 0 && (p.revents & POLLHUP))
                break;
            std::uint8_t discard[256];
            if ((p.revents & POLLIN) && ::read(line.receiver, discard, sizeof discard) <= 0)
                break;  // the sender's end is closed (EIO on a pty) or the read failed
        }
        close(line.receiver);
    }
}

VirtualLine::Created VirtualLine::create(const std::string& link)
{
    Impl& line = *impl_;
    // What stands at the name: nothing, a link left dangling by an earlier line (its device
    // is gone: replaced), or something that is refused.
    struct stat existing;
    bool replace = false;
    if (lstat(link.c_str(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode))
            return {Created::Status::NotALink, {}, {}};
        struct stat target;
        if (stat(link.c_str(), &target) == 0)
            return {Created::Status::InUse, {}, link_target(link)};
        replace = true;
    }

    char name[128] = "";
    termios raw{};
    cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | CREAD;
    if (openpty(&line.receiver, &line.sender, name, &raw, nullptr) != 0)
        return {Created::Status::NoPair, last_system_error(), {}};
    fcntl(line.receiver, F_SETFD, FD_CLOEXEC);
    fcntl(line.sender, F_SETFD, FD_CLOEXEC);
    line.device = name;

    // The link appears whole at its name: made under a name of its own, then renamed into place
    // over the dangling one; where there is none, symlink itself refuses to replace anything.
    SystemError error;
    if (!replace) {
        if (symlink(line.device.c_str(), link.c_str()) != 0)
            return {Created::Status::LinkFailed, last_system_error(), {}};
    } else {
        std::string temporary = unique_link(line.device, link, error);
        if (temporary.empty())
            return {Created::Status::LinkFailed, error, {}};
        if (rename(temporary.c_str(), link.c_str()) != 0) {
            error = last_system_error();
            unlink(temporary.c_str());
            return {Created::Status::LinkFailed, error, {}};
        }
    }
    line.link = link;
    return {};
}

TransferResult VirtualLine::read(std::uint8_t* data, std::size_t size, int timeout_ms)
{
    return read_fd(impl_->receiver, data, size, timeout_ms);
}

const std::string& VirtualLine::device() const { return impl_->device; }

}  // namespace orvanta
