#include <cstdio>
#include <functional>
#include <vector>

#include "commands.h"
#include "frame_parser.h"
#include "send.h"
#include "serial_port.h"
#include "verbose_report.h"
#include "virtual_line.h"

namespace orvanta {

namespace {

using Reader = std::function<TransferResult(std::uint8_t*, std::size_t, int)>;

int milliseconds(double seconds) { return seconds < 0 ? -1 : static_cast<int>(seconds * 1000); }

bool read_file(const std::string& path, std::vector<std::uint8_t>& bytes)
{
    File f(std::fopen(path.c_str(), "rb"));
    if (!f)
        return false;
    std::uint8_t chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f.get())) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    return !std::ferror(f.get());
}

bool write_file(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    File f(std::fopen(path.c_str(), "wb"));
    if (!f)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
    // Closing flushes the last bytes: its failure is a failed write too.
    return std::fclose(f.release()) == 0 && ok;
}

// Says whether the payload equals the expected file, and where it first differs if not; a
// match goes unsaid when quiet.
bool report_comparison(const std::vector<std::uint8_t>& got, const std::vector<std::uint8_t>& want,
                       const std::string& name, bool quiet)
{
    std::size_t common = got.size() < want.size() ? got.size() : want.size();
    for (std::size_t i = 0; i < common; ++i) {
        if (got[i] != want[i]) {
            std::printf("differs from %s at offset %s: got 0x%02X, expected 0x%02X\n",
                        name.c_str(), grouped(i).c_str(), got[i], want[i]);
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

// Reads one frame; returns an empty string when it came whole, else what went wrong.
std::string receive_frame(const Reader& read, FrameParser& frame, const ReceiveArgs& args)
{
    std::uint8_t chunk[4096];
    while (!frame.complete()) {
        int timeout = milliseconds(frame.started() ? args.timeout : args.wait);
        std::size_t want = frame.remaining() < sizeof chunk ? frame.remaining() : sizeof chunk;
        TransferResult got = read(chunk, want, timeout);
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

}  // namespace

int run_receive(const ReceiveArgs& args)
{
    const bool quiet = args.verbosity == Verbosity::Quiet;
    std::vector<std::uint8_t> expected;
    if (!args.expect.empty() && !read_file(args.expect, expected)) {
        std::fprintf(stderr, "cannot read %s: %s\n", args.expect.c_str(),
                     errno_error(errno).text.c_str());
        return EXIT_FAILED;
    }

    SerialPort port;
    VirtualLine line;
    Reader read;
    if (!args.virtual_link.empty()) {
        std::string problem = line.create(args.virtual_link);
        if (!problem.empty()) {
            std::fprintf(stderr, "%s\n", problem.c_str());
            return EXIT_FAILED;
        }
        if (!quiet)
            std::fprintf(stderr, "virtual line ready: send to %s (%s)\n",
                         args.virtual_link.c_str(), line.device().c_str());
        read = [&line](std::uint8_t* d, std::size_t n, int t) { return line.read(d, n, t); };
    } else {
        if (args.verbosity == Verbosity::Verbose)
            report_port_and_line(args.port, args.baud);
        OpenResult opened = port.open(args.port);
        if (opened.status != OpenResult::Status::Opened) {
            std::fprintf(stderr, "%s\n",
                         opened.status == OpenResult::Status::NotSerial
                             ? (args.port + " is not a serial port").c_str()
                             : (args.port + " port error: " + opened.error.text).c_str());
            return EXIT_FAILED;
        }
        if (auto error = port.configure(args.baud)) {
            std::fprintf(stderr, "%s did not accept the line settings: %s\n", args.port.c_str(),
                         error->text.c_str());
            return EXIT_FAILED;
        }
        read = [&port](std::uint8_t* d, std::size_t n, int t) { return port.read(d, n, t); };
    }
    std::fflush(stderr);

    FrameParser frame;
    std::string problem = receive_frame(read, frame, args);
    if (!problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return EXIT_FAILED;
    }
    if (!quiet)
        std::printf("received %s bytes (count bytes %02X %02X)\n",
                    grouped(frame.payload().size()).c_str(),
                    static_cast<unsigned>(frame.count() >> 8),
                    static_cast<unsigned>(frame.count() & 0xFF));
    bool ok = true;
    if (!args.expect.empty())
        ok = report_comparison(frame.payload(), expected, args.expect, quiet);
    if (!args.output.empty() && !write_file(args.output, frame.payload())) {
        std::fprintf(stderr, "cannot write %s: %s\n", args.output.c_str(),
                     errno_error(errno).text.c_str());
        ok = false;
    }
    return ok ? EXIT_DONE : EXIT_FAILED;
}

}  // namespace orvanta
