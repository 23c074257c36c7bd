// The network port: the connection, the Telnet COM-PORT session on it, and the frame's write,
// the same on every platform. The socket calls are in tcp_socket_*.cpp, the protocol in
// rfc2217.cpp.
#include "network_port.h"

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

// How long a frame of size bytes takes on a line at baud with 10 bits a byte (8N1).
Clock::duration line_time(std::size_t size, std::uint32_t baud)
{
    const double seconds = static_cast<double>(size) * 10.0 / (baud ? baud : DEFAULT_BAUD);
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

SystemError protocol_error(std::string text) { return {EPROTO, std::move(text)}; }

SystemError closed_by_server() { return {ECONNRESET, "the server closed the connection"}; }

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
    TcpSocket socket;
    NetworkAddress address;
    rfc2217::Client client;
    std::vector<std::uint8_t> pending;  // the target's bytes not read yet
    std::uint32_t baud = DEFAULT_BAUD;
    bool server_closed = false;  // the server has ended its side of the stream

    bool rfc2217() const { return address.protocol == NetworkAddress::Protocol::Rfc2217; }

    // Takes what the server has sent, if anything: the target's bytes go to pending (kept
    // only when keep), the server's Telnet answers to the client.
    std::optional<SystemError> take_input(bool keep)
    {
        std::uint8_t chunk[4096];
        SocketIo got = socket.receive(chunk, sizeof chunk);
        if (got.error)
            return got.error;
        if (got.closed) {
            server_closed = true;
            return closed_by_server();
        }
        std::vector<std::uint8_t> data;
        if (rfc2217())
            client.feed(chunk, got.count, data);
        else
            data.assign(chunk, chunk + got.count);
        if (keep && pending.size() + data.size() <= MAX_PENDING)
            pending.insert(pending.end(), data.begin(), data.end());
        return std::nullopt;
    }

    // Waits up to timeout_ms for input and takes it; an interrupted wait is no failure.
    std::optional<SystemError> pump(int ms, bool keep)
    {
        TcpSocket::Ready ready = socket.wait(false, ms);
        if (ready.error)
            return ready.error->code == EINTR ? std::nullopt : ready.error;
        if (ready.readable)
            return take_input(keep);
        return std::nullopt;
    }

    // Sends a few bytes of requests or replies whole, reading meanwhile, by the deadline.
    std::optional<SystemError> send_all(const std::vector<std::uint8_t>& bytes,
                                        Clock::time_point deadline)
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            if (Clock::now() >= deadline)
                return errno_error(ETIMEDOUT);
            TcpSocket::Ready ready = socket.wait(true, milliseconds_left(deadline));
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
                                      std::size_t syncs_before, const WriteWatch& watch,
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
    if (auto problem = impl_->socket.connect(a.host, a.port, impl_->timeout_ms)) {
        SystemError error = problem->error;
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
    if (auto failed = send_all(rfc2217::line_setup_requests(rate), deadline))
        return failed;
    for (;;) {
        rfc2217::SetupVerdict setup =
            rfc2217::judge_setup(client.answers(), rate, Clock::now() >= deadline);
        if (setup.status == rfc2217::SetupVerdict::Status::Accepted)
            return send_replies(deadline);
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
    std::vector<std::uint8_t> wire;
    const std::size_t syncs_before = client.answers().baud_answers;
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
    // the system forgets what was still queued, and a fresh look would count it as taken.
    std::size_t last_taken = 0;
    auto taken = [&] {
        std::size_t queued = socket.unacknowledged();
        last_taken = counter.data_in(handed > queued ? handed - queued : 0);
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
        return {gone(last_taken), std::move(error)};
    };
    auto stopped = [&]() -> TransferResult {
        std::size_t had = gone(taken());
        if (rfc2217()) {  // the server drops what it still holds, if it can
            std::vector<std::uint8_t> purge =
                rfc2217::request(rfc2217::PURGE_DATA, {rfc2217::PURGE_TRANSMIT});
            send_all(purge, Clock::now() + std::chrono::milliseconds(WATCH_INTERVAL_MS));
        }
        return {had, errno_error(EINTR)};
    };

    while (handed < wire.size()) {
        if (watch.stopped())
            return stopped();
        TcpSocket::Ready ready = socket.wait(true, WATCH_INTERVAL_MS);
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
    if (auto failed = finish(started, size, syncs_before, watch, taken)) {
        if (watch.stopped())
            return stopped();
        return failed_with(failed);
    }
    report(size);
    return {size, std::nullopt};
}

// What follows the last byte: the server's word that it has the frame, the frame's time on
// the line, and a clean end of the connection.
std::optional<SystemError> NetworkPort::Impl::finish(Clock::time_point started, std::size_t size,
                                                     std::size_t syncs_before,
                                                     const WriteWatch& watch,
                                                     const std::function<std::size_t()>& look)
{
    const Clock::time_point on_line = started + line_time(size, baud);
    // The server reads the frame as its line takes it: its answer may take the frame's time.
    const Clock::time_point deadline =
        (on_line > Clock::now() ? on_line : Clock::now()) + std::chrono::milliseconds(timeout_ms);
    auto wait_until = [&](auto done, Clock::time_point until) -> std::optional<SystemError> {
        while (!done()) {
            if (watch.stopped())
                return errno_error(EINTR);
            if (Clock::now() >= until)
                return errno_error(ETIMEDOUT);
            int ms = milliseconds_left(until);
            look();
            if (auto failed = pump(ms < WATCH_INTERVAL_MS ? ms : WATCH_INTERVAL_MS, false))
                return failed;
        }
        return std::nullopt;
    };

    if (rfc2217()) {
        auto synced = [&] { return client.answers().baud_answers > syncs_before; };
        if (auto failed = wait_until(synced, deadline))
            return failed->code == ETIMEDOUT
                       ? protocol_error("the server did not confirm that it had the frame "
                                        "(no answer to a request sent behind it)")
                       : failed;
        const auto& answers = client.answers();
        if (answers.linestate_mask && (*answers.linestate_mask & rfc2217::LINESTATE_SHIFT_EMPTY)) {
            // The transmitter empty after the answer: the line has carried the last byte. A
            // report that does not come in time leaves the frame's time on the line to wait for.
            const std::size_t reports = answers.transmitter_empty_reports;
            auto empty = [&] { return client.answers().transmitter_empty_reports > reports; };
            if (auto failed = wait_until(empty, deadline); failed && failed->code != ETIMEDOUT)
                return failed;
        }
    } else {
        auto acknowledged = [&] { return socket.unacknowledged() == 0; };
        if (auto failed = wait_until(acknowledged, deadline); failed && failed->code != ETIMEDOUT)
            return failed;
    }
    // The frame's time on the line, to the millisecond: the wait runs out at on_line itself,
    // so its last slice ends there and not up to a slice later.
    if (auto failed = wait_until([] { return false; }, on_line); failed->code != ETIMEDOUT)
        return failed;

    // Over RFC 2217 the answer behind the frame said all there is to say; the connection ends
    // with the port. A raw connection ends here, and the server's end in answer tells that it
    // went cleanly: a connection reset instead means the server may not have had every byte.
    if (rfc2217())
        return std::nullopt;
    if (auto failed = socket.shutdown_send())
        return failed;
    const Clock::time_point closing = answer_deadline();
    for (;;) {
        if (watch.stopped())
            return errno_error(EINTR);
        if (Clock::now() >= closing)
            return std::nullopt;  // the server keeps its end open: nothing more to learn
        TcpSocket::Ready ready = socket.wait(false, WATCH_INTERVAL_MS);
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
    Impl& m = *impl_;
    while (m.socket.wait(false, 0).readable && !m.take_input(false)) {
    }
    m.pending.clear();
}

void NetworkPort::close()
{
    impl_->socket.close();
    impl_->pending.clear();
    impl_->server_closed = false;
}

}  // namespace orvanta
