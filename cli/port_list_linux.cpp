// The serial ports of a Linux machine, from sysfs and /dev. Whether a port is busy comes from
// the open files in /proc, not from opening the port: an open raises DTR and RTS, which resets
// many boards (an Arduino, say) just for being listed. A user who is not root sees only their
// own processes' files there.
#include "port_list_linux.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <tuple>

#include <sys/stat.h>

namespace orvanta {

namespace fs = std::filesystem;

namespace {

// USB serial adapters, USB modems and boards (CDC ACM), PC UARTs (8250 family), ARM UARTs.
const char* const SERIAL_KINDS[] = {"ttyUSB", "ttyACM", "ttyS", "ttyAMA"};

// A file as the kernel knows it: a device by its number, whatever node opened it; anything
// else by its inode.
using FileId = std::tuple<bool, dev_t, ino_t>;

bool file_id(const fs::path& path, FileId& id)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return false;
    if (S_ISCHR(info.st_mode))
        id = FileId{true, info.st_rdev, 0};
    else
        id = FileId{false, info.st_dev, info.st_ino};
    return true;
}

// The entries of a folder, none when it cannot be read.
std::vector<fs::path> entries(const fs::path& folder)
{
    std::vector<fs::path> found;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        found.push_back(it->path());
    std::sort(found.begin(), found.end());
    return found;
}

// The first line of a small sysfs file, empty when there is none.
std::string read_line(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\n'))
        line.pop_back();
    return line;
}

std::string link_name(const fs::path& link)
{
    std::error_code error;
    fs::path target = fs::canonical(link, error);
    return error ? std::string() : target.filename().string();
}

bool is_serial_name(const std::string& name)
{
    for (const std::string kind : SERIAL_KINDS)
        if (name.size() > kind.size() && name.compare(0, kind.size(), kind) == 0 &&
            name.find_first_not_of("0123456789", kind.size()) == std::string::npos)
            return true;
    return false;
}

bool is_within(const fs::path& path, const fs::path& root)
{
    auto p = path.begin(), r = root.begin();
    for (; r != root.end(); ++p, ++r)
        if (p == path.end() || *p != *r)
            return false;
    return p != path.end();
}

// The kernel's 8250 driver makes a ttyS for every port number it allows; those where it found
// no UART say type 0 and cannot be used.
bool has_uart(const fs::path& tty) { return read_line(tty / "type") != "0"; }

// The driver of the device, above the serial core's own port and controller layers (whose
// drivers are called "port" and "ctrl").
std::string driver_of(fs::path device, const fs::path& sys)
{
    for (; is_within(device, sys); device = device.parent_path())
        if (link_name(device / "subsystem") != "serial-base")
            return link_name(device / "driver");
    return {};
}

// The USB device the port belongs to: the nearest folder up the device path with a vendor id.
fs::path usb_device_above(fs::path device, const fs::path& sys)
{
    std::error_code error;
    for (; is_within(device, sys); device = device.parent_path())
        if (fs::exists(device / "idVendor", error))
            return device;
    return {};
}

std::string joined(const std::string& a, const std::string& b)
{
    return a.empty() ? b : b.empty() ? a : a + " " + b;
}

// The /dev/serial/by-id link that leads to the node: it stays the same whatever order devices
// are plugged in. Compared by file_id: std::filesystem::equivalent says "not supported" for two
// character devices (libstdc++ compares only regular files and folders), so no real port matched.
std::string stable_name(const fs::path& dev, const fs::path& node)
{
    FileId port;
    if (!file_id(node, port))
        return {};
    for (const fs::path& link : entries(dev / "serial" / "by-id")) {
        FileId id;
        if (file_id(link, id) && id == port)
            return link.string();
    }
    return {};
}

// Every file that some process has open, as far as /proc shows them to us.
std::set<FileId> open_files(const fs::path& proc)
{
    std::set<FileId> files;
    for (const fs::path& process : entries(proc)) {
        std::string pid = process.filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        for (const fs::path& fd : entries(process / "fd")) {
            FileId id;
            if (file_id(fd, id))
                files.insert(id);
        }
    }
    return files;
}

PortInfo describe(const fs::path& tty, const fs::path& node, const fs::path& sys,
                  const fs::path& dev, const std::set<FileId>& held)
{
    PortInfo port;
    port.name = node.string();
    std::error_code error;
    fs::path device = fs::canonical(tty / "device", error);
    port.driver = driver_of(device, sys);
    fs::path usb = usb_device_above(device, sys);
    if (!usb.empty()) {
        port.product = joined(read_line(usb / "manufacturer"), read_line(usb / "product"));
        port.usb_id = read_line(usb / "idVendor") + ":" + read_line(usb / "idProduct");
        port.serial_number = read_line(usb / "serial");
    }
    port.stable_name = stable_name(dev, node);
    FileId id;
    port.busy = file_id(node, id) && held.count(id) > 0;
    return port;
}

}  // namespace

std::vector<PortInfo> list_linux_ports(const LinuxRoots& roots, bool find_busy)
{
    std::error_code error;
    const fs::path sys = fs::canonical(roots.sys, error);
    if (error)
        return {};
    const fs::path dev(roots.dev);
    const std::set<FileId> held = find_busy ? open_files(roots.proc) : std::set<FileId>();
    std::vector<PortInfo> ports;
    for (const fs::path& tty : entries(sys / "class" / "tty")) {
        const std::string name = tty.filename().string();
        const fs::path node = dev / name;
        if (is_serial_name(name) && fs::exists(tty / "device", error) && has_uart(tty) &&
            fs::exists(node, error))
            ports.push_back(describe(tty, node, sys, dev, held));
    }
    sort_by_name(ports);
    return ports;
}

std::vector<PortInfo> list_ports(bool find_busy)
{
    return list_linux_ports(LinuxRoots{}, find_busy);
}

}  // namespace orvanta
