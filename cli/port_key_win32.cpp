// Windows port names ignore letter case, and COM3 is \\.\COM3 in the device namespace.
#include "port_names.h"

#include "port_name.h"

namespace orvanta {

std::string port_key(const std::string& name)
{
    return ascii_upper(in_device_namespace(name) ? name.substr(4) : name);
}

}  // namespace orvanta
