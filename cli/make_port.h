#pragma once
// The one place the command line makes the object a port name is reached through.
#include <memory>
#include <string>

#include "network_address.h"
#include "network_port.h"
#include "port.h"
#include "serial_port.h"

namespace orvanta {

struct PortOptions {
    int connect_timeout_ms = DEFAULT_CONNECT_TIMEOUT_MS;  // network ports only
};

// The port object for a name the user gave (-p, ORVANTA_PORT); not opened yet: a network port
// for socket:// and rfc2217:// names, a serial port of this machine for any other.
inline std::unique_ptr<Port> make_port(const std::string& name, const PortOptions& options = {})
{
    if (is_network_name(name))
        return std::make_unique<NetworkPort>(options.connect_timeout_ms);
    return std::make_unique<SerialPort>();
}

}  // namespace orvanta
