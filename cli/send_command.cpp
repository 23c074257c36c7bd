#include <chrono>
#include <cstdio>
#include <memory>

#include "commands.h"
#include "input_file.h"
#include "make_port.h"
#include "progress_meter.h"
#include "send.h"
#include "stop_signals.h"
#include "text.h"
#include "verbose_report.h"

namespace orvanta {

namespace {

// Why the file gives no frame, in the command line's words; the port is not touched then.
std::string file_problem(const FileContents& file, const std::string& path)
{
    const std::string shown = printable(path);
    switch (file.status) {
    case FileStatus::NotAFile:
        return shown + " is not a file (a folder, device or pipe); nothing was sent";
    case FileStatus::OpenFailed:
        return "cannot open " + shown + ": " + file.error.text + "; nothing was sent";
    case FileStatus::ReadFailed:
        return "cannot read " + shown + ": " + file.error.text + "; nothing was sent";
    case FileStatus::TooLarge:
        return shown + " is " + grouped(file.file_size) + " bytes; one upload carries at most " +
               grouped(MAX_PAYLOAD) + "; nothing was sent";
    default:
        return "cannot read " + shown + "; nothing was sent";
    }
}

// What went wrong with a send, in the command line's words.
std::string send_problem(const SendOutcome& outcome, const SendArgs& args)
{
    const std::string port = printable(args.port);
    const std::string why = outcome.error ? outcome.error->text : std::string();
    switch (outcome.kind) {
    case SendOutcome::Kind::PortFailed:
        return port + " port error: " + why;
    case SendOutcome::Kind::NotSerial:
        return port + " is not a serial port; nothing was sent";
    case SendOutcome::Kind::SettingsRejected:
        return port + " did not accept the line settings (" + line_settings_text(args.baud) +
               "): " + why + "; nothing was sent";
    case SendOutcome::Kind::Stopped:
        if (outcome.written == 0)
            return "stopped before anything went out to " + port + "; nothing was sent";
        return "stopped: " + grouped(outcome.written) + " of " + grouped(outcome.total) +
               " bytes went out to " + port + "; the target has an incomplete frame";
    case SendOutcome::Kind::WriteFailed:
        return "sending " + printable(args.file) + " to " + port + " failed after " +
               grouped(outcome.written) + " of " + grouped(outcome.total) +
               " bytes: " + (outcome.error ? why : "the port stopped taking data");
    default:
        return "sending " + printable(args.file) + " to " + port + " failed";
    }
}

}  // namespace

int run_send(const SendArgs& args)
{
    StopSignals stop;
    // The file first: a file that cannot go out whole leaves the port untouched.
    FileContents file = read_file(args.file, MAX_PAYLOAD);
    if (file.status != FileStatus::Ready) {
        std::fprintf(stderr, "%s\n", file_problem(file, args.file).c_str());
        return EXIT_FAILED;
    }
    if (args.verbosity == Verbosity::Verbose)
        report_port_and_line(args.port, args.baud);

    SendOptions options;
    options.baud = args.baud;
    options.watch = WriteWatch{{}, &stop.flag()};
    std::unique_ptr<ProgressMeter> meter;
    const auto start = std::chrono::steady_clock::now();
    if (args.verbosity != Verbosity::Quiet && stderr_is_terminal()) {
        options.watch->progress = [&meter, start](std::size_t done, std::size_t total) {
            if (!meter)
                meter = std::make_unique<ProgressMeter>(total, start);
            meter->update(done);
        };
    }
    std::unique_ptr<Port> port = make_port(args.port, {connect_timeout_ms(args.connect_timeout)});
    const SendOutcome outcome = send_frame(*port, args.port, encode_frame(file.bytes), options);
    if (meter && outcome.kind == SendOutcome::Kind::Sent)
        meter->finish();
    meter.reset();  // an unfinished progress line ends before the message that follows

    if (outcome.kind == SendOutcome::Kind::Sent) {
        if (args.verbosity != Verbosity::Quiet)
            std::printf("sent %s bytes to %s\n", grouped(outcome.payload).c_str(),
                        printable(args.port).c_str());
        return EXIT_DONE;
    }
    std::fprintf(stderr, "%s\n", send_problem(outcome, args).c_str());
    return outcome.kind == SendOutcome::Kind::Stopped ? stop.exit_status() : EXIT_FAILED;
}

}  // namespace orvanta
