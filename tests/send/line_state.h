#pragma once
// What a test reads back of a line after a send: the settings a receiver would see.
#include <cstdint>

namespace orvanta::test {

struct LineState {
    std::uint32_t baud = 0;  // 115200, or 0 for any other speed
    int data_bits = 0;       // 8, or 0 for any other size
    bool parity = true;
    bool two_stop_bits = true;
    bool hardware_flow = true;
    bool software_flow = true;
    bool raw = true;  // no translation of bytes on the way (POSIX only)
};

}  // namespace orvanta::test
