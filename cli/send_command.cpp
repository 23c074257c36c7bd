#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "frame.h"
#include "input_file.h"
#include "send.h"
#include "send_report.h"
#include "several_ports.h"
#include "stop_signals.h"
#include "text.h"
#include "verbose_report.h"
#include "watch.h"

namespace orvanta {

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

namespace {

// What went wrong with a send to port, in the command line's words.
std::string send_problem(const SendOutcome& outcome, const SendArgs& args, const std::string& name)
{
    const std::string port = printable(name);
    const std::string why = outcome.error ? outcome.error->text : std::string();
    switch (outcome.kind) {
    case SendOutcome::Kind::PortFailed:
        if (args.wait_port && outcome.error && means_absent(*outcome.error))
            return port + " did not appear within " + seconds_text(*args.wait_port) +
                   "; nothing was sent";
        return port + " port error: " + why;
    case SendOutcome::Kind::NotSerial:
        return port + " is not a serial port; nothing was sent";
    case SendOutcome::Kind::SettingsRejected:
        return port + " did not accept the line settings (" + line_settings_text(args.baud) +
               "): " + why + "; nothing was sent";
    case SendOutcome::Kind::Stopped:
        if (outcome.written == 0)
            return "stopped before anything went out to " + port + "; nothing was sent";
        if (outcome.written == outcome.total)  // a network port's wait for its server's last word
            return "stopped: all " + grouped(outcome.total) + " bytes went out to " + port +
                   ", but the server had not yet confirmed the end of the frame";
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

// "sent to 2 of 3 ports; COM7 port error: ...": the count, and what stopped each port that
// did not get the frame.
std::string summary(const SendArgs& args, const std::vector<SendOutcome>& outcomes)
{
    std::size_t sent = 0;
    std::string failures;
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        if (outcomes[i].kind == SendOutcome::Kind::Sent)
            ++sent;
        else
            failures += "; " + send_problem(outcomes[i], args, args.ports[i]);
    }
    return "sent to " + std::to_string(sent) + " of " + std::to_string(outcomes.size()) + " ports" +
           failures;
}

}  // namespace

int report_outcomes(const SendArgs& args, const std::vector<SendOutcome>& outcomes,
                    const StopSignals& stop, const std::string& prefix)
{
    const bool talk = args.verbosity != Verbosity::Quiet;
    bool all_sent = true, stopped = false;
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        const SendOutcome& outcome = outcomes[i];
        if (outcome.kind == SendOutcome::Kind::Sent) {
            if (talk)
                std::printf("%ssent %s bytes to %s\n", prefix.c_str(),
                            grouped(outcome.payload).c_str(), printable(args.ports[i]).c_str());
            continue;
        }
        all_sent = false;
        stopped = stopped || outcome.kind == SendOutcome::Kind::Stopped;
        std::fflush(stdout);  // the lines stay in the order of the ports
        std::fprintf(stderr, "%s%s\n", prefix.c_str(),
                     send_problem(outcome, args, args.ports[i]).c_str());
    }
    if (outcomes.size() > 1) {
        if (!all_sent)
            std::fprintf(stderr, "%s%s\n", prefix.c_str(), summary(args, outcomes).c_str());
        else if (talk)
            std::printf("%s%s\n", prefix.c_str(), summary(args, outcomes).c_str());
    }
    if (stopped)
        return stop.exit_status();
    return all_sent ? EXIT_DONE : EXIT_FAILED;
}

int run_send(const SendArgs& args)
{
    StopSignals stop;
    // The file first: a file that cannot go out whole leaves the ports untouched.
    FileContents file = read_file(args.file, MAX_PAYLOAD);
    if (file.status != FileStatus::Ready) {
        std::fprintf(stderr, "%s\n", file_problem(file, args.file).c_str());
        return EXIT_FAILED;
    }
    if (args.verbosity == Verbosity::Verbose)
        for (const std::string& port : args.ports)
            report_port_and_line(port, args.baud);
    if (args.watch)
        return watch_and_send(args, stop);
    return report_outcomes(args, send_to_ports(args, encode_frame(file.bytes), stop), stop);
}

}  // namespace orvanta
