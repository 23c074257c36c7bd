// silent_listener: a TCP port on 127.0.0.1 that takes no connection, as a host that does not
// answer: it listens with the smallest queue and fills that queue itself, so that the kernel
// drops every further attempt and a client's connect runs into its time-out. With "accept" it
// accepts connections instead and never says a word, as a server that has hung.
// Prints the port, then runs until SIGTERM.
//
//   silent_listener [accept]
#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv)
{
    const bool accepting = argc == 2 && std::strcmp(argv[1], "accept") == 0;
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 ||
        bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, accepting ? 8 : 0) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("silent_listener");
        return 1;
    }
    std::vector<int> held;
    if (!accepting) {
        // Connections that fill the queue, never accepted; a further one is left unanswered.
        for (int i = 0; i < 2; ++i) {
            int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            // Non-blocking: the connection is only begun here (EINPROGRESS); the queue keeps it.
            (void)connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
            held.push_back(fd);
        }
        usleep(100000);
    }
    std::printf("%u\n", ntohs(address.sin_port));
    std::fflush(stdout);
    for (;;) {
        if (accepting) {
            int fd = accept(listener, nullptr, nullptr);
            if (fd >= 0)
                held.push_back(fd);
        } else {
            pause();
        }
    }
}
