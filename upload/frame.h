#pragma once
// The upload frame, the whole of what goes on the line for one file: the payload's size N as two
// bytes, high byte first, then the N bytes unchanged. Its encoder and its decoder live here, and
// the sender, the receiver, the fuzz target and the tests all use them.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace orvanta {

// The transfer buffer: the two count bytes and the payload read behind them.
constexpr std::size_t MAX_UPLOAD_BUFFER = 0x100000;
// What one read of the file may take: the buffer less the two count bytes.
constexpr std::size_t MAX_READ = MAX_UPLOAD_BUFFER - 2;
// What the 16-bit count can describe; a longer file is refused.
constexpr std::size_t MAX_PAYLOAD = 0xFFFF;

using TransferBuffer = std::unique_ptr<std::uint8_t[]>;

// Allocates a transfer buffer, left uncleared; null when memory is short.
TransferBuffer allocate_transfer_buffer();

// Stores the payload size n big-endian in the first two bytes of a frame.
void put_count(std::uint8_t* frame, std::size_t n);

// The frame of a payload of at most MAX_PAYLOAD bytes: the count, then the bytes.
std::vector<std::uint8_t> encode_frame(const std::vector<std::uint8_t>& payload);

// Takes the bytes of one upload frame as they arrive: the count, then that many payload bytes.
// Bytes after the frame are left to the caller.
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
    std::size_t header_ = 0;  // count bytes seen (0 to 2)
    std::size_t count_ = 0;
    std::vector<std::uint8_t> payload_;
};

}  // namespace orvanta
