// Windows port names ignore letter case, and COM3 is \\.\COM3 in the device namespace.
#include "port_names.h"

#include <cctype>

namespace orvanta {

std::string port_key(const std::string& name)
{
    std::string key = name;
    if (key.compare(0, 4, "\\\\.\\") == 0 || key.compare(0, 4, "//./") == 0)
        key.erase(0, 4);
    for (char& c : key)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return key;
}

}  // namespace orvanta
