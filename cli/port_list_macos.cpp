// The serial ports of a Mac: its /dev/cu.* devices (the call-out side, which opens without
// waiting for a carrier). macOS keeps no record of who holds a port, so whether one is busy
// is found by opening it for a moment: a holder that set TIOCEXCL refuses the open with EBUSY,
// and one that holds a lock on it (another orvanta-cli, say) refuses our lock.
#include "port_list.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <unistd.h>

namespace orvanta {

namespace {

struct FolderCloser {
    void operator()(DIR* d) const { closedir(d); }
};

bool held_elsewhere(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EBUSY;
    bool locked = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return locked;
}

}  // namespace

std::vector<PortInfo> list_ports(bool find_busy)
{
    std::vector<PortInfo> ports;
    std::unique_ptr<DIR, FolderCloser> dev(opendir("/dev"));
    if (!dev)
        return ports;
    while (const dirent* entry = readdir(dev.get())) {
        std::string name = entry->d_name;
        if (name.compare(0, 3, "cu.") != 0)
            continue;
        PortInfo port;
        port.name = "/dev/" + name;
        port.busy = find_busy && held_elsewhere(port.name);
        ports.push_back(port);
    }
    sort_by_name(ports);
    return ports;
}

}  // namespace orvanta
