#pragma once
// The send command's words for what happened: the file's problems, each port's outcome, and
// the exit status they come to (send_command.cpp).
#include <string>
#include <vector>

#include "commands.h"
#include "input_file.h"
#include "send.h"
#include "stop_signals.h"

namespace orvanta {

// Why the file gives no frame; the ports are not touched then.
std::string file_problem(const FileContents& file, const std::string& path);

// Reports the outcome of one frame's send to each port of args (in their order), each line
// starting with prefix, and returns the exit status: 0 when every port got the frame, 128 plus
// the signal's number when a stop ended a send, else 1.
int report_outcomes(const SendArgs& args, const std::vector<SendOutcome>& outcomes,
                    const StopSignals& stop, const std::string& prefix = {});

}  // namespace orvanta
