#include "port_list.h"

#include <algorithm>
#include <cctype>

#include "port_names.h"
#include "text.h"

namespace orvanta {

namespace {

bool is_digit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Digits from i up to the first non-digit, without leading zeros.
std::string number_at(const std::string& s, std::size_t& i)
{
    std::size_t start = i;
    while (i < s.size() && is_digit(s[i]))
        ++i;
    std::size_t first = s.find_first_not_of('0', start);
    return first < i ? s.substr(first, i - first) : std::string();
}

bool natural_less(const std::string& a, const std::string& b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (is_digit(a[i]) && is_digit(b[j])) {
            // Without leading zeros, the longer number is the larger.
            std::string x = number_at(a, i), y = number_at(b, j);
            if (x.size() != y.size())
                return x.size() < y.size();
            if (x != y)
                return x < y;
        } else if (a[i] != b[j]) {
            return a[i] < b[j];
        } else {
            ++i;
            ++j;
        }
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j;
    return a < b;  // equal as numbers ("COM02", "COM2"): still one order
}

}  // namespace

std::string port_identity(const PortInfo& port)
{
    std::string text;
    // What a device says of itself reaches the terminal escaped, as every name does.
    auto add = [&text](const std::string& label, const std::string& value) {
        if (!value.empty())
            text += (text.empty() ? "" : ", ") + label + printable(value);
    };
    add("", port.product);
    add("USB ", port.usb_id);
    add("serial number ", port.serial_number);
    add("driver ", port.driver);
    add("", port.stable_name);
    return text;
}

std::string port_line(const PortInfo& port)
{
    std::string line = printable(port.name);
    if (port.busy)
        line += " (busy)";
    std::string identity = port_identity(port);
    if (!identity.empty())
        line += "  " + identity;
    return line;
}

std::optional<PortInfo> find_port(const std::string& name)
{
    const std::string key = port_key(name);
    for (PortInfo& port : list_ports(false))
        if (port_key(port.name) == key)
            return port;
    return std::nullopt;
}

void sort_by_name(std::vector<PortInfo>& ports)
{
    std::sort(ports.begin(), ports.end(),
              [](const PortInfo& a, const PortInfo& b) { return natural_less(a.name, b.name); });
}

}  // namespace orvanta
