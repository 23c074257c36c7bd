// paced_line: virtual serial lines whose far ends are read no faster than a real line carries
// bytes, for tests that watch a send take its time and for the bench of many boards. A sender
// opens LINK as its port; this program reads the other end at RATE bytes per second (11520 is
// 115,200 baud with 10 bits a byte) and appends what it reads to OUT, if given. With -n N it
// makes N lines, LINK1 to LINKN (read into OUT1 to OUTN), each read on a thread of its own.
//
// Each time bytes arrive on an idle line (quiet for 200 ms or more: a new stream), it prints
// "LINK first byte at SECONDS" (the system clock, seconds since 1970) on stdout. Runs until
// SIGTERM or SIGINT, then removes the links and says, per line, how long the stream took from its
// first byte to its last, how many streams came (a pause of 200 ms or more parts two), and how
// long, at most, the line stood empty within a stream: a sender that keeps the line busy never
// lets that reach a byte's time.
//
//   paced_line [-n N] LINK RATE [OUT]
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "input_file.h"
#include "virtual_line.h"

namespace {

volatile std::sig_atomic_t stopping = 0;

using Clock = std::chrono::steady_clock;

// A line quiet this long has ended one stream; the next byte begins another.
constexpr std::chrono::milliseconds NEW_STREAM{200};

struct PacedLine {
    std::string link;
    orvanta::VirtualLine line;
    orvanta::File out;
    std::size_t total = 0;
    std::size_t streams = 0;
    std::chrono::duration<double> longest_wait{0};
    Clock::time_point first_byte{}, last_byte{};
};

double system_seconds()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Reads what the elapsed time allows, in small steps, so the pace holds within 10 ms.
void pace(PacedLine& paced, double rate)
{
    const auto start = Clock::now();
    double taken = 0;
    Clock::time_point last_arrival{};
    Clock::time_point empty_since{};  // when the line was found empty; zero while it holds bytes
    while (!stopping) {
        std::chrono::duration<double> elapsed = Clock::now() - start;
        double allowed = rate * elapsed.count() - taken;
        std::uint8_t chunk[4096];
        std::size_t want = allowed < 1              ? 0
                           : allowed < sizeof chunk ? static_cast<std::size_t>(allowed)
                                                    : sizeof chunk;
        if (want == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        // What the line holds already is taken without a wait, however late this thread got
        // to it (a busy machine may keep a reader off the processor for milliseconds): only the
        // time the line stands empty counts as a wait.
        orvanta::TransferResult got = paced.line.read(chunk, want, 0);
        if (got.count == 0 && !got.error) {
            if (empty_since == Clock::time_point{})
                empty_since = Clock::now();
            got = paced.line.read(chunk, want, 10);
        }
        const auto now = Clock::now();
        if (got.count == 0) {
            // An idle line builds up no allowance: the pace restarts with the next byte.
            taken = rate * elapsed.count();
            continue;
        }
        if (empty_since != Clock::time_point{}) {
            // A wait that ends with a byte, after the first and short of a new stream, is a gap
            // in the middle of the stream.
            const auto gap = now - empty_since;
            empty_since = Clock::time_point{};
            if (paced.total > 0 && gap < NEW_STREAM && gap > paced.longest_wait)
                paced.longest_wait = gap;
        }
        if (paced.total == 0)
            paced.first_byte = now;
        if (now - last_arrival >= NEW_STREAM) {
            ++paced.streams;
            std::printf("%s first byte at %.6f\n", paced.link.c_str(), system_seconds());
            std::fflush(stdout);
        }
        last_arrival = paced.last_byte = now;
        paced.total += got.count;
        taken += static_cast<double>(got.count);
        if (paced.out) {
            std::fwrite(chunk, 1, got.count, paced.out.get());
            std::fflush(paced.out.get());
        }
    }
}

}  // namespace

// A whole number of the command line, or -1 when it is none.
long whole_number(const char* text)
{
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' ? value : -1;
}

int main(int argc, char** argv)
{
    long lines = 0;  // 0: one line at LINK itself
    if (argc > 2 && std::strcmp(argv[1], "-n") == 0) {
        lines = whole_number(argv[2]);
        argc -= 2;
        argv += 2;
    }
    const long rate_value = argc >= 3 ? whole_number(argv[2]) : -1;
    if (argc < 3 || argc > 4 || rate_value <= 0 || rate_value > 100000000 || lines < 0 ||
        lines > 64) {
        std::fprintf(stderr, "usage: paced_line [-n N] LINK RATE [OUT]\n");
        return 2;
    }
    const double rate = static_cast<double>(rate_value);
    struct sigaction action = {};
    action.sa_handler = [](int) { stopping = 1; };
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    std::vector<std::unique_ptr<PacedLine>> paced;
    for (int i = 0; i < (lines ? lines : 1); ++i) {
        const std::string suffix = lines ? std::to_string(i + 1) : "";
        auto one = std::make_unique<PacedLine>();
        one->link = argv[1] + suffix;
        if (argc == 4) {
            const std::string out = argv[3] + suffix;
            one->out.reset(std::fopen(out.c_str(), "ab"));
            if (!one->out) {
                std::perror(out.c_str());
                return 1;
            }
        }
        if (one->line.create(one->link).status != orvanta::VirtualLine::Created::Status::Ready) {
            std::fprintf(stderr, "paced_line: cannot make the line %s\n", one->link.c_str());
            return 1;
        }
        paced.push_back(std::move(one));
    }
    std::printf("ready\n");
    std::fflush(stdout);

    std::vector<std::thread> readers;
    readers.reserve(paced.size());
    for (auto& one : paced)
        readers.emplace_back([&one, rate] { pace(*one, rate); });
    for (auto& reader : readers)
        reader.join();
    for (const auto& one : paced) {
        const double stream =
            std::chrono::duration<double>(one->last_byte - one->first_byte).count();
        std::fprintf(stderr,
                     "paced_line: %s%s%zu bytes in %.3f s, %zu stream%s; longest wait for a byte "
                     "mid-stream: %.0f us (%.2f byte-times)\n",
                     lines ? one->link.c_str() : "", lines ? ": " : "", one->total,
                     one->total ? stream : 0.0, one->streams, one->streams == 1 ? "" : "s",
                     one->longest_wait.count() * 1e6, one->longest_wait.count() * rate);
    }
    return 0;
}
