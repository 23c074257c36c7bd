#include "send.h"

namespace orvanta {

namespace {

const char* const NOTHING_SENT = "\nNothing was sent.";

std::string settings_rejected(const std::string& port_name, std::uint32_t baud,
                              const SystemError& error)
{
    return port_name + " did not accept the line settings (" + grouped(baud) +
           " baud, 8 data bits, no parity, 1 stop bit): " + error.text + ".";
}

// What the frame step leaves to say when it did not produce a frame.
std::string frame_problem(const FrameRead& frame, const std::string& path)
{
    switch (frame.status) {
    case FrameRead::Status::NotAFile:
        return path + " is not a file (a folder, device or pipe)." + NOTHING_SENT;
    case FrameRead::Status::OpenFailed:
        return "Could not open " + path + ": " + frame.error.text + "." + NOTHING_SENT;
    case FrameRead::Status::ReadFailed:
        return "Could not read " + path + ": " + frame.error.text + "." + NOTHING_SENT;
    case FrameRead::Status::TooLarge:
        return path + " is " + grouped(frame.file_size) +
               " bytes; one upload carries at most " + grouped(MAX_PAYLOAD) + " bytes." +
               NOTHING_SENT;
    default:
        return {};
    }
}

}  // namespace

std::string grouped(unsigned long long n)
{
    std::string digits = std::to_string(n);
    for (std::size_t i = digits.size(); i > 3; i -= 3)
        digits.insert(i - 3, 1, ',');
    return digits;
}

std::string port_error_message(const std::string& port_name)
{
    return port_name + " port error\n";
}

SendOutcome send_file(SerialPort& port, const std::string& port_name, const std::string& path,
                      const SendOptions& options)
{
    SendOutcome outcome;
    OpenResult opened = port.open(port_name);
    if (opened.status == OpenResult::Status::Failed) {
        outcome.message = port_error_message(port_name);
        outcome.reason = opened.error.text;
        return outcome;
    }
    if (opened.status == OpenResult::Status::NotSerial) {
        outcome.message = port_name + " is not a serial port." + NOTHING_SENT;
        return outcome;
    }

    std::optional<SystemError> settings_error = port.configure(options.baud);
    std::string problem;
    {
        TransferBuffer buffer = options.allocate();
        if (!buffer) {
            problem = "Could not allocate the " + grouped(MAX_UPLOAD_BUFFER) +
                      "-byte transfer buffer." + NOTHING_SENT;
        } else {
            FrameRead frame = read_frame(path, buffer.get());
            outcome.payload = frame.payload;
            if (frame.status == FrameRead::Status::NoFile) {
                outcome.result = SendOutcome::Result::NoFile;
            } else if (frame.status != FrameRead::Status::Ready) {
                problem = frame_problem(frame, path);
            } else {
                const std::size_t total = frame.payload + 2;
                TransferResult sent = port.write(buffer.get(), total, options.progress);
                outcome.written = sent.count;
                if (sent.count == total && !sent.error) {
                    outcome.result = SendOutcome::Result::Sent;
                } else {
                    std::string why = sent.error ? sent.error->text
                                                 : std::string("the port stopped taking data");
                    problem = "Sending " + path + " to " + port_name + " failed after " +
                              grouped(sent.count) + " of " + grouped(total) + " bytes: " + why +
                              ".";
                }
            }
        }
        // The file closes here, then the buffer is freed.
    }
    port.close();

    // Messages come only now, with the port closed, so no message ever holds the port.
    if (settings_error && outcome.result != SendOutcome::Result::NoFile) {
        std::string rejected = settings_rejected(port_name, options.baud, *settings_error);
        if (outcome.result == SendOutcome::Result::Sent) {
            outcome.result = SendOutcome::Result::Failed;
            problem = rejected + "\nThe file was sent anyway; the target may not have read it.";
        } else {
            problem += "\n" + rejected;
        }
    }
    outcome.message = problem;
    return outcome;
}

}  // namespace orvanta
