#pragma once
// The one place the command line makes the object a port name is reached through.
#include <memory>
#include <string>

#include "serial_port.h"

namespace orvanta {

// The port object for a name the user gave (-p, ORVANTA_PORT); not opened yet.
inline std::unique_ptr<SerialPort> make_port(const std::string& /*name*/)
{
    return std::make_unique<SerialPort>();
}

}  // namespace orvanta
