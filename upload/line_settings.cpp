#include "line_settings.h"

#include <algorithm>

namespace orvanta {

bool is_standard_rate(std::uint32_t baud)
{
    return std::find(STANDARD_RATES.begin(), STANDARD_RATES.end(), baud) != STANDARD_RATES.end();
}

std::string line_settings_text(std::uint32_t baud)
{
    return grouped(baud) +
           " baud, 8 data bits, no parity, 1 stop bit, no flow control, DTR and RTS off";
}

std::string grouped(unsigned long long n)
{
    std::string digits = std::to_string(n);
    for (std::size_t i = digits.size(); i > 3; i -= 3)
        digits.insert(i - 3, 1, ',');
    return digits;
}

}  // namespace orvanta
