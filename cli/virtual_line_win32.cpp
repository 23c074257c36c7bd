#include "virtual_line.h"

namespace orvanta {

VirtualLine::~VirtualLine() = default;

std::string VirtualLine::create(const std::string&)
{
    return "--virtual needs pseudo-terminals, which Windows does not have; "
           "use a pair of virtual COM ports and -p instead";
}

TransferResult VirtualLine::read(std::uint8_t*, std::size_t, int) { return {}; }

}  // namespace orvanta
