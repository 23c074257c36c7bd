#pragma once
// Reading the numbers users type, and showing the names they gave.
#include <cstdint>
#include <optional>
#include <string>

namespace orvanta {

// A rate as people write it: decimal digits only ("0115200" is 115,200, never octal), one of
// the standard rates. Nothing for anything else.
std::optional<std::uint32_t> parse_rate(const std::string& text);

// Seconds as people write them: decimal digits with an optional fraction ("2", "0.5", ".5"),
// from min to max. Nothing for anything else (signs, exponents, hex, "nan", "inf").
std::optional<double> parse_seconds(const std::string& text, double min, double max);

// Seconds as a message shows them: "2 s", "0.5 s".
std::string seconds_text(double seconds);

// A name as a message may show it: control characters (a line feed, an escape that would steer
// the terminal) are written as \n, \t, \r or \xHH, so a message stays one line of plain text;
// spaces at either end as \x20 and an empty name as "", so the name shows where it is.
std::string printable(const std::string& name);

}  // namespace orvanta
