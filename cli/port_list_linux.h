#pragma once
#include <string>
#include <vector>

#include "port_list.h"

namespace orvanta {

// Where the Linux rules look. Parameters, so that a test can run the rules on a fake tree.
struct LinuxRoots {
    std::string sys = "/sys";
    std::string dev = "/dev";
    std::string proc = "/proc";
};

// The serial ports under these roots: each /dev/ttyUSB*, ttyACM*, ttyS* and ttyAMA* whose
// sysfs entry has a device behind it (an 8250 placeholder with no UART, type 0, has none
// really), with the USB device's names and serial number, the /dev/serial/by-id link, and
// whether a process holds it open.
std::vector<PortInfo> list_linux_ports(const LinuxRoots& roots, bool find_busy = true);

}  // namespace orvanta
