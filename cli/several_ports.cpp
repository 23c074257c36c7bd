#include "several_ports.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <memory>

#include "line_board.h"
#include "make_port.h"
#include "network_address.h"
#include "progress_meter.h"
#include "terminal_lines.h"
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

// How often a guard looks at the stop flag and at a send's progress.
constexpr unsigned GUARD_LOOK_MS = 20;

// How long a send to name may go without progress before it counts as stalled: the frame's time
// on the line (10 bits a byte), the grace, and for a network port what connecting and the
// server's answers may take.
long long stall_ms_for(const std::string& name, const SendArgs& args, std::size_t frame_size)
{
    long long ms = static_cast<long long>(frame_size) * 10 * 1000 / args.baud + STALL_GRACE_MS;
    if (is_network_name(name))
        ms += 2LL * milliseconds(args.connect_timeout);
    return ms;
}

// The stop of one port's send. Without a stall limit it is the user's stop itself. With one, a
// thread of its own copies the user's stop into the send's own flag and sets that flag too once
// the send has made no progress for the limit.
class SendGuard {
public:
    SendGuard(const StopSignals& stop, long long stall_ms) : stop_(stop), stall_ms_(stall_ms)
    {
        touch();
        if (stall_ms_ > 0)
            thread_ = std::make_unique<WorkerThread>([this] { guard(); });
        own_flag_ = thread_ && thread_->started();
    }
    ~SendGuard()
    {
        done_.store(true);
        thread_.reset();  // joins
    }
    SendGuard(const SendGuard&) = delete;
    SendGuard& operator=(const SendGuard&) = delete;

    const std::atomic<bool>& flag() const { return own_flag_ ? stop_port_ : stop_.flag(); }
    void touch() { last_ns_.store(now_ns()); }  // progress, or a look for an absent port

    // The outcome as the user is told it: a send this guard ended fails as stalled; a write
    // that the user's signal cut short before the guard passed the stop on was stopped.
    SendOutcome judged(SendOutcome outcome) const
    {
        if (own_flag_ && stop_.stopped() && outcome.kind == SendOutcome::Kind::WriteFailed &&
            outcome.error && outcome.error->code == EINTR) {
            outcome.kind = SendOutcome::Kind::Stopped;
            outcome.error.reset();
        }
        if (stalled_.load() && !stop_.stopped() && outcome.kind == SendOutcome::Kind::Stopped) {
            outcome.kind = SendOutcome::Kind::WriteFailed;
            outcome.error = SystemError{0, "nothing left the port for " +
                                               seconds_text(std::floor(stall_ms_ / 100.0) / 10.0) +
                                               "; it has stalled"};
        }
        return outcome;
    }

private:
    void guard()
    {
        while (!done_.load()) {
            if (stop_.stopped()) {
                stop_port_.store(true);
            } else if (now_ns() - last_ns_.load() > stall_ms_ * 1000000) {
                stalled_.store(true);
                stop_port_.store(true);
            }
            pause_ms(GUARD_LOOK_MS);
        }
    }

    const StopSignals& stop_;
    const long long stall_ms_;
    std::atomic<bool> stop_port_{false};
    std::atomic<bool> stalled_{false};
    std::atomic<bool> done_{false};
    std::atomic<long long> last_ns_{0};
    std::unique_ptr<WorkerThread> thread_;
    bool own_flag_ = false;
};

SendOptions options_for(const SendArgs& args, const std::atomic<bool>& stop)
{
    SendOptions options;
    options.baud = args.baud;
    options.watch = WriteWatch{{}, &stop};
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
                        const StopSignals& stop, const SendLimits& limits)
{
    const std::string& name = args.ports.front();
    SendGuard guard(stop, limits.give_up_stalled ? stall_ms_for(name, args, frame.size()) : 0);
    SendOptions options = options_for(args, guard.flag());
    std::unique_ptr<ProgressMeter> meter;
    const bool progress = shows_progress(args);
    options.watch->progress = [&meter, &guard, progress](std::size_t done, std::size_t total) {
        guard.touch();
        if (!progress)
            return;
        if (!meter)
            meter = std::make_unique<ProgressMeter>(total, Clock::now());
        meter->update(done);
    };
    std::unique_ptr<Port> port = make_port(name, {milliseconds(args.connect_timeout)});
    const bool talk = args.verbosity != Verbosity::Quiet;
    bool said_waiting = false;
    SendOutcome outcome = send_when_present(*port, name, frame, options, args.wait_port, [&] {
        guard.touch();
        if (talk && !said_waiting)
            say_waiting(name);
        said_waiting = true;
        return !(limits.superseded && limits.superseded());
    });
    if (meter && outcome.kind == SendOutcome::Kind::Sent)
        meter->finish();
    return guard.judged(outcome);  // an unfinished progress line ends with the meter, first
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
             const StopSignals& stop, const SendLimits& limits)
{
    SendGuard guard(stop, limits.give_up_stalled ? stall_ms_for(send.name, args, frame.size()) : 0);
    SendOptions options = options_for(args, guard.flag());
    options.watch->progress = [&send, &guard](std::size_t done, std::size_t) {
        guard.touch();
        long long none = 0;
        send.began_ns.compare_exchange_strong(none, now_ns());
        send.done.store(done);
    };
    send.outcome =
        guard.judged(send_when_present(*send.port, send.name, frame, options, args.wait_port, [&] {
            guard.touch();
            send.waiting.store(true);
            return !(limits.superseded && limits.superseded());
        }));
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
                                         const StopSignals& stop, const SendLimits& limits)
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
            [one, &args, &frame, &stop, &limits] { run_one(*one, args, frame, stop, limits); }));
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
        if (board && (all_done || takes_output_now(stderr))) {  // not while output is suspended
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
                                       const StopSignals& stop, const SendLimits& limits)
{
    if (args.ports.size() == 1)
        return {send_to_one(args, frame, stop, limits)};
    return send_to_several(args, frame, stop, limits);
}

}  // namespace orvanta
