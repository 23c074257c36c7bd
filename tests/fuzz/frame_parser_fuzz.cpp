// Fuzzes the receiver's frame reading. The first input byte chooses how the rest is cut into
// pieces, so that a frame split anywhere is read as it would be whole; the result is checked
// against the frame layout read straight off the bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "frame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t piece = data[0] % 16 + 1;
    const std::uint8_t* wire = data + 1;
    const std::size_t length = size - 1;

    orvanta::FrameParser parser;
    std::size_t used = 0;
    for (std::size_t at = 0; at < length && !parser.complete(); at += piece) {
        std::size_t n = length - at < piece ? length - at : piece;
        std::size_t took = parser.feed(wire + at, n);
        if (took > n || (took < n && !parser.complete()))
            std::abort();  // it stops short only once the frame is whole
        used += took;
    }

    if (length < 2) {
        if (parser.complete() || parser.started() != (length == 1))
            std::abort();
        return 0;
    }
    const std::size_t count = static_cast<std::size_t>(wire[0]) << 8 | wire[1];
    const std::size_t present = length - 2 < count ? length - 2 : count;
    if (parser.count() != count || parser.payload().size() != present ||
        parser.complete() != (length - 2 >= count) || used != 2 + present ||
        parser.remaining() != count - present)
        std::abort();
    if (std::vector<std::uint8_t>(wire + 2, wire + 2 + present) != parser.payload())
        std::abort();
    return 0;
}
