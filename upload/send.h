#pragma once
// The send operation: a frame onto a named port, everything released before it returns, and one
// outcome that says what happened with its facts. The dialog and the command line word it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "frame.h"
#include "input_file.h"
#include "line_settings.h"
#include "serial_port.h"

namespace orvanta {

struct SendOutcome {
    enum class Kind {
        Sent,            // the whole frame went out
        NoFile,          // no file chosen: the port was opened, set up and closed, nothing written
        PortFailed,      // the port would not open: error
        NotSerial,       // the name opens something that is not a serial port
        NotAFile,        // the file is a folder, device, pipe or socket
        FileOpenFailed,  // error
        FileReadFailed,  // error
        FileTooLarge,    // file_size
        NoMemory,        // the transfer buffer could not be allocated
        SettingsRejected,  // the port refused the line settings (error), and nothing was written
        WriteFailed,       // written of total went out; error, when the system gave one
        Stopped,           // the stop flag ended the send; written of total went out
    } kind = Kind::PortFailed;
    std::size_t payload = 0;           // N, the file's bytes in the frame
    std::size_t total = 0;             // the frame's length, N + 2, once there is a frame
    std::size_t written = 0;           // bytes of the frame that went out on the line
    unsigned long long file_size = 0;  // with FileTooLarge
    std::optional<SystemError> error;  // the system's reason, where the kind has one
    // The dialog's send writes the frame even when the port refused the line settings; then
    // this holds the port's reason, beside what happened to the frame.
    std::optional<SystemError> settings_error;

    bool succeeded() const { return kind == Kind::Sent && !settings_error; }
};

struct SendOptions {
    std::uint32_t baud = DEFAULT_BAUD;
    // Set by the command line: the write can be followed and stopped (WriteMode::Watched).
    // Without it the frame goes out in one plain blocking write, as the dialog sends it.
    std::optional<WriteWatch> watch;
    TransferBuffer (*allocate)() = allocate_transfer_buffer;  // replaced in tests
};

// The dialog's send: open the port, set the line, read the file behind the count, write the
// frame, release everything. Line settings the port refuses do not stop it: the frame is written
// and the refusal reported with it. The port is closed again on every way out, an exception
// included.
SendOutcome send_file(const std::string& port_name, const std::string& path,
                      const SendOptions& options = {});

// The command line's send of a frame already read (its file was checked before any port was
// touched): open the port, set the line, write. Line settings the port refuses stop it before
// any byte goes out. port is the object the line is reached through; it is closed again on every
// way out.
SendOutcome send_frame(Port& port, const std::string& port_name,
                       const std::vector<std::uint8_t>& frame, const SendOptions& options = {});

// What a file that gave no frame comes to as an outcome.
SendOutcome::Kind file_problem_kind(FileStatus status);

}  // namespace orvanta
