#include "virtual_line.h"

namespace orvanta {

struct VirtualLine::Impl {
    std::string device;
};

VirtualLine::VirtualLine() : impl_(std::make_unique<Impl>()) {}

VirtualLine::~VirtualLine() = default;

VirtualLine::Created VirtualLine::create(const std::string&)
{
    return {Created::Status::Unsupported, {}, {}};
}

TransferResult VirtualLine::read(std::uint8_t*, std::size_t, int) { return {}; }

const std::string& VirtualLine::device() const { return impl_->device; }

}  // namespace orvanta
