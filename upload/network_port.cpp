// The network port: the connection, the Telnet COM-PORT session on it, and the frame's write,
// the same on every platform. The socket calls are in tcp_socket_*.cpp, the protocol in
// rfc2217.cpp.
#include "network_port.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <vector>

#include "deadline.h"
#include "line_settings.h"
#include "network_address.h"
#include "rfc2217.h"
#include "tcp_socket.h"

namespace orvanta {

namespace {

// How often a wait looks at the stop flag.
constexpr int WATCH_INTERVAL_MS = 100;
// The most of the target's bytes kept for a reader; a server that floods is not followed further.
constexpr std::size_t MAX_PENDING = 1 << 20;
// What one look at the connection takes at most.
constexpr std::size_t CHUNK = 4096;

// A wait of at most ms (-1: no limit) cut into slices that each end in time to look at the
// stop flag.
int slice(int ms) { return ms < 0 || ms > WATCH_INTERVAL_MS ? WATCH_INTERVAL_MS : ms; }

// How long a frame of size bytes takes on a line at baud with 10 bits a byte (8N1).
Clock::duration line_time(std::size_t size, std::uint32_t baud)
{
    const double seconds = static_cast<double>(size) * 10.0 / (baud ? baud : DEFAULT_BAUD);
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

SystemError protocol_error(std::string text) { return {EPROTO, std::move(text)}; }

SystemError closed_by_server() { return {ECONNRESET, "the server closed the connection"}; }

// What a wait ended by the stop flag gives: the caller reports the stop, not this text.
SystemError stopped_error() { return {EINTR, "stopped"}; }

std::string seconds_text(int ms)
{
    std::string text = std::to_string(ms / 1000);
    if (ms % 1000)
        text += "." + std::to_string(1000 + ms % 1000).substr(1);
    while (text.back() == '0' && text.find('.') != std::string::npos)
        text.pop_back();
    return text + " s";
}

}  // namespace

struct NetworkPort::Impl {
    int timeout_ms;
    const std::atomic<bool>* stop = nullptr;  // ends every wait once set
    TcpSocket socket;
    NetworkAddress address;
    rfc2217::Client client;
    std::vector<std::uint8_t> pending;  // the target's bytes not read yet
    std::uint32_t baud = DEFAULT_BAUD;
    bool server_closed = false;  // the server has ended its side of the stream

    bool rfc2217() const { return address.protocol == NetworkAddress::Protocol::Rfc2217; }

    bool stopped() const { return stop && stop->load(); }

    // Takes what the server has sent, if anything: the target's bytes go to pending (kept
    // only when keep), the server's Telnet answers to the client.
    std::optional<SystemError> take_input(bool keep)
    {
        std::uint8_t chunk[CHUNK];
        SocketIo got = socket.receive(chunk, sizeof chunk);
        if (got.error)
            return got.error;
        if (got.closed) {
            server_closed = true;
            return closed_by_server();
        }
        std::vector<std::uint8_t> data;
        if (rfc2217()) {
            client.feed(chunk, got.count, data);
            if (auto problem = client.problem())
                return protocol_error(*problem);
        } else {
            data.assign(chunk, chunk + got.count);
        }
        if (!keep)
            return std::nullopt;
        if (pending.size() + data.size() > MAX_PENDING)
            return protocol_error("the server sent more than " + grouped(MAX_PENDING) +
                                  " bytes while this program could not read them");
        pending.insert(pending.end(), data.begin(), data.end());
        return std::nullopt;
    }

    // Waits up to ms (at most one slice) for input and takes it; an interrupted wait is no
    // failure, a stop is.
    std::optional<SystemError> pump(int ms, bool keep)
    {
        if (stopped())
            return stopped_error();
        TcpSocket::Ready ready = socket.wait(false, slice(ms));
        if (ready.error)
            return ready.error->code == EINTR ? std::nullopt : ready.error;
        if (ready.readable)
            return take_input(keep);
        return std::nullopt;
    }

    // Sends a few bytes of requests or replies whole, reading meanwhile, by the deadline; a
    // stop ends it, unless it sends what a stop itself asks for (stoppable false).
    std::optional<SystemError> send_all(const std::vector<std::uint8_t>& bytes,
                                        Clock::time_point deadline, bool stoppable = true)
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            if (stoppable && stopped())
                return stopped_error();
            if (Clock::now() >= deadline)
                return errno_error(ETIMEDOUT);
            TcpSocket::Ready ready = socket.wait(true, slice(milliseconds_left(deadline)));
            if (ready.error && ready.error->code != EINTR)
                return ready.error;
            if (ready.readable)
                if (auto failed = take_input(true))
                    return failed;
            if (ready.writable) {
                SocketIo sent = socket.send(bytes.data() + done, bytes.size() - done);
                if (sent.error)
                    return sent.error;
                done += sent.count;
            }
        }
        return std::nullopt;
    }

    std::optional<SystemError> send_replies(Clock::time_point deadline)
    {
        std::vector<std::uint8_t> replies = client.take_replies();
        return replies.empty() ? std::nullopt : send_all(replies, deadline);
    }

    Clock::time_point answer_deadline() const
    {
        return Clock::now() + std::chrono::milliseconds(timeout_ms);
    }

    std::optional<SystemError> agree_options();
    std::optional<SystemError> set_line(std::uint32_t rate);
    TransferResult write(const std::uint8_t* data, std::size_t size, const WriteWatch& watch);
    // look: notes what the server has acknowledged, while the connection stands.
    std::optional<SystemError> finish(Clock::time_point started, std::size_t size,
                                      const std::function<bool()>& stop_seen,
                                      const std::function<std::size_t()>& look);
};

NetworkPort::NetworkPort(int timeout_ms) : impl_(std::make_unique<Impl>())
{
    impl_->timeout_ms = timeout_ms > 0 ? timeout_ms : DEFAULT_CONNECT_TIMEOUT_MS;
}

NetworkPort::~NetworkPort() { close(); }

bool NetworkPort::is_open() const { return impl_->socket.is_open(); }

OpenResult NetworkPort::open(const std::string& name, WriteMode /*mode*/)
{
    close();
    ParsedAddress parsed = parse_network_address(name);
    if (!parsed.address)
        return {OpenResult::Status::Failed, {EINVAL, "not a network address: " + parsed.problem}};
    impl_->address = *parsed.address;
    const NetworkAddress& a = impl_->address;
    if (auto problem = impl_->socket.connect(a.host, a.port, impl_->timeout_ms, impl_->stop)) {
        SystemError error = problem->error;
        if (impl_->stopped())
            return {OpenResult::Status::Failed, stopped_error()};
        if (problem->lookup)
            error.text = "cannot find " + a.host + ": " + error.text;
        else
            error.text =
                "cannot connect to " + a.host + " port " + std::to_string(a.port) + ": " +
                error.text +
                (error.code == ETIMEDOUT ? " (after " + seconds_text(impl_->timeout_ms) + ")"
                                         : std::string());
        return {OpenResult::Status::Failed, error};
    }
    if (impl_->rfc2217()) {
        if (auto refused = impl_->agree_options()) {
            close();
            return {OpenResult::Status::Failed, *refused};
        }
    }
    return {OpenResult::Status::Opened, {}};
}

void NetworkPort::watch_stop(const std::atomic<bool>* stop) { impl_->stop = stop; }

std::optional<SystemError> NetworkPort::Impl::agree_options()
{
    client = rfc2217::Client();
    const Clock::time_point deadline = answer_deadline();
    if (auto failed = send_all(client.start(), deadline))
        return failed;
    using rfc2217::Agreement;
    for (;;) {
        if (client.com_port() == Agreement::Refused)
            return protocol_error("the server refuses the COM-PORT option (RFC 2217), so the "
                                  "line cannot be set through it");
        if (client.binary_out() == Agreement::Refused || client.binary_in() == Agreement::Refused)
            return protocol_error("the server refuses 8-bit data (Telnet binary mode)");
        if (client.com_port() == Agreement::Agreed && client.binary_out() == Agreement::Agreed &&
            client.binary_in() == Agreement::Agreed)
            return send_replies(deadline);
        if (Clock::now() >= deadline)
            return protocol_error("the server did not agree to the COM-PORT option (RFC 2217) "
                                  "within " +
                                  seconds_text(timeout_ms));
        if (auto failed = pump(milliseconds_left(deadline), false))
            return failed;
        if (auto failed = send_replies(deadline))
            return failed;
    }
}

std::optional<SystemError> NetworkPort::configure(std::uint32_t baud)
{
    impl_->baud = baud;
    if (!impl_->rfc2217())
        return std::nullopt;
    return impl_->set_line(baud);
}

std::optional<SystemError> NetworkPort::Impl::set_line(std::uint32_t rate)
{
    client.forget_answers();
    const Clock::time_point deadline = answer_deadline();
    client.sent_setup();  // noted first: the server may answer the first before the last is out
    if (auto failed = send_all(rfc2217::line_setup_requests(rate), deadline))
        return failed;
    for (;;) {
        rfc2217::SetupVerdict setup =
            rfc2217::judge_setup(client.answers(), rate, Clock::now() >= deadline);
        if (setup.status == rfc2217::SetupVerdict::Status::Accepted) {
            client.settle();
            return send_replies(deadline);
        }
        if (setup.status == rfc2217::SetupVerdict::Status::Refused)
            return protocol_error(setup.problem);
        if (auto failed = pump(milliseconds_left(deadline), false))
            return failed;
        if (auto failed = send_replies(deadline))
            return failed;
    }
}

TransferResult NetworkPort::write(const std::uint8_t* data, std::size_t size,
                                  const WriteWatch& watch)
{
    return impl_->write(data, size, watch);
}

TransferResult NetworkPort::Impl::write(const std::uint8_t* data, std::size_t size,
                                        const WriteWatch& watch)
{
    auto stop_seen = [&] { return watch.stopped() || stopped(); };
    std::vector<std::uint8_t> wire;
    if (rfc2217()) {
        rfc2217::append_escaped(wire, data, size);
        const std::vector<std::uint8_t> sync = rfc2217::sync_request();
        wire.insert(wire.end(), sync.begin(), sync.end());
    } else {
        wire.assign(data, data + size);
    }
    rfc2217::EscapedCounter counter(data, size);
    std::size_t handed = 0;
    // What the server has acknowledged, looked at while the connection stands: once it fails,
    // the system forgets what was still queued, and a look then would count it as taken.
    // The server's answers to the queries behind the frame say that it has read all of it.
    std::size_t last_taken = 0;
    bool sync_sent = false;
    auto taken = [&] {
        if (sync_sent && client.all_answered())
            last_taken = size;
        else if (std::optional<std::size_t> queued = socket.unacknowledged())
            last_taken = counter.data_in(handed > *queued ? handed - *queued : 0);
        return last_taken;
    };
    auto report = [&](std::size_t done) {
        if (watch.progress)
            watch.progress(done, size);
    };
    const Clock::time_point started = Clock::now();
    // What went out on the line when the send ends early: what the server had taken, but never
    // more than the line can have carried since the first byte (a server takes far more than
    // that into its buffers, and loses it when it goes).
    auto gone = [&](std::size_t server_had) {
        const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
        const double carried = seconds * (baud ? baud : DEFAULT_BAUD) / 10.0;
        return carried < static_cast<double>(server_had) ? static_cast<std::size_t>(carried)
                                                         : server_had;
    };
    auto failed_with = [&](std::optional<SystemError> error) -> TransferResult {
        return {gone(taken()), std::move(error)};
    };
    auto stopped_here = [&]() -> TransferResult {
        std::size_t had = gone(taken());
        if (rfc2217()) {  // the server drops what it still holds, if it can
            std::vector<std::uint8_t> purge =
                rfc2217::request(rfc2217::PURGE_DATA, {rfc2217::PURGE_TRANSMIT});
            client.sent(rfc2217::PURGE_DATA);
            send_all(purge, Clock::now() + std::chrono::milliseconds(WATCH_INTERVAL_MS), false);
        }
        return {had, errno_error(EINTR)};
    };

    // A server takes the frame at least as fast as its line carries it: one that has not taken
    // it all by the frame's line time and the time of an answer has stopped taking data.
    const Clock::time_point handover_deadline =
        started + line_time(size, baud) + std::chrono::milliseconds(timeout_ms);
    while (handed < wire.size()) {
        if (stop_seen())
            return stopped_here();
        if (Clock::now() >= handover_deadline)
            return failed_with(SystemError{ETIMEDOUT, "the server stopped taking data"});
        TcpSocket::Ready ready = socket.wait(true, slice(milliseconds_left(handover_deadline)));
        if (ready.error && ready.error->code != EINTR)
            return failed_with(ready.error);
        if (ready.readable)
            if (auto failed = take_input(false))
                return failed_with(failed);
        if (ready.writable) {
            SocketIo sent = socket.send(wire.data() + handed, wire.size() - handed);
            if (sent.error)
                return failed_with(sent.error);
            handed += sent.count;
        }
        report(taken());
    }
    // Only now does the server owe the answers to the requests behind the frame: an answer that
    // came before could not be one of them (and was an answer to no request).
    if (rfc2217()) {
        client.sent_sync();
        sync_sent = true;
    }
    if (auto failed = finish(started, size, stop_seen, taken)) {
        if (stop_seen())
            return stopped_here();
        return failed_with(failed);
    }
    report(size);
    return {size, std::nullopt};
}

// What follows the last byte: the server's word that it has the frame, the frame's time on
// the line, and a clean end of the connection.
std::optional<SystemError> NetworkPort::Impl::finish(Clock::time_point started, std::size_t size,
                                                     const std::function<bool()>& stop_seen,
                                                     const std::function<std::size_t()>& look)
{
    const Clock::time_point on_line = started + line_time(size, baud);
    // The server reads the frame as its line takes it: its answer may take the frame's time.
    const Clock::time_point deadline =
        (on_line > Clock::now() ? on_line : Clock::now()) + std::chrono::milliseconds(timeout_ms);
    auto wait_until = [&](auto done, Clock::time_point until) -> std::optional<SystemError> {
        while (!done()) {
            if (stop_seen())
                return stopped_error();
            if (Clock::now() >= until)
                return errno_error(ETIMEDOUT);
            look();
            if (auto failed = pump(milliseconds_left(until), false))
                return failed;
        }
        return std::nullopt;
    };

    if (rfc2217()) {
        if (auto failed = wait_until([&] { return client.all_answered(); }, deadline))
            return failed->code == ETIMEDOUT
                       ? protocol_error("the server did not confirm that it had the frame "
                                        "(no answer to the requests sent behind it)")
                       : failed;
        const auto& answers = client.answers();
        // The answers behind the frame tell the line's state as the frame's last byte met it.
        if (answers.baud != baud)
            return protocol_error("the server's line was at " + grouped(*answers.baud) +
                                  " baud behind the frame, not at the " + grouped(baud) + " set");
        if (answers.datasize != rfc2217::DATASIZE_8)
            return protocol_error("the server's line had " +
                                  std::to_string(static_cast<unsigned>(*answers.datasize)) +
                                  " data bits behind the frame, not the 8 set");
        if (answers.linestate_mask && (*answers.linestate_mask & rfc2217::LINESTATE_SHIFT_EMPTY)) {
            // The transmitter empty after the answer: the line has carried the last byte. A
            // report that does not come in time leaves the frame's time on the line to wait for.
            const std::size_t reports = answers.transmitter_empty_reports;
            auto empty = [&] { return client.answers().transmitter_empty_reports > reports; };
            if (auto failed = wait_until(empty, deadline); failed && failed->code != ETIMEDOUT)
                return failed;
        }
    } else {
        // Where the system tells, a server that has not acknowledged every byte by then has
        // stopped taking data.
        auto acknowledged = [&] { return socket.unacknowledged().value_or(0) == 0; };
        if (auto failed = wait_until(acknowledged, deadline))
            return failed->code == ETIMEDOUT
                       ? SystemError{ETIMEDOUT, "the server stopped taking data"}
                       : failed;
    }
    // The frame's time on the line, to the millisecond: the wait runs out at on_line itself,
    // so its last slice ends there and not up to a slice later.
    if (auto failed = wait_until([] { return false; }, on_line); failed->code != ETIMEDOUT)
        return failed;

    // Over RFC 2217 the answers behind the frame said all there is to say; the connection ends
    // with the port. A raw connection ends here, and the server's end in answer tells that it
    // went cleanly: a connection reset, or none in time, means the server may not have passed
    // every byte on.
    if (rfc2217())
        return std::nullopt;
    if (auto failed = socket.shutdown_send())
        return failed;
    const Clock::time_point closing = answer_deadline();
    for (;;) {
        if (stop_seen())
            return stopped_error();
        if (Clock::now() >= closing)
            return SystemError{ETIMEDOUT, "the server did not end the connection within " +
                                              seconds_text(timeout_ms) +
                                              " of the frame, so it is not known to have "
                                              "passed the frame on"};
        TcpSocket::Ready ready = socket.wait(false, slice(milliseconds_left(closing)));
        if (ready.error && ready.error->code != EINTR)
            return ready.error;
        if (!ready.readable)
            continue;
        std::optional<SystemError> got = take_input(false);
        if (server_closed)
            return std::nullopt;  // the server's clean end
        if (got)
            return got;
    }
}

TransferResult NetworkPort::read(std::uint8_t* data, std::size_t size, int timeout_ms)
{
    Impl& m = *impl_;
    const Clock::time_point deadline = timeout_ms < 0
                                           ? Clock::time_point::max()
                                           : Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (m.pending.empty()) {
        int ms = timeout_ms < 0 ? -1 : milliseconds_left(deadline);
        TcpSocket::Ready ready = m.socket.wait(false, ms);
        if (ready.error)
            return {0, ready.error};
        if (!ready.readable)
            return {0, std::nullopt};  // the time ran out
        if (auto failed = m.take_input(true))
            return {0, failed};
        if (auto failed = m.send_replies(m.answer_deadline()))
            return {0, failed};
    }
    const std::size_t n = m.pending.size() < size ? m.pending.size() : size;
    std::copy(m.pending.begin(), m.pending.begin() + static_cast<std::ptrdiff_t>(n), data);
    m.pending.erase(m.pending.begin(), m.pending.begin() + static_cast<std::ptrdiff_t>(n));
    return {n, std::nullopt};
}

void NetworkPort::discard_input()
{
    // What is there now, and no more than a reader would keep: a server that sends without
    // pause must not hold the caller here.
    Impl& m = *impl_;
    for (std::size_t pieces = 0; pieces < MAX_PENDING / CHUNK && !m.stopped(); ++pieces)
        if (!m.socket.wait(false, 0).readable || m.take_input(false))
            break;
    m.pending.clear();
}

void NetworkPort::close()
{
    impl_->socket.close();
    impl_->pending.clear();
    impl_->server_closed = false;
}

}  // namespace orvanta
