// linepair: a virtual null-modem cable for tests. Two pty pairs whose sender ends are reached
// through two links; what is written at one end can be read at the other. Wine's COM ports point
// at the links, so a Windows test sends on one COM port and reads the bytes on another.
// Runs until SIGTERM or SIGINT, then removes the links.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t stopping = 0;

struct End {
    int master = -1;
    int slave = -1;  // held so the line survives each user's close
    std::string link;
    std::deque<unsigned char> pending;  // bytes on their way out to this end
};

bool open_end(End& end, const char* link)
{
    char name[128];
    termios raw{};
    cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | CREAD;
    if (openpty(&end.master, &end.slave, name, &raw, nullptr) != 0)
        return false;
    fcntl(end.master, F_SETFL, O_NONBLOCK);
    std::string temporary = std::string(link) + ".new";
    unlink(temporary.c_str());
    if (symlink(name, temporary.c_str()) != 0 || rename(temporary.c_str(), link) != 0)
        return false;
    end.link = link;
    return true;
}

// Moves what one end's user wrote into the other end's queue, and flushes queues that can take it.
void pump(End& from, End& to, short events)
{
    if (events & POLLIN) {
        unsigned char chunk[4096];
        ssize_t n = read(from.master, chunk, sizeof chunk);
        if (n > 0)
            to.pending.insert(to.pending.end(), chunk, chunk + n);
    }
    while (!from.pending.empty()) {
        unsigned char chunk[4096];
        std::size_t n = 0;
        for (; n < sizeof chunk && n < from.pending.size(); ++n)
            chunk[n] = from.pending[n];
        ssize_t put = write(from.master, chunk, n);
        if (put <= 0)
            break;
        from.pending.erase(from.pending.begin(), from.pending.begin() + put);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: linepair LINK_A LINK_B\n");
        return 2;
    }
    struct sigaction action = {};
    action.sa_handler = [](int) { stopping = 1; };
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    End a, b;
    if (!open_end(a, argv[1]) || !open_end(b, argv[2])) {
        std::perror("linepair");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    while (!stopping) {
        pollfd p[2] = {{a.master, POLLIN, 0}, {b.master, POLLIN, 0}};
        if (!a.pending.empty())
            p[0].events |= POLLOUT;
        if (!b.pending.empty())
            p[1].events |= POLLOUT;
        if (poll(p, 2, 100) < 0)
            continue;
        pump(a, b, p[0].revents);
        pump(b, a, p[1].revents);
    }
    unlink(a.link.c_str());
    unlink(b.link.c_str());
    return 0;
}
