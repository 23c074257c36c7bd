#include "network_address.h"

#include <cctype>

namespace orvanta {

namespace {

std::string lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The scheme of a name that has one ("socket" of "socket://..."), else "".
std::string scheme_of(const std::string& name)
{
    std::size_t end = name.find("://");
    if (end == std::string::npos || end == 0)
        return {};
    for (std::size_t i = 0; i < end; ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (!std::isalpha(c) && !(i > 0 && (std::isdigit(c) || c == '+' || c == '-' || c == '.')))
            return {};
    }
    return lower(name.substr(0, end));
}

bool is_name_character(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return std::isalnum(byte) || c == '-' || c == '.' || c == '_';
}

bool is_ipv6_character(char c)
{
    return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.';
}

// An interface's name or number after the % of a link-local address (eth0, en0, 12).
bool is_zone_character(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_' ||
           c == '~';
}

// The address in brackets, with the zone of a link-local address as the resolver takes it
// (fe80::1%eth0); URLs write the % as %25, and both are taken.
std::optional<std::string> read_bracketed(const std::string& inside, std::string& problem)
{
    std::string address = inside, zone;
    bool zoned = false;
    if (std::size_t percent = inside.find('%'); percent != std::string::npos) {
        zoned = true;
        address = inside.substr(0, percent);
        zone = inside.substr(percent + 1);
        if (zone.compare(0, 2, "25") == 0 && zone.size() > 2)
            zone = zone.substr(2);
        if (zone.empty()) {
            problem = "no zone after the % (write [fe80::1%eth0])";
            return std::nullopt;
        }
        for (char c : zone)
            if (!is_zone_character(c)) {
                problem = "the zone after the % is no interface name or number";
                return std::nullopt;
            }
    }
    if (address.empty()) {
        problem = "the brackets hold no address";
        return std::nullopt;
    }
    for (char c : address)
        if (!is_ipv6_character(c)) {
            problem = "the brackets hold no IPv6 address";
            return std::nullopt;
        }
    if (address.find(':') == std::string::npos) {
        problem = "the brackets hold no IPv6 address";
        return std::nullopt;
    }
    return zoned ? address + "%" + zone : address;
}

// The port number: decimal digits, 1 to 65535.
std::optional<std::uint16_t> parse_port(const std::string& text)
{
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    unsigned long value = std::stoul(text);
    if (value < 1 || value > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

ParsedAddress failed(std::string problem) { return {std::nullopt, std::move(problem)}; }

}  // namespace

bool is_network_name(const std::string& name) { return !scheme_of(name).empty(); }

ParsedAddress parse_network_address(const std::string& name)
{
    const std::string scheme = scheme_of(name);
    NetworkAddress address;
    if (scheme == "socket")
        address.protocol = NetworkAddress::Protocol::Raw;
    else if (scheme == "rfc2217")
        address.protocol = NetworkAddress::Protocol::Rfc2217;
    else
        return failed("unknown kind of address (socket:// and rfc2217:// are known)");

    std::string rest = name.substr(name.find("://") + 3);
    std::string port_text;
    if (!rest.empty() && rest[0] == '[') {
        std::size_t close = rest.find(']');
        if (close == std::string::npos)
            return failed("the IPv6 address has no closing bracket");
        std::string problem;
        std::optional<std::string> host = read_bracketed(rest.substr(1, close - 1), problem);
        if (!host)
            return failed(problem);
        address.host = *host;
        std::string after = rest.substr(close + 1);
        if (after.empty() || after[0] != ':')
            return failed("no port: write HOST:PORT");
        port_text = after.substr(1);
    } else {
        std::size_t colon = rest.rfind(':');
        if (colon == std::string::npos)
            return failed("no port: write HOST:PORT");
        address.host = rest.substr(0, colon);
        port_text = rest.substr(colon + 1);
        if (address.host.empty())
            return failed("no host: write HOST:PORT");
        if (address.host.find(':') != std::string::npos)
            return failed("an IPv6 address goes in brackets: [ADDRESS]:PORT");
        for (char c : address.host)
            if (!is_name_character(c))
                return failed("the host is no name or address");
    }
    if (port_text.empty())
        return failed("no port: write HOST:PORT");
    std::optional<std::uint16_t> port = parse_port(port_text);
    if (!port)
        return failed("the port must be a number from 1 to 65535");
    address.port = *port;
    return {address, {}};
}

}  // namespace orvanta
