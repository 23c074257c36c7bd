#include "send.h"

#include "input_file.h"

namespace orvanta {

namespace {

// Closes the port when the send is left, however it is left.
class ClosePortOnExit {
public:
    explicit ClosePortOnExit(Port& port) : port_(port) {}
    ~ClosePortOnExit() { port_.close(); }
    ClosePortOnExit(const ClosePortOnExit&) = delete;
    ClosePortOnExit& operator=(const ClosePortOnExit&) = delete;

private:
    Port& port_;
};

WriteMode mode_of(const SendOptions& options)
{
    return options.watch ? WriteMode::Watched : WriteMode::Plain;
}

bool stop_set(const SendOptions& options) { return options.watch && options.watch->stopped(); }

// Opens the port; false with the outcome filled in when it did not open as a serial port.
bool open_port(Port& port, const std::string& port_name, const SendOptions& options,
               SendOutcome& outcome)
{
    OpenResult opened = port.open(port_name, mode_of(options));
    if (opened.status == OpenResult::Status::Opened)
        return true;
    if (stop_set(options)) {  // a stop ended the open's wait (a network port's)
        outcome.kind = SendOutcome::Kind::Stopped;
    } else if (opened.status == OpenResult::Status::NotSerial) {
        outcome.kind = SendOutcome::Kind::NotSerial;
    } else {
        outcome.kind = SendOutcome::Kind::PortFailed;
        outcome.error = opened.error;
    }
    return false;
}

// Writes the frame and records how far it got.
void write_frame(Port& port, const std::uint8_t* frame, std::size_t total,
                 const SendOptions& options, SendOutcome& outcome)
{
    const WriteWatch watch = options.watch ? *options.watch : WriteWatch{};
    TransferResult sent = port.write(frame, total, watch);
    outcome.total = total;
    outcome.written = sent.count;
    if (sent.count == total && !sent.error) {
        outcome.kind = SendOutcome::Kind::Sent;
    } else if (watch.stopped()) {
        outcome.kind = SendOutcome::Kind::Stopped;
    } else {
        outcome.kind = SendOutcome::Kind::WriteFailed;
        outcome.error = sent.error;
    }
}

}  // namespace

SendOutcome::Kind file_problem_kind(FileStatus status)
{
    switch (status) {
    case FileStatus::NoFile:
        return SendOutcome::Kind::NoFile;
    case FileStatus::NotAFile:
        return SendOutcome::Kind::NotAFile;
    case FileStatus::OpenFailed:
        return SendOutcome::Kind::FileOpenFailed;
    case FileStatus::ReadFailed:
        return SendOutcome::Kind::FileReadFailed;
    case FileStatus::TooLarge:
        return SendOutcome::Kind::FileTooLarge;
    case FileStatus::Ready:
        break;
    }
    return SendOutcome::Kind::Sent;
}

SendOutcome send_file(const std::string& port_name, const std::string& path,
                      const SendOptions& options)
{
    SendOutcome outcome;
    SerialPort port;
    ClosePortOnExit release(port);
    if (!open_port(port, port_name, options, outcome))
        return outcome;

    outcome.settings_error = port.configure(options.baud);
    TransferBuffer buffer = options.allocate();
    if (!buffer) {
        outcome.kind = SendOutcome::Kind::NoMemory;
        return outcome;
    }
    FrameRead frame = read_frame(path, buffer.get());
    outcome.payload = frame.payload;
    if (frame.status != FileStatus::Ready) {
        outcome.kind = file_problem_kind(frame.status);
        outcome.file_size = frame.file_size;
        if (frame.status == FileStatus::OpenFailed || frame.status == FileStatus::ReadFailed)
            outcome.error = frame.error;
        return outcome;
    }
    write_frame(port, buffer.get(), frame.payload + 2, options, outcome);
    return outcome;  // the file closes first, then the buffer is freed, then the port closes
}

SendOutcome send_frame(Port& port, const std::string& port_name,
                       const std::vector<std::uint8_t>& frame, const SendOptions& options)
{
    SendOutcome outcome;
    outcome.payload = frame.size() - 2;
    outcome.total = frame.size();
    ClosePortOnExit release(port);
    if (stop_set(options)) {
        outcome.kind = SendOutcome::Kind::Stopped;
        return outcome;
    }
    port.watch_stop(options.watch ? options.watch->stop : nullptr);
    if (!open_port(port, port_name, options, outcome))
        return outcome;
    if (std::optional<SystemError> refused = port.configure(options.baud)) {
        outcome.kind =
            stop_set(options) ? SendOutcome::Kind::Stopped : SendOutcome::Kind::SettingsRejected;
        outcome.error = refused;
        return outcome;
    }
    write_frame(port, frame.data(), frame.size(), options, outcome);
    return outcome;
}

}  // namespace orvanta
