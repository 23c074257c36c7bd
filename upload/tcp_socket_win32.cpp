// The TCP connection on Windows: Winsock 2 as Windows XP has it (getaddrinfo, select; no
// WSAPoll), a non-blocking connect awaited with select, and send and recv on a non-blocking
// socket. Winsock is started with the first socket and stopped with the program.
#include "tcp_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cerrno>
#include <chrono>

#include "deadline.h"

namespace orvanta {

namespace {

// How often a wait for a connection looks at the stop flag.
constexpr int STOP_LOOK_MS = 100;

// Winsock for the life of the program, once it is needed.
class Winsock {
public:
    Winsock() { started_ = WSAStartup(MAKEWORD(2, 2), &data_) == 0; }
    ~Winsock()
    {
        if (started_)
            WSACleanup();
    }
    Winsock(const Winsock&) = delete;
    Winsock& operator=(const Winsock&) = delete;
    bool started() const { return started_; }

private:
    WSADATA data_{};
    bool started_ = false;
};

bool winsock_started()
{
    static Winsock winsock;
    return winsock.started();
}

SystemError socket_error(int code)
{
    SetLastError(static_cast<DWORD>(code));
    return last_system_error();
}

SystemError last_socket_error() { return socket_error(WSAGetLastError()); }

struct AddressList {
    addrinfo* first = nullptr;
    ~AddressList()
    {
        if (first)
            freeaddrinfo(first);
    }
};

// select's wait: -1 for no limit.
int select_on(SOCKET s, bool read, bool write, bool except, int timeout_ms, bool& readable,
              bool& writable, bool& failed)
{
    fd_set r, w, e;
    FD_ZERO(&r);
    FD_ZERO(&w);
    FD_ZERO(&e);
    if (read)
        FD_SET(s, &r);
    if (write)
        FD_SET(s, &w);
    if (except)
        FD_SET(s, &e);
    timeval tv = {timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    int n = select(0, &r, &w, &e, timeout_ms < 0 ? nullptr : &tv);
    readable = n > 0 && FD_ISSET(s, &r);
    writable = n > 0 && FD_ISSET(s, &w);
    failed = n > 0 && FD_ISSET(s, &e);
    return n;
}

SOCKET connect_one(const addrinfo& a, Clock::time_point deadline, const std::atomic<bool>* stop,
                   SystemError& why)
{
    SOCKET s = ::socket(a.ai_family, a.ai_socktype, a.ai_protocol);
    if (s == INVALID_SOCKET) {
        why = last_socket_error();
        return INVALID_SOCKET;
    }
    u_long nonblocking = 1;
    if (ioctlsocket(s, FIONBIO, &nonblocking) != 0 ||
        (::connect(s, a.ai_addr, static_cast<int>(a.ai_addrlen)) != 0 &&
         WSAGetLastError() != WSAEWOULDBLOCK)) {
        why = last_socket_error();
        closesocket(s);
        return INVALID_SOCKET;
    }
    // A connection that fails shows in the exception set; one made, in the write set. The wait
    // goes in slices that each end in time to look at the stop flag (a console event sets it
    // from another thread and interrupts no wait).
    bool readable = false, writable = false, failed = false;
    int n = 0;
    while (n == 0) {
        if (stop && stop->load()) {
            why = SystemError{EINTR, "stopped"};
            closesocket(s);
            return INVALID_SOCKET;
        }
        const int left = milliseconds_left(deadline);
        if (left == 0)
            break;
        n = select_on(s, false, true, true, left < STOP_LOOK_MS ? left : STOP_LOOK_MS, readable,
                      writable, failed);
    }
    if (n <= 0) {
        why = n == 0 ? socket_error(WSAETIMEDOUT) : last_socket_error();
        why.code = n == 0 ? ETIMEDOUT : why.code;
        closesocket(s);
        return INVALID_SOCKET;
    }
    if (failed || !writable) {
        int error = 0;
        int length = sizeof error;
        getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
        why = socket_error(error ? error : WSAECONNREFUSED);
        closesocket(s);
        return INVALID_SOCKET;
    }
    BOOL one = TRUE;  // requests and the frame's last piece go out at once
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    return s;
}

}  // namespace

struct TcpSocket::Impl {
    SOCKET s = INVALID_SOCKET;
};

TcpSocket::TcpSocket() : impl_(std::make_unique<Impl>()) {}

TcpSocket::~TcpSocket() { close(); }

bool TcpSocket::is_open() const { return impl_->s != INVALID_SOCKET; }

SystemError lookup_error(int code) { return socket_error(code); }

std::optional<ConnectProblem> TcpSocket::connect(const std::string& host, std::uint16_t port,
                                                 int timeout_ms, const std::atomic<bool>* stop)
{
    close();
    if (!winsock_started())
        return ConnectProblem{false, last_socket_error()};
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    AddressList list;
    int looked = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list.first);
    if (looked != 0)
        return ConnectProblem{true, lookup_error(looked)};
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    SystemError why = socket_error(WSAETIMEDOUT);
    why.code = ETIMEDOUT;
    for (addrinfo* a = list.first; a; a = a->ai_next) {
        SOCKET s = connect_one(*a, deadline, stop, why);
        if (s != INVALID_SOCKET) {
            impl_->s = s;
            return std::nullopt;
        }
        if ((stop && stop->load()) || milliseconds_left(deadline) == 0)
            break;
    }
    return ConnectProblem{false, why};
}

TcpSocket::Ready TcpSocket::wait(bool want_write, int timeout_ms)
{
    Ready ready;
    bool failed = false;
    if (select_on(impl_->s, true, want_write, false, timeout_ms, ready.readable, ready.writable,
                  failed) < 0)
        ready.error = last_socket_error();
    return ready;
}

SocketIo TcpSocket::send(const std::uint8_t* data, std::size_t size)
{
    SocketIo io;
    const int piece = size > 0x10000 ? 0x10000 : static_cast<int>(size);
    int n = ::send(impl_->s, reinterpret_cast<const char*>(data), piece, 0);
    if (n >= 0)
        io.count = static_cast<std::size_t>(n);
    else if (WSAGetLastError() != WSAEWOULDBLOCK)
        io.error = last_socket_error();
    return io;
}

SocketIo TcpSocket::receive(std::uint8_t* data, std::size_t size)
{
    SocketIo io;
    const int piece = size > 0x10000 ? 0x10000 : static_cast<int>(size);
    int n = ::recv(impl_->s, reinterpret_cast<char*>(data), piece, 0);
    if (n > 0)
        io.count = static_cast<std::size_t>(n);
    else if (n == 0)
        io.closed = true;
    else if (WSAGetLastError() != WSAEWOULDBLOCK)
        io.error = last_socket_error();
    return io;
}

// Windows does not tell how much of a connection's queue the peer has acknowledged.
std::optional<std::size_t> TcpSocket::unacknowledged() const { return 0; }

std::optional<SystemError> TcpSocket::shutdown_send()
{
    if (::shutdown(impl_->s, SD_SEND) != 0)
        return last_socket_error();
    return std::nullopt;
}

void TcpSocket::close()
{
    if (impl_->s == INVALID_SOCKET)
        return;
    closesocket(impl_->s);
    impl_->s = INVALID_SOCKET;
}

}  // namespace orvanta
