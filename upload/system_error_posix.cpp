#include "system_error.h"

#include <cerrno>
#include <cstring>

namespace orvanta {

SystemError errno_error(int code) { return {code, std::strerror(code)}; }

SystemError last_system_error() { return errno_error(errno); }

}  // namespace orvanta
