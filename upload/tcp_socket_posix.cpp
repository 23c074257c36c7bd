// The TCP connection on Linux and macOS: getaddrinfo, a non-blocking connect awaited with poll,
// and send and recv on a non-blocking socket.
#include "tcp_socket.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/sockios.h>
#endif

#include "deadline.h"

#ifndef MSG_NOSIGNAL
#define MSG_NOSIGNAL 0  // macOS: SO_NOSIGPIPE on the socket does the same
#endif

namespace orvanta {

namespace {

// How often a wait for a connection looks at the stop flag.
constexpr int STOP_LOOK_MS = 100;

// Frees a look-up's answer.
struct AddressList {
    addrinfo* first = nullptr;
    ~AddressList()
    {
        if (first)
            freeaddrinfo(first);
    }
};

// One attempt on one address: the connected socket, or -1 with the reason.
int connect_one(const addrinfo& a, Clock::time_point deadline, const std::atomic<bool>* stop,
                SystemError& why)
{
    int fd = ::socket(a.ai_family, a.ai_socktype, a.ai_protocol);
    if (fd < 0) {
        why = last_system_error();
        return -1;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0 ||
        fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) {
        why = last_system_error();
        ::close(fd);
        return -1;
    }
    if (::connect(fd, a.ai_addr, a.ai_addrlen) != 0 && errno != EINPROGRESS) {
        why = last_system_error();
        ::close(fd);
        return -1;
    }
    // The wait in slices that each end in time to look at the stop flag; a signal that is no
    // stop goes on waiting.
    pollfd p = {fd, POLLOUT, 0};
    for (;;) {
        if (stop && stop->load()) {
            why = errno_error(EINTR);
            ::close(fd);
            return -1;
        }
        const int left = milliseconds_left(deadline);
        if (left == 0) {
            why = errno_error(ETIMEDOUT);
            ::close(fd);
            return -1;
        }
        const int ready = poll(&p, 1, left < STOP_LOOK_MS ? left : STOP_LOOK_MS);
        if (ready > 0)
            break;
        if (ready < 0 && errno != EINTR) {
            why = last_system_error();
            ::close(fd);
            return -1;
        }
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
        why = errno_error(error ? error : errno);
        ::close(fd);
        return -1;
    }
    int one = 1;  // requests and the frame's last piece go out at once
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
#ifdef SO_NOSIGPIPE
    // macOS has no MSG_NOSIGNAL: a closed connection must fail a send, not end the program.
    setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof one);
#endif
    return fd;
}

}  // namespace

struct TcpSocket::Impl {
    int fd = -1;
};

TcpSocket::TcpSocket() : impl_(std::make_unique<Impl>()) {}

TcpSocket::~TcpSocket() { close(); }

bool TcpSocket::is_open() const { return impl_->fd >= 0; }

SystemError lookup_error(int code)
{
    if (code == EAI_SYSTEM)
        return last_system_error();
    return {code, gai_strerror(code)};
}

std::optional<ConnectProblem> TcpSocket::connect(const std::string& host, std::uint16_t port,
                                                 int timeout_ms, const std::atomic<bool>* stop)
{
    close();
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    AddressList list;
    int looked = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list.first);
    if (looked != 0)
        return ConnectProblem{true, lookup_error(looked)};
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    SystemError why = errno_error(ETIMEDOUT);
    for (addrinfo* a = list.first; a; a = a->ai_next) {
        int fd = connect_one(*a, deadline, stop, why);
        if (fd >= 0) {
            impl_->fd = fd;
            return std::nullopt;
        }
        if (why.code == EINTR || milliseconds_left(deadline) == 0)
            break;
    }
    return ConnectProblem{false, why};
}

TcpSocket::Ready TcpSocket::wait(bool want_write, int timeout_ms)
{
    Ready ready;
    pollfd p = {impl_->fd, static_cast<short>(POLLIN | (want_write ? POLLOUT : 0)), 0};
    int n = poll(&p, 1, timeout_ms);
    if (n < 0) {
        ready.error = last_system_error();  // EINTR too: a stop signal may have come
        return ready;
    }
    // An error or hang-up shows as readable: the read that follows tells what happened.
    ready.readable = (p.revents & (POLLIN | POLLERR | POLLHUP)) != 0;
    ready.writable = (p.revents & POLLOUT) != 0;
    return ready;
}

SocketIo TcpSocket::send(const std::uint8_t* data, std::size_t size)
{
    SocketIo io;
    ssize_t n = ::send(impl_->fd, data, size, MSG_NOSIGNAL);
    if (n >= 0)
        io.count = static_cast<std::size_t>(n);
    else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
        io.error = last_system_error();
    return io;
}

SocketIo TcpSocket::receive(std::uint8_t* data, std::size_t size)
{
    SocketIo io;
    ssize_t n = ::recv(impl_->fd, data, size, 0);
    if (n > 0)
        io.count = static_cast<std::size_t>(n);
    else if (n == 0)
        io.closed = true;
    else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
        io.error = last_system_error();
    return io;
}

std::optional<std::size_t> TcpSocket::unacknowledged() const
{
    int queued = 0;
#if defined(SIOCOUTQ)
    // A connection reset has emptied the queue: it tells nothing of what the server took.
    tcp_info info = {};
    socklen_t info_length = sizeof info;
    if (getsockopt(impl_->fd, IPPROTO_TCP, TCP_INFO, &info, &info_length) == 0 &&
        info.tcpi_state == TCP_CLOSE)
        return std::nullopt;
    if (ioctl(impl_->fd, SIOCOUTQ, &queued) != 0 || queued < 0)
        return std::nullopt;
#elif defined(SO_NWRITE)
    socklen_t length = sizeof queued;
    if (getsockopt(impl_->fd, SOL_SOCKET, SO_NWRITE, &queued, &length) != 0 || queued < 0)
        return std::nullopt;
#endif
    return static_cast<std::size_t>(queued);
}

std::optional<SystemError> TcpSocket::shutdown_send()
{
    if (::shutdown(impl_->fd, SHUT_WR) != 0)
        return last_system_error();
    return std::nullopt;
}

void TcpSocket::close()
{
    if (impl_->fd < 0)
        return;
    ::close(impl_->fd);
    impl_->fd = -1;
}

}  // namespace orvanta
