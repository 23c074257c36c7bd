// Times one send_file call, from opening the port to closing it, and prints the microseconds:
// the tool's own time for a send, without the start-up of its process.
#include <chrono>
#include <cstdio>

#include "send.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: send_timing PORT FILE\n");
        return 2;
    }
    auto start = std::chrono::steady_clock::now();
    orvanta::SendOutcome outcome = orvanta::send_file(argv[1], argv[2]);
    auto took = std::chrono::steady_clock::now() - start;
    if (!outcome.succeeded()) {
        std::fprintf(stderr, "the send did not succeed (outcome %d)\n",
                     static_cast<int>(outcome.kind));
        return 1;
    }
    std::printf("%lld\n", static_cast<long long>(
                              std::chrono::duration_cast<std::chrono::microseconds>(took).count()));
    return 0;
}
