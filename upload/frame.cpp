#include "frame.h"

#include <algorithm>
#include <new>

namespace orvanta {

TransferBuffer allocate_transfer_buffer()
{
    return TransferBuffer(new (std::nothrow) std::uint8_t[MAX_UPLOAD_BUFFER]);
}

void put_count(std::uint8_t* frame, std::size_t n)
{
    frame[0] = static_cast<std::uint8_t>((n >> 8) & 0xFF);
    frame[1] = static_cast<std::uint8_t>(n & 0xFF);
}

std::vector<std::uint8_t> encode_frame(const std::vector<std::uint8_t>& payload)
{
    std::vector<std::uint8_t> frame(payload.size() + 2);
    put_count(frame.data(), payload.size());
    std::copy(payload.begin(), payload.end(), frame.begin() + 2);
    return frame;
}

std::size_t FrameParser::remaining() const
{
    if (header_ < 2)
        return 2 - header_;
    return count_ - payload_.size();
}

std::size_t FrameParser::feed(const std::uint8_t* data, std::size_t size)
{
    std::size_t used = 0;
    while (used < size && header_ < 2) {
        count_ = (count_ << 8) | data[used++];
        ++header_;
    }
    if (header_ == 2 && used < size) {
        std::size_t take = count_ - payload_.size();
        if (take > size - used)
            take = size - used;
        payload_.insert(payload_.end(), data + used, data + used + take);
        used += take;
    }
    return used;
}

}  // namespace orvanta
