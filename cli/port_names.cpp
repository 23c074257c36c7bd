#include "port_names.h"

#include <algorithm>

namespace orvanta {

std::optional<std::vector<std::string>> split_port_list(const std::string& text)
{
    std::vector<std::string> names;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = text.find(',', from);
        std::string name = text.substr(from, comma == std::string::npos ? comma : comma - from);
        if (name.empty())
            return std::nullopt;
        names.push_back(std::move(name));
        if (comma == std::string::npos)
            return names;
        from = comma + 1;
    }
}

std::optional<std::string> repeated_port(const std::vector<std::string>& names)
{
    std::vector<std::string> keys;
    for (const std::string& name : names) {
        std::string key = port_key(name);
        if (std::find(keys.begin(), keys.end(), key) != keys.end())
            return name;
        keys.push_back(std::move(key));
    }
    return std::nullopt;
}

}  // namespace orvanta
