#pragma once
// Private to the POSIX sources of this folder (the serial port and the virtual line): waiting for
// and reading bytes on a descriptor. Nothing outside them sees a descriptor.
#include <cstddef>
#include <cstdint>

#include "serial_port.h"

namespace orvanta {

// Reads up to size bytes from fd, waiting at most timeout_ms for the first (-1: no limit).
// A count of 0 with no error means the time ran out.
TransferResult read_fd(int fd, std::uint8_t* data, std::size_t size, int timeout_ms);

}  // namespace orvanta
