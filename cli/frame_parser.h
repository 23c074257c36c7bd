#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvanta {

// Takes the bytes of one upload frame as they arrive: the big-endian 16-bit count, then that
// many payload bytes. Bytes after the frame are left to the caller.
class FrameParser {
public:
    // Takes bytes from data and returns how many belonged to the frame.
    std::size_t feed(const std::uint8_t* data, std::size_t size);

    bool started() const { return header_ > 0; }
    bool complete() const { return header_ == 2 && payload_.size() == count_; }
    // Bytes to ask for next: the missing count bytes, then the missing payload.
    std::size_t remaining() const;

    std::size_t count() const { return count_; }  // valid once both count bytes have come
    bool has_count() const { return header_ == 2; }
    const std::vector<std::uint8_t>& payload() const { return payload_; }

private:
    std::size_t header_ = 0;   // count bytes seen (0 to 2)
    std::size_t count_ = 0;
    std::vector<std::uint8_t> payload_;
};

}  // namespace orvanta
