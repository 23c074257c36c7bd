#include "system_error.h"

#include <cstring>

namespace orvanta {

SystemError errno_error(int code) { return {code, std::strerror(code)}; }

}  // namespace orvanta
