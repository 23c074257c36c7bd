#pragma once
// The send of one frame to the ports a send command names. One port is sent to on the calling
// thread, its progress on one line. Several are sent to all at once, one thread each, so that a
// port that fails, is busy or stalls neither stops nor slows the others; every thread reads the
// one frame, which nobody changes while they run.
#include <cstdint>
#include <vector>

#include "commands.h"
#include "send.h"
#include "stop_signals.h"

namespace orvanta {

// Sends frame to each port of args (waiting for absent ones as args.wait_port says) and returns
// each port's outcome, in the order of args.ports. While stderr is a terminal and the command is
// not quiet, progress shows there: one line, or one line per port redrawn in place.
std::vector<SendOutcome> send_to_ports(const SendArgs& args, const std::vector<std::uint8_t>& frame,
                                       const StopSignals& stop);

}  // namespace orvanta
