// telnet_send: sends a file as one upload frame to the Z80 target's Telnet port, as a Telnet
// client in binary mode must: each 0xFF byte doubled. The simulator offers binary mode itself,
// and a client that keeps quiet gets it. Then prints what the target answers, its Telnet
// commands taken out, until the loader, having said something about the frame, waits for the
// next one. Exit status 1 when that takes more than SECONDS.
//
//   telnet_send PORT FILE SECONDS
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

struct Socket {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    Socket() = default;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    ~Socket()
    {
        if (fd >= 0)
            close(fd);
    }
};

std::vector<unsigned char> telnet_frame(const std::vector<unsigned char>& payload)
{
    std::vector<unsigned char> frame{static_cast<unsigned char>(payload.size() >> 8),
                                     static_cast<unsigned char>(payload.size() & 0xFF)};
    for (std::size_t i = 0; i < 2; ++i)
        if (frame[i] == 0xFF)
            frame.insert(frame.begin() + static_cast<long>(i), 0xFF);
    for (unsigned char byte : payload) {
        frame.push_back(byte);
        if (byte == 0xFF)
            frame.push_back(0xFF);
    }
    return frame;
}

bool send_all(int fd, const std::vector<unsigned char>& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Takes Telnet commands out of what came in; `pending` keeps a command cut at the buffer's end.
void add_data(std::string& text, std::string& pending, const char* bytes, std::size_t size)
{
    pending.append(bytes, size);
    std::size_t i = 0;
    while (i < pending.size()) {
        const auto byte = static_cast<unsigned char>(pending[i]);
        if (byte != 0xFF) {
            text += pending[i++];
            continue;
        }
        if (i + 1 >= pending.size())
            break;
        const auto command = static_cast<unsigned char>(pending[i + 1]);
        if (command == 0xFF) {
            text += pending[i + 1];
            i += 2;
        } else if (command >= 251) {  // WILL, WONT, DO, DONT and their option
            if (i + 2 >= pending.size())
                break;
            i += 3;
        } else {
            i += 2;
        }
    }
    pending.erase(0, i);
}

// The loader has reported on the frame (a line of its other than "waiting") and waits again.
bool loader_done(const std::string& text)
{
    const std::string waiting = "loader: waiting for a frame";
    std::size_t at = 0;
    while ((at = text.find("loader: ", at)) != std::string::npos) {
        if (text.compare(at, waiting.size(), waiting) != 0)
            return text.find(waiting, at) != std::string::npos;
        at += waiting.size();
    }
    return false;
}

// A decimal number from 1 to max, or 0 when the text is anything else.
long number(const char* text, long max)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && value >= 1 && value <= max ? value : 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const long port = argc == 4 ? number(argv[1], 65535) : 0;
    const long seconds = argc == 4 ? number(argv[3], 3600) : 0;
    if (port == 0 || seconds == 0) {
        std::fprintf(stderr, "usage: telnet_send PORT FILE SECONDS\n");
        return 2;
    }
    std::ifstream in(argv[2], std::ios::binary);
    const std::vector<unsigned char> payload{std::istreambuf_iterator<char>(in),
                                             std::istreambuf_iterator<char>()};
    if (!in.is_open() || in.bad() || payload.size() > 0xFFFF) {
        std::fprintf(stderr, "telnet_send: %s: not a readable file of at most 65,535 bytes\n",
                     argv[2]);
        return 1;
    }
    Socket socket;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (socket.fd < 0 ||
        connect(socket.fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        !send_all(socket.fd, telnet_frame(payload))) {
        std::perror("telnet_send");
        return 1;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    std::string text;
    std::string pending;
    while (!loader_done(text)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd wait = {socket.fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&wait, 1, static_cast<int>(left.count())) <= 0) {
            std::fprintf(stderr, "telnet_send: the loader did not report within %s s\n", argv[3]);
            std::fputs(text.c_str(), stdout);
            return 1;
        }
        char buffer[4096];
        const ssize_t n = recv(socket.fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            std::fprintf(stderr, "telnet_send: the target closed the connection\n");
            std::fputs(text.c_str(), stdout);
            return 1;
        }
        add_data(text, pending, buffer, static_cast<std::size_t>(n));
    }
    std::fputs(text.c_str(), stdout);
    return 0;
}
