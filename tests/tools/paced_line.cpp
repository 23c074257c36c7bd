// paced_line: a virtual serial line whose far end is read no faster than a real line carries
// bytes, for tests that watch a send take its time. A sender opens LINK as its port; this program
// reads the other end at RATE bytes per second (11520 is 115,200 baud with 10 bits a byte) and
// appends what it reads to OUT, if given. Runs until SIGTERM or SIGINT, then removes LINK and
// says how long, at most, it waited for a byte while bytes were still coming: a sender that
// keeps the line busy never lets that reach a byte's time.
//
//   paced_line LINK RATE [OUT]
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "input_file.h"
#include "virtual_line.h"

namespace {

volatile std::sig_atomic_t stopping = 0;

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 4 || std::atoi(argv[2]) <= 0) {
        std::fprintf(stderr, "usage: paced_line LINK RATE [OUT]\n");
        return 2;
    }
    const double rate = std::atoi(argv[2]);
    orvanta::File out(argc == 4 ? std::fopen(argv[3], "ab") : nullptr);
    if (argc == 4 && !out) {
        std::perror(argv[3]);
        return 1;
    }
    struct sigaction action = {};
    action.sa_handler = [](int) { stopping = 1; };
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    orvanta::VirtualLine line;
    if (line.create(argv[1]).status != orvanta::VirtualLine::Created::Status::Ready) {
        std::fprintf(stderr, "paced_line: cannot make the line %s\n", argv[1]);
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    // Reads what the elapsed time allows, in small steps, so the pace holds within 10 ms.
    const auto start = std::chrono::steady_clock::now();
    double taken = 0;
    std::size_t total = 0;
    std::chrono::duration<double> longest_wait{0};
    while (!stopping) {
        std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        double allowed = rate * elapsed.count() - taken;
        std::uint8_t chunk[4096];
        std::size_t want = allowed < 1             ? 0
                           : allowed < sizeof chunk ? static_cast<std::size_t>(allowed)
                                                    : sizeof chunk;
        if (want == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        const auto asked = std::chrono::steady_clock::now();
        orvanta::TransferResult got = line.read(chunk, want, 10);
        // A wait that ends with a byte, after the first, is a gap in the middle of the stream.
        if (got.count > 0 && total > 0 && std::chrono::steady_clock::now() - asked > longest_wait)
            longest_wait = std::chrono::steady_clock::now() - asked;
        total += got.count;
        if (got.count == 0) {
            // An idle line builds up no allowance: the pace restarts with the next byte.
            taken = rate * elapsed.count();
            continue;
        }
        taken += static_cast<double>(got.count);
        if (out) {
            std::fwrite(chunk, 1, got.count, out.get());
            std::fflush(out.get());
        }
    }
    std::fprintf(stderr, "paced_line: %zu bytes; longest wait for a byte mid-stream: %.0f us (%.2f byte-times)\n",
                 total, longest_wait.count() * 1e6, longest_wait.count() * rate);
    return 0;
}
