#pragma once
#include <cstdint>
#include <string>

namespace orvanta {

// What --verbose adds before a command uses a port, on stderr: the port with what identifies
// the device behind it, and the line settings the command applies.
void report_port_and_line(const std::string& port, std::uint32_t baud);

}  // namespace orvanta
