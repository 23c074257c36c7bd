#include "frame_parser.h"

namespace orvanta {

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
