#pragma once
// Port names that reach a serial server on the network instead of a port of this machine:
//   socket://HOST:PORT    a raw TCP connection; the server has set its line up itself
//   rfc2217://HOST:PORT   Telnet with the COM-PORT option: this program sets the line
// HOST is a name, an IPv4 address or an IPv6 address in brackets; PORT is 1 to 65535. A
// link-local IPv6 address takes its zone (the interface) after a % (in URLs %25):
// [fe80::1%eth0], [fe80::1%25eth0].
#include <cstdint>
#include <optional>
#include <string>

namespace orvanta {

struct NetworkAddress {
    enum class Protocol { Raw, Rfc2217 } protocol = Protocol::Raw;
    std::string host;  // without brackets; a zone after % (fe80::1%eth0), as the resolver takes it
    std::uint16_t port = 0;
};

// Whether a name is meant as a network address: it begins with a scheme and "://". Such a name
// is never tried as a device, whatever follows.
bool is_network_name(const std::string& name);

struct ParsedAddress {
    std::optional<NetworkAddress> address;
    std::string problem;  // what is wrong with the name, when there is no address
};

// Reads a network port name; the problem says what is wrong with a malformed one.
ParsedAddress parse_network_address(const std::string& name);

}  // namespace orvanta
