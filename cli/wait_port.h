#pragma once
// --wait-port: a port that is not there yet (a USB adapter not plugged in, a board still
// enumerating) is waited for instead of failing at once.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "send.h"

namespace orvanta {

// How often a missing port is looked for again.
constexpr unsigned PORT_LOOK_INTERVAL_MS = 100;

// Sends frame as send_frame does. While the port is absent or refuses this user (Permission
// denied: udev sets a new node's mode a moment after making it), and wait_seconds allows (nothing:
// no wait; WAIT_FOREVER: until stopped), it looks again every PORT_LOOK_INTERVAL_MS; keep_waiting
// is called before each wait, and when it says no the wait ends as if the time were up. A stop
// while waiting gives Stopped with nothing written; a port still absent or refused when the
// time is up gives its PortFailed.
SendOutcome send_when_present(Port& port, const std::string& name,
                              const std::vector<std::uint8_t>& frame, const SendOptions& options,
                              std::optional<double> wait_seconds,
                              const std::function<bool()>& keep_waiting);

}  // namespace orvanta
