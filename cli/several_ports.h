#pragma once
// The send of one frame to the ports a send command names. One port is sent to on the calling
// thread, its progress on one line. Several are sent to all at once, one thread each, so that a
// port that fails, is busy or stalls neither stops nor slows the others; every thread reads the
// one frame, which nobody changes while they run.
#include <cstdint>
#include <functional>
#include <vector>

#include "commands.h"
#include "send.h"
#include "stop_signals.h"

namespace orvanta {

// What a watch adds to a send, which must never wait for ever on one port while the file moves
// on. give_up_stalled: a port's send that has made no progress for the frame's line time plus
// STALL_GRACE_MS (plus twice the connect timeout, for a network port) is ended and fails as
// stalled. superseded: looked at while a port is waited for (--wait-port); once it says the
// frame is out of date, the wait ends with the port's last failure.
struct SendLimits {
    bool give_up_stalled = false;
    std::function<bool()> superseded;
};

constexpr unsigned STALL_GRACE_MS = 5000;

// Sends frame to each port of args (waiting for absent ones as args.wait_port says) and returns
// each port's outcome, in the order of args.ports. While stderr is a terminal and the command is
// not quiet, progress shows there: one line, or one line per port redrawn in place.
std::vector<SendOutcome> send_to_ports(const SendArgs& args, const std::vector<std::uint8_t>& frame,
                                       const StopSignals& stop, const SendLimits& limits = {});

}  // namespace orvanta
