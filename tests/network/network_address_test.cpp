// Network port names: what is one, and what each well-formed one and malformed one comes to.
#include <gtest/gtest.h>

#include "network_address.h"

namespace orvanta {
namespace {

using P = NetworkAddress::Protocol;

TEST(NetworkAddress, WellFormedNames)
{
    const struct {
        const char* name;
        P protocol;
        const char* host;
        std::uint16_t port;
    } cases[] = {
        {"socket://127.0.0.1:3001", P::Raw, "127.0.0.1", 3001},
        {"rfc2217://localhost:2217", P::Rfc2217, "localhost", 2217},
        {"RFC2217://board-7.lab.example:1", P::Rfc2217, "board-7.lab.example", 1},
        {"socket://[::1]:65535", P::Raw, "::1", 65535},
        {"rfc2217://[fe80::1:2]:00080", P::Rfc2217, "fe80::1:2", 80},
        {"rfc2217://[::ffff:10.0.0.1]:7", P::Rfc2217, "::ffff:10.0.0.1", 7},
        // A link-local address with its zone, as people write it and as URLs do (%25).
        {"rfc2217://[fe80::1%eth0]:2217", P::Rfc2217, "fe80::1%eth0", 2217},
        {"socket://[fe80::1%25eth0]:3001", P::Raw, "fe80::1%eth0", 3001},
        {"socket://[fe80::a:b%12]:3001", P::Raw, "fe80::a:b%12", 3001},
        {"socket://[fe80::1%25en0.7]:3001", P::Raw, "fe80::1%en0.7", 3001},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(is_network_name(c.name));
        ParsedAddress parsed = parse_network_address(c.name);
        ASSERT_TRUE(parsed.address) << parsed.problem;
        EXPECT_EQ(parsed.address->protocol, c.protocol);
        EXPECT_EQ(parsed.address->host, c.host);
        EXPECT_EQ(parsed.address->port, c.port);
    }
}

TEST(NetworkAddress, MalformedNamesSayWhatIsWrong)
{
    const struct {
        const char* name;
        const char* problem;
    } cases[] = {
        {"socket://127.0.0.1", "no port"},
        {"socket://127.0.0.1:", "no port"},
        {"rfc2217://host:0", "1 to 65535"},
        {"rfc2217://host:65536", "1 to 65535"},
        {"rfc2217://host:99999999999999999999", "1 to 65535"},
        {"rfc2217://host:-1", "1 to 65535"},
        {"rfc2217://host:+80", "1 to 65535"},
        {"rfc2217://host:80/", "1 to 65535"},
        {"rfc2217://:2217", "no host"},
        {"rfc2217://", "no port"},
        {"socket://[::1:2217", "no closing bracket"},
        {"socket://[]:2217", "no address"},
        {"socket://[::1]2217", "no port"},
        {"socket://[host]:2217", "no IPv6 address"},
        {"socket://[fe80::1%]:2217", "no zone after the %"},
        {"socket://[fe80::1%eth 0]:2217", "no interface name"},
        {"socket://[fe80::1%eth0%1]:2217", "no interface name"},
        {"socket://[fe80::1%\x1B]:2217", "no interface name"},
        {"socket://[%eth0]:2217", "no address"},
        {"socket://[host%eth0]:2217", "no IPv6 address"},
        {"socket://::1:2217", "brackets"},
        {"socket://user@host:2217", "no name or address"},
        {"socket://ho st:2217", "no name or address"},
        {"socket://host\n:2217", "no name or address"},
        {"telnet://host:23", "unknown kind"},
        {"http://host:80", "unknown kind"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(is_network_name(c.name));
        ParsedAddress parsed = parse_network_address(c.name);
        EXPECT_FALSE(parsed.address);
        EXPECT_NE(parsed.problem.find(c.problem), std::string::npos) << parsed.problem;
    }
}

TEST(NetworkAddress, PortsOfThisMachineAreNoNetworkNames)
{
    for (const char* name : {"/dev/ttyUSB0", "COM3", "\\\\.\\COM10", "", "://host:1", "1x://host:1",
                             "/tmp/line:2217", "socket:/host:1"})
        EXPECT_FALSE(is_network_name(name)) << name;
}

}  // namespace
}  // namespace orvanta
