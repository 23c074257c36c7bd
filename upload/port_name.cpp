#include "port_name.h"

#include <cctype>

namespace orvanta {

std::string ascii_upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

bool in_device_namespace(const std::string& name)
{
    return name.compare(0, 4, "\\\\.\\") == 0 || name.compare(0, 4, "//./") == 0;
}

std::string win32_device_path(const std::string& name)
{
    if (name.size() < 5 || ascii_upper(name.substr(0, 3)) != "COM")
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
