#include <chrono>
#include <cstdio>
#include <memory>

#include "commands.h"
#include "console.h"
#include "progress_meter.h"
#include "send.h"
#include "verbose_report.h"

namespace orvanta {

namespace {

int report(const SendArgs& args, const SendOutcome& outcome)
{
    if (outcome.result == SendOutcome::Result::Sent) {
        if (args.verbosity != Verbosity::Quiet)
            std::printf("sent %s bytes to %s\n", grouped(outcome.payload).c_str(),
                        args.port.c_str());
        return EXIT_DONE;
    }
    std::string text = outcome.message;
    if (!outcome.reason.empty())  // the port-error message, with the system's reason
        text = args.port + " port error: " + outcome.reason;
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    std::fprintf(stderr, "%s\n", text.c_str());
    return outcome.result == SendOutcome::Result::Stopped ? EXIT_INTERRUPTED : EXIT_FAILED;
}

}  // namespace

int run_send(const SendArgs& args)
{
    CtrlCGuard ctrl_c;
    if (args.verbosity == Verbosity::Verbose)
        report_port_and_line(args.port, args.baud);

    SendOptions options;
    options.baud = args.baud;
    options.watch = WriteWatch{{}, &ctrl_c.pressed()};
    std::unique_ptr<ProgressMeter> meter;
    const auto start = std::chrono::steady_clock::now();
    if (args.verbosity != Verbosity::Quiet && stderr_is_terminal()) {
        options.watch->progress = [&meter, start](std::size_t done, std::size_t total) {
            if (!meter)
                meter = std::make_unique<ProgressMeter>(total, start);
            meter->update(done);
        };
    }
    SerialPort port;
    SendOutcome outcome = send_file(port, args.port, args.file, options);
    if (meter && outcome.result == SendOutcome::Result::Sent)
        meter->finish();
    meter.reset();  // an unfinished progress line ends before the message that follows
    return report(args, outcome);
}

}  // namespace orvanta
