#include "text.h"

#include <cstdio>
#include <cstdlib>

#include "line_settings.h"

namespace orvanta {

namespace {

bool all_digits(const std::string& text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

std::optional<std::uint32_t> parse_rate(const std::string& text)
{
    if (!all_digits(text))
        return std::nullopt;
    std::size_t first = text.find_first_not_of('0');
    std::string digits = first == std::string::npos ? "0" : text.substr(first);
    if (digits.size() > 9)
        return std::nullopt;
    auto rate = static_cast<std::uint32_t>(std::strtoul(digits.c_str(), nullptr, 10));
    if (!is_standard_rate(rate))
        return std::nullopt;
    return rate;
}

std::optional<double> parse_seconds(const std::string& text, double min, double max)
{
    std::size_t dot = text.find('.');
    std::string whole = text.substr(0, dot);
    std::string fraction = dot == std::string::npos ? std::string() : text.substr(dot + 1);
    if (whole.empty() && fraction.empty())
        return std::nullopt;
    if ((!whole.empty() && !all_digits(whole)) ||
        (dot != std::string::npos && !all_digits(fraction)) || whole.size() > 12)
        return std::nullopt;
    double value = std::strtod(text.c_str(), nullptr);
    if (!(value >= min && value <= max))
        return std::nullopt;
    return value;
}

std::string seconds_text(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g s", seconds);
    return text;
}

std::string printable(const std::string& name)
{
    if (name.empty())
        return "\"\"";
    const std::size_t first = name.find_first_not_of(' ');
    const std::size_t last = name.find_last_not_of(' ');
    std::string shown;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const auto byte = static_cast<unsigned char>(c);
        // A space at either end would not show where the name begins or ends.
        if (c == ' ' && (first == std::string::npos || i < first || i > last))
            shown += "\\x20";
        else if (c == '\n')
            shown += "\\n";
        else if (c == '\t')
            shown += "\\t";
        else if (c == '\r')
            shown += "\\r";
        else if (byte < 0x20 || byte == 0x7F) {
            char code[5];
            std::snprintf(code, sizeof code, "\\x%02X", byte);
            shown += code;
        } else {
            shown += c;
        }
    }
    return shown;
}

}  // namespace orvanta
