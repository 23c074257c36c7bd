#include "port_name.h"

#include <cctype>

namespace orvanta {

std::string win32_device_path(const std::string& name)
{
    auto upper = [](char c) {
        return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    };
    if (name.size() < 5 || upper(name[0]) != 'C' || upper(name[1]) != 'O' || upper(name[2]) != 'M')
        return name;
    for (std::size_t i = 3; i < name.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return name;
    // n >= 10 when two or more digits remain after any leading zeros.
    std::size_t first = name.find_first_not_of('0', 3);
    if (first == std::string::npos || name.size() - first < 2)
        return name;
    return "\\\\.\\" + name;
}

}  // namespace orvanta
