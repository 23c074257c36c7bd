#pragma once
// send --watch: the edit-build-send loop. The file is sent, then sent again each time it changes
// and settles, until the user stops it. The ports are free between two sends (a terminal program
// may look at the target meanwhile), a send that fails is reported and the watch goes on, and a
// file rewritten with the same bytes is not sent again.
#include "commands.h"
#include "stop_signals.h"

namespace orvanta {

// Runs the watch until stopped (the exit status of the stop) or until the output cannot be
// written (EXIT_FAILED).
int watch_and_send(const SendArgs& args, const StopSignals& stop);

}  // namespace orvanta
