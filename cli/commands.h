#pragma once
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "line_settings.h"

namespace orvanta {

// Exit statuses of orvanta-cli; a stop by a signal exits with 128 plus its number (130 for
// Ctrl-C, 143 for SIGTERM, 129 for SIGHUP).
constexpr int EXIT_DONE = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;

// The longest time --timeout and --wait take: a million seconds (11.5 days).
constexpr double MAX_SECONDS = 1e6;

// The longest --connect-timeout: an hour.
constexpr double MAX_CONNECT_SECONDS = 3600;
// The connection time-out unless --connect-timeout says otherwise.
constexpr double DEFAULT_CONNECT_SECONDS = 3;

// How much a command says: Quiet only errors, Verbose also the line settings and the port's
// identity.
enum class Verbosity { Quiet, Normal, Verbose };

// --wait-port without a time: wait until the user stops it.
constexpr double WAIT_FOREVER = -1;

struct SendArgs {
    std::vector<std::string> ports;  // one or more, each a different port
    std::string file;
    std::uint32_t baud = DEFAULT_BAUD;
    double connect_timeout = DEFAULT_CONNECT_SECONDS;  // seconds, for a network port
    Verbosity verbosity = Verbosity::Normal;
    bool watch = false;               // send again each time the file changes, until stopped
    std::optional<double> wait_port;  // seconds to wait for a port to appear (WAIT_FOREVER)
};

struct ReceiveArgs {
    std::string port;          // a real port, or
    std::string virtual_link;  // a virtual line reached through this link
    std::string output;        // where to write the payload
    std::string expect;        // the file the payload should equal
    double timeout = 2.0;      // seconds of silence, once a frame has begun, that end it
    double wait = -1;          // seconds to wait for the frame to begin (-1: no limit)
    std::uint32_t baud = DEFAULT_BAUD;
    double connect_timeout = DEFAULT_CONNECT_SECONDS;  // seconds, for a network port
    Verbosity verbosity = Verbosity::Normal;
};

// Seconds of an option as the milliseconds a wait takes; a negative time (no limit) stays -1.
inline int milliseconds(double seconds)
{
    return seconds < 0 ? -1 : static_cast<int>(std::lround(seconds * 1000));
}

int run_send(const SendArgs& args);
int run_receive(const ReceiveArgs& args);
int run_ports(Verbosity verbosity);

}  // namespace orvanta
