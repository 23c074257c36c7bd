#pragma once
// The ports a send names: -p given several times, or ORVANTA_PORT with names between commas.
#include <optional>
#include <string>
#include <vector>

namespace orvanta {

// The names of a comma-separated list ("/dev/ttyUSB0,/dev/ttyUSB1"); nothing when a name is
// empty (",", "a,,b", a trailing comma).
std::optional<std::vector<std::string>> split_port_list(const std::string& text);

// The first name that reaches a port named before it, if any: the same name, or another for the
// same device (a /dev/serial/by-id/ link and the device it points to; COM3 and \\.\com3).
std::optional<std::string> repeated_port(const std::vector<std::string>& names);

// What a name comes to as a device: equal keys reach the same port (port_key_posix.cpp,
// port_key_win32.cpp).
std::string port_key(const std::string& name);

}  // namespace orvanta
