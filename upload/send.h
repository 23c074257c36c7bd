#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "frame.h"
#include "serial_port.h"

namespace orvanta {

struct SendOutcome {
    enum class Result {
        Sent,      // the whole frame was written
        NoFile,    // no file chosen: the port was opened, set up and closed, nothing written
        Failed,    // nothing, or not all, was written; message says what happened
    } result = Result::Failed;
    std::size_t payload = 0;   // N, the file's bytes in the frame
    std::size_t written = 0;   // bytes of the frame that went to the port
    std::string message;       // what to tell the user; empty when there is nothing to say
    std::string reason;        // the system's words when the port would not open
};

struct SendOptions {
    std::uint32_t baud = DEFAULT_BAUD;
    WriteProgress progress;                                       // bytes of the frame gone so far
    TransferBuffer (*allocate)() = allocate_transfer_buffer;     // replaced in tests
};

// The port-error message, exactly: the name as given, then " port error\n".
std::string port_error_message(const std::string& port_name);

// Sends the file at path to the named port as one upload frame: open the port, set the line,
// read the file behind the count, write the frame, release everything, and only then report.
// port is where the open port lives while the send runs; it is closed again on return.
SendOutcome send_file(SerialPort& port, const std::string& port_name, const std::string& path,
                      const SendOptions& options = {});

// A byte count with thousands separators, as the messages show it: 65,535.
std::string grouped(unsigned long long n);

}  // namespace orvanta
