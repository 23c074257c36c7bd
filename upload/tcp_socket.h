#pragma once
// A TCP connection in non-blocking mode, the thin part of the network port that differs between
// platforms: tcp_socket_posix.cpp (BSD sockets) and tcp_socket_win32.cpp (Winsock). Nothing
// outside the network port sees a socket.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "system_error.h"

namespace orvanta {

struct SocketIo {
    std::size_t count = 0;             // bytes the system took or gave
    bool closed = false;               // the server closed its side (a read gave end of stream)
    std::optional<SystemError> error;  // set when the system reported a failure
};

// Why a connection could not be made: the look-up of the name, or the connection itself.
struct ConnectProblem {
    bool lookup = false;
    SystemError error;
};

class TcpSocket {
public:
    TcpSocket();
    ~TcpSocket();
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // Looks the host up and connects to the first of its addresses that accepts, all within
    // timeout_ms for the connection attempts; a stop (looked at every 100 ms) gives up with
    // EINTR. (The look-up itself runs to its end: a numeric address needs none.)
    std::optional<ConnectProblem> connect(const std::string& host, std::uint16_t port,
                                          int timeout_ms, const std::atomic<bool>* stop);

    bool is_open() const;

    // Waits at most timeout_ms (-1: no limit) until the connection has something to read or,
    // with want_write, room to write. Returns which; an interrupted wait (a signal) returns the
    // error EINTR.
    struct Ready {
        bool readable = false;
        bool writable = false;
        std::optional<SystemError> error;
    };
    Ready wait(bool want_write, int timeout_ms);

    SocketIo send(const std::uint8_t* data, std::size_t size);  // what fits now
    SocketIo receive(std::uint8_t* data, std::size_t size);     // what is there now

    // Bytes handed to the connection that the server has not acknowledged yet, where the system
    // tells (0 where it does not); nothing once the connection has failed and the system has
    // dropped what it held.
    std::optional<std::size_t> unacknowledged() const;

    // Sends the end of the stream; reading goes on.
    std::optional<SystemError> shutdown_send();

    void close();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The words for a look-up that failed, from the resolver's code.
SystemError lookup_error(int code);

}  // namespace orvanta
