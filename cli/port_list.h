#pragma once
#include <optional>
#include <string>
#include <vector>

namespace orvanta {

// A serial port of this machine, and what identifies the device behind it. Fields the platform
// does not tell are empty.
struct PortInfo {
    std::string name;           // what -p takes: /dev/ttyUSB0, /dev/cu.usbserial-A1, COM3
    std::string product;        // maker and product as the device names them
    std::string usb_id;         // USB vendor and product number: "0403:6001"
    std::string serial_number;  // the device's own serial number
    std::string driver;         // the driver (Linux) or the device object (Windows)
    std::string stable_name;    // a name that stays with this device: /dev/serial/by-id/...
    bool busy = false;          // another program holds it
};

// The serial ports of this machine, in natural order (COM2 before COM10). One source file per
// platform implements it. Without find_busy no port is looked at to see whether it is held
// (on macOS and Windows that takes opening it).
std::vector<PortInfo> list_ports(bool find_busy = true);

// What `ports` prints for a port: its name, "(busy)" when held, then its identity.
std::string port_line(const PortInfo& port);

// Everything known of the port but its name: "FTDI FT232R USB UART, USB 0403:6001, ...".
std::string port_identity(const PortInfo& port);

// The port of list_ports() that name reaches: the same name, or on POSIX another path to the
// same device (a /dev/serial/by-id link, say).
std::optional<PortInfo> find_port(const std::string& name);

// Puts ports in the natural order of their names: runs of digits compare as numbers.
void sort_by_name(std::vector<PortInfo>& ports);

}  // namespace orvanta
