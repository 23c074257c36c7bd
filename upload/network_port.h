#pragma once
// A serial line reached through a serial server on the network (socket://HOST:PORT,
// rfc2217://HOST:PORT; see network_address.h), behind the same interface as a port of this
// machine. Linked only by the command line and the tests: the dialog program never reaches
// the network.
#include <memory>

#include "port.h"

namespace orvanta {

// How long a connection may take to be made, and each answer of the server to come, unless
// the user says otherwise.
constexpr int DEFAULT_CONNECT_TIMEOUT_MS = 3000;

class NetworkPort final : public Port {
public:
    // timeout_ms: for the connection, and for each answer awaited from the server.
    explicit NetworkPort(int timeout_ms = DEFAULT_CONNECT_TIMEOUT_MS);
    ~NetworkPort() override;

    // Connects; over rfc2217:// also agrees the COM-PORT option and 8-bit data both ways. A
    // malformed name, a name that does not resolve, a connection refused or not made in time,
    // and a server that refuses the option or keeps renegotiating options are Failed, with the
    // reason.
    OpenResult open(const std::string& name, WriteMode mode = WriteMode::Plain) override;

    bool is_open() const override;

    // Connecting, agreeing the options, setting the line, the write and the reads all look at
    // stop at least every 100 ms; once it is set they end, and open and configure fail with
    // EINTR.
    void watch_stop(const std::atomic<bool>* stop) override;

    // Over rfc2217:// sets the server's line and checks each answer (rfc2217::judge_setup);
    // over socket:// the server has set its line itself, and only the speed is kept, to know
    // how long a frame takes on it.
    std::optional<SystemError> configure(std::uint32_t baud) override;

    // Sends the frame and ends the stream. Progress counts the bytes the server has taken. The
    // write returns once the frame is sent as far as the protocol can tell: over rfc2217:// the
    // server has answered the queries sent behind the last byte, with the line as it was set,
    // and no answer beyond those asked for (and, where it reports its line state, its
    // transmitter is empty); over socket:// every byte was handed over and the server closed
    // the connection cleanly in answer to its end. A server that stops taking the frame for
    // longer than its line time and the time of an answer fails the write. Either way the
    // connection stays open until the frame has had its time on the line at the speed set, as a
    // server may still hold bytes that it has read and drop them when the connection closes. A stop
    // asks an RFC 2217 server to drop what it still holds. A send that ends early counts what the
    // server had taken, but never more than the line can have carried since the first byte.
    TransferResult write(const std::uint8_t* data, std::size_t size,
                         const WriteWatch& watch = {}) override;

    // Reads the target's bytes that the server passes on.
    TransferResult read(std::uint8_t* data, std::size_t size, int timeout_ms) override;

    void discard_input() override;

    void close() override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace orvanta
