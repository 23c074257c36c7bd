#include "system_error.h"

#include <cerrno>
#include <cstring>

namespace orvanta {

SystemError errno_error(int code) { return {code, std::strerror(code)}; }

SystemError last_system_error() { return errno_error(errno); }

// ENODEV and ENXIO: the name is there but no device answers behind it yet.
bool means_absent(const SystemError& error)
{
    return error.code == ENOENT || error.code == ENODEV || error.code == ENXIO;
}

bool means_not_permitted(const SystemError& error)
{
    return error.code == EACCES || error.code == EPERM;
}

}  // namespace orvanta
