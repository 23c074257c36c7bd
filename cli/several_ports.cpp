#include "several_ports.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>

#include "line_board.h"
#include "make_port.h"
#include "progress_meter.h"
#include "text.h"
#include "wait_port.h"
#include "worker_thread.h"

namespace orvanta {

namespace {

using Clock = std::chrono::steady_clock;

// How often the main thread looks at the sends under way and redraws their lines.
constexpr unsigned LOOK_INTERVAL_MS = 100;

long long now_ns()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

SendOptions options_for(const SendArgs& args, const StopSignals& stop)
{
    SendOptions options;
    options.baud = args.baud;
    options.watch = WriteWatch{{}, &stop.flag()};
    return options;
}

bool shows_progress(const SendArgs& args)
{
    return args.verbosity != Verbosity::Quiet && stderr_is_terminal();
}

void say_waiting(const std::string& port)
{
    std::fprintf(stderr, "waiting for %s\n", printable(port).c_str());
    std::fflush(stderr);
}

SendOutcome send_to_one(const SendArgs& args, const std::vector<std::uint8_t>& frame,
                        const StopSignals& stop)
{
    SendOptions options = options_for(args, stop);
    std::unique_ptr<ProgressMeter> meter;
    if (shows_progress(args)) {
        options.watch->progress = [&meter](std::size_t done, std::size_t total) {
            if (!meter)
                meter = std::make_unique<ProgressMeter>(total, Clock::now());
            meter->update(done);
        };
    }
    const std::string& name = args.ports.front();
    std::unique_ptr<Port> port = make_port(name, {milliseconds(args.connect_timeout)});
    const bool talk = args.verbosity != Verbosity::Quiet;
    SendOutcome outcome = send_when_present(*port, name, frame, options, args.wait_port, [&] {
        if (talk)
            say_waiting(name);
    });
    if (meter && outcome.kind == SendOutcome::Kind::Sent)
        meter->finish();
    return outcome;  // an unfinished progress line ends with the meter, before any message
}

// One port's send as the threads share it: the worker writes, the main thread reads.
struct PortSend {
    std::string name;
    std::unique_ptr<Port> port;
    std::atomic<std::size_t> done{0};
    std::atomic<long long> began_ns{0};  // first byte handed over
    std::atomic<long long> ended_ns{0};  // set with finished
    std::atomic<bool> waiting{false};
    std::atomic<bool> finished{false};
    bool said_waiting = false;  // main thread only
    SendOutcome outcome;        // written by the worker before finished
};

void run_one(PortSend& send, const SendArgs& args, const std::vector<std::uint8_t>& frame,
             const StopSignals& stop)
{
    SendOptions options = options_for(args, stop);
    options.watch->progress = [&send](std::size_t done, std::size_t) {
        long long none = 0;
        send.began_ns.compare_exchange_strong(none, now_ns());
        send.done.store(done);
    };
    send.outcome = send_when_present(*send.port, send.name, frame, options, args.wait_port,
                                     [&send] { send.waiting.store(true); });
    send.waiting.store(false);
    send.ended_ns.store(now_ns());
    send.finished.store(true);
}

std::string progress_line(const PortSend& send, std::size_t name_width, std::size_t total)
{
    std::string line = printable(send.name);
    line.append(name_width > line.size() ? name_width - line.size() : 0, ' ');
    line += "  ";
    const bool finished = send.finished.load();
    if (send.waiting.load())
        return line + "waiting for the port to appear";
    const long long began = send.began_ns.load();
    if (began == 0 && finished)
        return line + "not sent";
    if (began == 0)  // opening, or writing where the driver tells nothing before the end
        return line + progress_text(0, total, 0);
    const long long until = finished ? send.ended_ns.load() : now_ns();
    line += progress_text(send.done.load(), total, (until - began) / 1e9);
    if (finished && send.outcome.kind != SendOutcome::Kind::Sent)
        line += send.outcome.kind == SendOutcome::Kind::Stopped ? "  stopped" : "  failed";
    return line;
}

std::vector<SendOutcome> send_to_several(const SendArgs& args,
                                         const std::vector<std::uint8_t>& frame,
                                         const StopSignals& stop)
{
    std::vector<std::unique_ptr<PortSend>> sends;
    std::size_t name_width = 0;
    for (const std::string& name : args.ports) {
        auto send = std::make_unique<PortSend>();
        send->name = name;
        send->port = make_port(name, {milliseconds(args.connect_timeout)});
        name_width = std::max(name_width, printable(name).size());
        sends.push_back(std::move(send));
    }
    std::vector<std::unique_ptr<WorkerThread>> workers;
    for (auto& send : sends) {
        PortSend* one = send.get();
        workers.push_back(std::make_unique<WorkerThread>(
            [one, &args, &frame, &stop] { run_one(*one, args, frame, stop); }));
        if (!workers.back()->started()) {
            one->outcome.kind = SendOutcome::Kind::PortFailed;
            one->outcome.error = SystemError{0, "no thread could be started for it"};
            one->finished.store(true);
        }
    }

    std::unique_ptr<LineBoard> board;
    if (shows_progress(args))
        board = std::make_unique<LineBoard>();
    const bool talk = args.verbosity != Verbosity::Quiet;
    for (bool all_done = false; !all_done;) {
        all_done = std::all_of(sends.begin(), sends.end(),
                               [](const auto& send) { return send->finished.load(); });
        if (board) {
            std::vector<std::string> lines;
            lines.reserve(sends.size());
            for (const auto& send : sends)
                lines.push_back(progress_line(*send, name_width, frame.size()));
            board->draw(std::move(lines));
        } else if (talk) {
            for (auto& send : sends) {
                if (send->waiting.load() && !send->said_waiting) {
                    say_waiting(send->name);
                    send->said_waiting = true;
                }
            }
        }
        if (!all_done)
            pause_ms(LOOK_INTERVAL_MS);
    }
    workers.clear();  // joins them; all have finished

    std::vector<SendOutcome> outcomes;
    outcomes.reserve(sends.size());
    for (auto& send : sends)
        outcomes.push_back(std::move(send->outcome));
    return outcomes;
}

}  // namespace

std::vector<SendOutcome> send_to_ports(const SendArgs& args, const std::vector<std::uint8_t>& frame,
                                       const StopSignals& stop)
{
    if (args.ports.size() == 1)
        return {send_to_one(args, frame, stop)};
    return send_to_several(args, frame, stop);
}

}  // namespace orvanta
