#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "commands.h"
#include "deadline.h"
#include "frame.h"
#include "input_file.h"
#include "make_port.h"
#include "output_file.h"
#include "serial_port.h"
#include "stop_signals.h"
#include "text.h"
#include "verbose_report.h"
#include "virtual_line.h"

namespace orvanta {

namespace {

using Reader = std::function<TransferResult(std::uint8_t*, std::size_t, int)>;

// The reference file, read whole before anything waits; "" when it can be used.
std::string read_expected(const std::string& path, std::vector<std::uint8_t>& bytes)
{
    FileContents file = read_file(path, MAX_PAYLOAD);
    const std::string shown = printable(path);
    switch (file.status) {
    case FileStatus::Ready:
        bytes = std::move(file.bytes);
        return {};
    case FileStatus::NotAFile:
        return shown + " is not a file (a folder, device or pipe)";
    case FileStatus::TooLarge:
        return shown + " is " + grouped(file.file_size) + " bytes; a frame carries at most " +
               grouped(MAX_PAYLOAD);
    default:
        return "cannot read " + shown + ": " + file.error.text;
    }
}

std::string line_problem(const VirtualLine::Created& created, const std::string& link)
{
    const std::string shown = printable(link);
    switch (created.status) {
    case VirtualLine::Created::Status::Unsupported:
        return "--virtual needs pseudo-terminals, which Windows does not have; "
               "use a pair of virtual COM ports and -p instead";
    case VirtualLine::Created::Status::NoPair:
        return "cannot create a virtual line: " + created.error.text;
    case VirtualLine::Created::Status::NotALink:
        return shown + " exists and is not a link; not replacing it";
    case VirtualLine::Created::Status::InUse:
        return shown + " is in use: it links to " + printable(created.target) +
               " (a receiver may be running on it; remove the link if none is)";
    default:
        return "cannot create " + shown + ": " + created.error.text;
    }
}

// Says whether the payload equals the expected file, and where it first differs if not; a
// match goes unsaid when quiet.
bool report_comparison(const std::vector<std::uint8_t>& got, const std::vector<std::uint8_t>& want,
                       const std::string& name, bool quiet)
{
    std::size_t common = got.size() < want.size() ? got.size() : want.size();
    for (std::size_t i = 0; i < common; ++i) {
        if (got[i] != want[i]) {
            std::printf("differs from %s at offset %s: got 0x%02X, expected 0x%02X\n", name.c_str(),
                        grouped(i).c_str(), got[i], want[i]);
            return false;
        }
    }
    if (got.size() != want.size()) {
        std::printf("differs from %s: %s bytes received, the file has %s\n", name.c_str(),
                    grouped(got.size()).c_str(), grouped(want.size()).c_str());
        return false;
    }
    if (!quiet)
        std::printf("matches %s\n", name.c_str());
    return true;
}

// How long one read waits at most before the stop flag is looked at again: a Windows console
// event sets the flag from another thread and interrupts no read.
constexpr int STOP_LOOK_MS = 200;

// One read of at most timeout_ms (-1: no limit) that a stop cuts short: it waits in slices that
// each look at the stop flag, and a read ended by a signal that was no stop goes on.
TransferResult read_or_stop(const Reader& read, std::uint8_t* data, std::size_t size,
                            int timeout_ms, const StopSignals& stop)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
    for (;;) {
        const int slice =
            timeout_ms < 0 ? STOP_LOOK_MS : std::min(STOP_LOOK_MS, milliseconds_left(deadline));
        TransferResult got = read(data, size, slice);
        if (stop.stopped() || got.count > 0)
            return got;
        if (got.error && got.error->code != EINTR)
            return got;
        if (timeout_ms >= 0 && Clock::now() >= deadline)
            return {};
    }
}

// Reads one frame; returns "" when it came whole (or a stop ended it), else what went wrong.
std::string receive_frame(const Reader& read, FrameParser& frame, const ReceiveArgs& args,
                          const StopSignals& stop)
{
    std::uint8_t chunk[4096];
    while (!frame.complete() && !stop.stopped()) {
        int timeout = milliseconds(frame.started() ? args.timeout : args.wait);
        std::size_t want = frame.remaining() < sizeof chunk ? frame.remaining() : sizeof chunk;
        TransferResult got = read_or_stop(read, chunk, want, timeout, stop);
        if (stop.stopped())
            break;
        if (got.error)
            return "reading the line failed: " + got.error->text;
        if (got.count == 0) {
            if (!frame.started())
                return "no frame arrived";
            if (!frame.has_count())
                return "incomplete frame: only 1 of the 2 count bytes arrived";
            return "incomplete frame: " + grouped(frame.payload().size()) + " of " +
                   grouped(frame.count()) + " bytes received";
        }
        frame.feed(chunk, got.count);
    }
    return {};
}

// Counts the bytes that arrive within the timeout after the frame: a sender that sends more
// than one frame, or noise on the line, must not pass for a clean frame.
std::size_t bytes_after_frame(const Reader& read, const ReceiveArgs& args, const StopSignals& stop)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds(args.timeout));
    std::size_t extra = 0;
    std::uint8_t chunk[4096];
    while (!stop.stopped()) {
        const int left = milliseconds_left(deadline);
        if (left == 0)
            break;
        TransferResult got = read_or_stop(read, chunk, sizeof chunk, left, stop);
        if (got.error || got.count == 0)
            break;
        extra += got.count;
    }
    return extra;
}

}  // namespace

int run_receive(const ReceiveArgs& args)
{
    StopSignals stop;
    const bool quiet = args.verbosity == Verbosity::Quiet;
    // Everything the user named is checked before anything is created or waited for.
    std::vector<std::uint8_t> expected;
    if (!args.expect.empty()) {
        std::string problem = read_expected(args.expect, expected);
        if (!problem.empty()) {
            std::fprintf(stderr, "%s\n", problem.c_str());
            return EXIT_FAILED;
        }
    }
    OutputFile output;
    if (!args.output.empty()) {
        std::string problem =
            output.prepare(args.output, {args.expect, args.port}, args.virtual_link);
        if (!problem.empty()) {
            std::fprintf(stderr, "%s\n", problem.c_str());
            return EXIT_FAILED;
        }
    }

    std::unique_ptr<Port> port = make_port(args.port, {milliseconds(args.connect_timeout)});
    VirtualLine line;
    Reader read;
    if (!args.virtual_link.empty()) {
        VirtualLine::Created created = line.create(args.virtual_link);
        if (created.status != VirtualLine::Created::Status::Ready) {
            std::fprintf(stderr, "%s\n", line_problem(created, args.virtual_link).c_str());
            return EXIT_FAILED;
        }
        if (!quiet)
            std::fprintf(stderr, "virtual line ready: send to %s (%s)\n",
                         printable(args.virtual_link).c_str(), line.device().c_str());
        read = [&line](std::uint8_t* d, std::size_t n, int t) { return line.read(d, n, t); };
    } else {
        if (args.verbosity == Verbosity::Verbose)
            report_port_and_line(args.port, args.baud);
        const std::string shown = printable(args.port);
        port->watch_stop(&stop.flag());  // a network port's connection and setup wait
        OpenResult opened = port->open(args.port);
        std::optional<SystemError> refused;
        if (opened.status == OpenResult::Status::Opened)
            refused = port->configure(args.baud);
        if (stop.stopped()) {
            std::fprintf(stderr, "stopped: 0 bytes of a frame had arrived\n");
            return stop.exit_status();
        }
        if (opened.status != OpenResult::Status::Opened) {
            std::fprintf(stderr, "%s\n",
                         opened.status == OpenResult::Status::NotSerial
                             ? (shown + " is not a serial port").c_str()
                             : (shown + " port error: " + opened.error.text).c_str());
            return EXIT_FAILED;
        }
        if (refused) {
            std::fprintf(stderr, "%s did not accept the line settings: %s\n", shown.c_str(),
                         refused->text.c_str());
            return EXIT_FAILED;
        }
        // Bytes that came before this receive began belong to no frame of it.
        port->discard_input();
        read = [&port](std::uint8_t* d, std::size_t n, int t) { return port->read(d, n, t); };
    }
    std::fflush(stderr);

    FrameParser frame;
    std::string problem = receive_frame(read, frame, args, stop);
    const std::size_t extra = problem.empty() ? bytes_after_frame(read, args, stop) : 0;
    if (stop.stopped()) {
        const std::size_t count_bytes = frame.has_count() ? 2 : frame.started() ? 1 : 0;
        std::fprintf(stderr, "stopped: %s bytes of a frame had arrived\n",
                     grouped(count_bytes + frame.payload().size()).c_str());
        return stop.exit_status();
    }
    if (!problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return EXIT_FAILED;
    }
    if (!quiet)
        std::printf(
            "received %s bytes (count bytes %02X %02X)\n", grouped(frame.payload().size()).c_str(),
            static_cast<unsigned>(frame.count() >> 8), static_cast<unsigned>(frame.count() & 0xFF));
    bool ok = true;
    if (extra > 0) {
        std::printf("%s more bytes followed the frame\n", grouped(extra).c_str());
        ok = false;
    }
    if (!args.expect.empty())
        ok = report_comparison(frame.payload(), expected, printable(args.expect), quiet) && ok;
    if (!args.output.empty()) {
        std::string failed = output.commit(frame.payload());
        if (!failed.empty()) {
            std::fprintf(stderr, "%s\n", failed.c_str());
            ok = false;
        }
    }
    return ok ? EXIT_DONE : EXIT_FAILED;
}

}  // namespace orvanta
