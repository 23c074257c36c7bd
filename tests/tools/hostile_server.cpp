// hostile_server: a TCP server on 127.0.0.1 that misbehaves towards a network port's client in
// ways a real serial server does not show, one connection at a time. Prints its port, then runs
// until SIGTERM.
//
//   hostile_server flood         offers an option the client refuses (IAC WILL ECHO), over and
//                                over, as fast as the connection takes it; reads nothing
//   hostile_server extra-answer  an RFC 2217 server that agrees and answers the line setup, and
//                                once the frame's first bytes are there (seen, not read) sends
//                                one more speed answer; then reads nothing
//   hostile_server wrong-speed   an RFC 2217 server that answers everything in order, but the
//                                queries of the speed after the setup's with 9,600 baud
#include <arpa/inet.h>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::uint8_t IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240;
constexpr std::uint8_t ECHO = 1, COM_PORT = 44;

using Bytes = std::vector<std::uint8_t>;

bool write_all(int fd, const Bytes& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void flood(int fd, const Bytes& offer)
{
    Bytes chunk;
    while (chunk.size() < 65536)
        chunk.insert(chunk.end(), offer.begin(), offer.end());
    while (write_all(fd, chunk)) {
    }
}

// A small RFC 2217 server: agrees what the client asks, answers each COM-PORT request with its
// value (a speed query with the speed set), and drops data. mode says how it misbehaves.
class ComPortServer {
public:
    ComPortServer(int fd, std::string mode) : fd_(fd), mode_(std::move(mode)) {}

    void run()
    {
        std::uint8_t chunk[4096];
        for (;;) {
            if (mode_ == "extra-answer" && setup_done_) {
                // Waits for the frame without reading it, answers once more, and stops reading.
                pollfd p = {fd_, POLLIN, 0};
                if (poll(&p, 1, -1) <= 0 || !write_all(fd_, speed_answer(speed_)))
                    return;
                p.events = POLLRDHUP;  // until the client goes
                while (poll(&p, 1, -1) >= 0 && !(p.revents & (POLLRDHUP | POLLHUP | POLLERR)))
                    p.revents = 0;
                return;
            }
            ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0)
                return;
            Bytes out;
            for (ssize_t i = 0; i < n; ++i)
                take(chunk[i], out);
            if (!out.empty() && !write_all(fd_, out))
                return;
        }
    }

private:
    enum class State { Data, Command, Option, SubData, SubCommand } state_ = State::Data;

    static Bytes speed_answer(std::uint32_t speed)
    {
        return {IAC,
                SB,
                COM_PORT,
                101,
                static_cast<std::uint8_t>(speed >> 24),
                static_cast<std::uint8_t>(speed >> 16),
                static_cast<std::uint8_t>(speed >> 8),
                static_cast<std::uint8_t>(speed),
                IAC,
                SE};
    }

    void take(std::uint8_t b, Bytes& out)
    {
        switch (state_) {
        case State::Data:
            if (b == IAC)
                state_ = State::Command;
            break;
        case State::Command:
            if (b == WILL || b == WONT || b == DO || b == DONT) {
                verb_ = b;
                state_ = State::Option;
            } else if (b == SB) {
                sub_.clear();
                state_ = State::SubData;
            } else {
                state_ = State::Data;
            }
            break;
        case State::Option:
            if (verb_ == WILL)
                out.insert(out.end(), {IAC, DO, b});
            else if (verb_ == DO)
                out.insert(out.end(), {IAC, WILL, b});
            state_ = State::Data;
            break;
        case State::SubData:
            if (b == IAC)
                state_ = State::SubCommand;
            else
                sub_.push_back(b);
            break;
        case State::SubCommand:
            if (b == SE) {
                answer(out);
                state_ = State::Data;
            } else {
                sub_.push_back(b);
                state_ = State::SubData;
            }
            break;
        }
    }

    void answer(Bytes& out)
    {
        if (sub_.size() < 2 || sub_[0] != COM_PORT)
            return;
        const std::uint8_t command = sub_[1];
        if (command == 1 && sub_.size() == 6) {
            std::uint32_t speed = (std::uint32_t{sub_[2]} << 24) | (std::uint32_t{sub_[3]} << 16) |
                                  (std::uint32_t{sub_[4]} << 8) | sub_[5];
            if (speed != 0) {
                speed_ = speed;
            } else {
                ++queries_;
                speed = mode_ == "wrong-speed" && queries_ > 1 ? 9600 : speed_;
                setup_done_ = true;
            }
            const Bytes a = speed_answer(speed);
            out.insert(out.end(), a.begin(), a.end());
            return;
        }
        out.insert(out.end(), {IAC, SB, COM_PORT, static_cast<std::uint8_t>(command + 100)});
        for (std::size_t i = 2; i < sub_.size(); ++i) {
            out.push_back(sub_[i]);
            if (sub_[i] == IAC)
                out.push_back(IAC);
        }
        out.insert(out.end(), {IAC, SE});
    }

    int fd_;
    std::string mode_;
    std::uint8_t verb_ = 0;
    Bytes sub_;
    std::uint32_t speed_ = 115200;
    int queries_ = 0;
    bool setup_done_ = false;
};

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc == 2 ? argv[1] : "";
    if (mode != "flood" && mode != "extra-answer" && mode != "wrong-speed") {
        std::fprintf(stderr, "usage: hostile_server flood|extra-answer|wrong-speed\n");
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 ||
        bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 8) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("hostile_server");
        return 1;
    }
    std::printf("%u\n", ntohs(address.sin_port));
    std::fflush(stdout);
    for (;;) {
        int fd = accept(listener, nullptr, nullptr);
        if (fd < 0)
            continue;
        if (mode == "flood")
            flood(fd, {IAC, WILL, ECHO});
        else
            ComPortServer(fd, mode).run();
        close(fd);
    }
}
