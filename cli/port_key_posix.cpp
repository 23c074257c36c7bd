// A device reached through links (/dev/serial/by-id/..., a virtual line's link) is the file the
// links end at; a name that resolves to nothing stays as given.
#include "port_names.h"

#include <climits>
#include <cstdlib>

namespace orvanta {

std::string port_key(const std::string& name)
{
    char resolved[PATH_MAX];
    if (name.find("://") == std::string::npos && realpath(name.c_str(), resolved))
        return resolved;
    return name;
}

}  // namespace orvanta
