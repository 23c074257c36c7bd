#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "frame.h"
#include "serial_port.h"

namespace orvanta {

struct SendOutcome {
    enum class Result {
        Sent,      // the whole frame was written
        NoFile,    // no file chosen: the port was opened, set up and closed, nothing written
        Failed,    // nothing, or not all, was written; message says what happened
        Stopped,   // the watch's stop flag ended the write part-way; message says how far it got
    } result = Result::Failed;
    std::size_t payload = 0;   // N, the file's bytes in the frame
    std::size_t written = 0;   // bytes of the frame that went out on the line
    std::string message;       // what to tell the user; empty when there is nothing to say
    std::string reason;        // the system's words when the port would not open
};

struct SendOptions {
    std::uint32_t baud = DEFAULT_BAUD;
    // Set by the command line: the write can be followed and stopped (WriteMode::Watched).
    // Without it the frame goes out in one plain blocking write, as the dialog sends it.
    std::optional<WriteWatch> watch;
    TransferBuffer (*allocate)() = allocate_transfer_buffer;     // replaced in tests
};

// The port-error message, exactly: the name as given, then " port error\n".
std::string port_error_message(const std::string& port_name);

// Sends the file at path to the named port as one upload frame: open the port, set the line,
// read the file behind the count, write the frame, release everything, and only then report.
// port is where the open port lives while the send runs; it is closed again on return.
SendOutcome send_file(SerialPort& port, const std::string& port_name, const std::string& path,
                      const SendOptions& options = {});

// The line settings in words, as messages show them: "115,200 baud, 8 data bits, ...".
std::string line_settings_text(std::uint32_t baud);

// A byte count with thousands separators, as the messages show it: 65,535.
std::string grouped(unsigned long long n);

}  // namespace orvanta
