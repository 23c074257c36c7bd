#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace orvanta {

// What a sender puts on the line besides the speed is fixed: 8 data bits, no parity, one stop
// bit, no flow control, DTR and RTS off. The speed is this unless the user asks for another.
constexpr std::uint32_t DEFAULT_BAUD = 115200;

// The rates a user may ask for: the standard ones that serial drivers offer. The command line's
// --baud takes exactly these; its manual page and completion list them (a test holds them to it).
// A platform that cannot set one of them refuses it when the port is configured.
constexpr std::array<std::uint32_t, 23> STANDARD_RATES = {
    50,   75,    110,   134,   150,    200,    300,    600,    1200,   1800,    2400,   4800,
    9600, 19200, 38400, 57600, 115200, 230400, 460800, 500000, 921600, 1000000, 2000000};

bool is_standard_rate(std::uint32_t baud);

// The line settings in words, as messages show them: "115,200 baud, 8 data bits, ...".
std::string line_settings_text(std::uint32_t baud);

// A count with thousands separators, as messages show it: 65,535.
std::string grouped(unsigned long long n);

}  // namespace orvanta
