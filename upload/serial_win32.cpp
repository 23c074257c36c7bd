// The serial port on Windows: CreateFileA, one DCB built from constants, SetCommState,
// WriteFile, CloseHandle. A Plain port's send makes no other call on the port: no time-outs,
// queue sizes, purges or modem-line calls, so the write runs under the port's own time-outs.
// Only a Watched port (the command line's) is opened for overlapped I/O, so that its one
// WriteFile can be followed and cancelled from the thread that issued it.
#include "serial_port.h"

#include <windows.h>

#include "port_name.h"
#include "system_error.h"

namespace orvanta {

namespace {

// Every field of the line settings, from constants; the port's current state is never read.
DCB line_settings(std::uint32_t baud)
{
    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof(DCB);  // 28
    dcb.BaudRate = baud;
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    return dcb;
}

// A manual-reset event for one overlapped request; closed with the object.
class Event {
public:
    Event() : handle_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Event()
    {
        if (handle_)
            CloseHandle(handle_);
    }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

// How often a watched write looks at the driver's queue and at the stop flag.
constexpr DWORD WATCH_INTERVAL_MS = 100;

// Bytes the driver has yet to send. Drivers that count the bytes of a pending write here tell
// how far it has got; others show only their own buffer.
std::size_t queued_output(HANDLE h)
{
    DWORD errors = 0;
    COMSTAT status = {};
    return ClearCommError(h, &errors, &status) ? status.cbOutQue : 0;
}

SystemError stopped_by_user() { return {ERROR_OPERATION_ABORTED, "stopped"}; }

// Gives up the rest of a write: the pending request (CancelIo, which XP has, works because this
// thread issued it; Wine needs it too) and whatever the driver has queued.
void abandon(HANDLE h)
{
    CancelIo(h);
    PurgeComm(h, PURGE_TXABORT | PURGE_TXCLEAR);
}

// Follows one write under way: reports how far it has got, and gives it up once the stop flag
// is set.
class WriteFollower {
public:
    WriteFollower(HANDLE h, std::size_t size, const WriteWatch& watch)
            : h_(h), size_(size), watch_(watch)
    {
    }

    // Looks at the driver's queue once: the bytes still queued, or nothing once given up.
    std::optional<std::size_t> look()
    {
        std::size_t queued = queued_output(h_);
        if (watch_.stopped()) {
            left_ = queued;
            stopped_ = true;
            abandon(h_);
            return std::nullopt;
        }
        if (queued > 0 && queued <= size_)
            report(size_ - queued);
        return queued;
    }

    bool stopped() const { return stopped_; }

    // Of what the driver took, what went out: not what was still queued when given up.
    std::size_t gone(std::size_t taken) const
    {
        std::size_t most = left_ < size_ ? size_ - left_ : 0;
        return taken < most ? taken : most;
    }

    void report(std::size_t done) const
    {
        if (watch_.progress)
            watch_.progress(done, size_);
    }

private:
    HANDLE h_;
    std::size_t size_;
    const WriteWatch& watch_;
    bool stopped_ = false;
    std::size_t left_ = 0;
};

// The whole frame in one overlapped WriteFile, so the driver holds all of it and the line has no
// gap, while this thread follows it.
TransferResult watched_write(HANDLE h, const std::uint8_t* data, std::size_t size,
                             const WriteWatch& watch)
{
    TransferResult result;
    if (watch.stopped()) {
        result.error = stopped_by_user();
        return result;
    }
    // No time-out: whatever an earlier program left set would cut the frame short; a write that
    // cannot finish is the user's to stop.
    COMMTIMEOUTS no_timeouts = {};
    Event done;
    OVERLAPPED request = {};
    request.hEvent = done.get();
    if (!done.get() || !SetCommTimeouts(h, &no_timeouts) ||
        (!WriteFile(h, data, static_cast<DWORD>(size), nullptr, &request) &&
         GetLastError() != ERROR_IO_PENDING)) {
        result.error = last_system_error();
        return result;
    }

    WriteFollower follow(h, size, watch);
    while (WaitForSingleObject(done.get(), WATCH_INTERVAL_MS) == WAIT_TIMEOUT && follow.look()) {
    }
    DWORD taken = 0;
    const bool completed = GetOverlappedResult(h, &request, &taken, TRUE) != 0;
    if (!completed && !follow.stopped()) {
        result.error = last_system_error();
        abandon(h);
    }
    // The request completes once the driver has taken the last byte; wait until it has left.
    if (completed) {
        for (auto queued = follow.look(); queued && *queued > 0; queued = follow.look())
            Sleep(WATCH_INTERVAL_MS);
    }
    if (follow.stopped())
        result.error = stopped_by_user();
    result.count = follow.gone(taken);
    if (!result.error && result.count == size)
        follow.report(size);
    return result;
}

}  // namespace

struct SerialPort::Impl {
    HANDLE handle = INVALID_HANDLE_VALUE;
    WriteMode mode = WriteMode::Plain;
};

SerialPort::SerialPort() : impl_(std::make_unique<Impl>()) {}

SerialPort::~SerialPort() { close(); }

bool SerialPort::is_open() const { return impl_->handle != INVALID_HANDLE_VALUE; }

OpenResult SerialPort::open(const std::string& name, WriteMode mode)
{
    close();
    const DWORD flags = mode == WriteMode::Watched ? FILE_FLAG_OVERLAPPED : 0;
    HANDLE h = CreateFileA(win32_device_path(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                           nullptr, OPEN_EXISTING, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return {OpenResult::Status::Failed, last_system_error()};
    // A serial port is what answers as one: a disk file, NUL, a printer or a parallel port has no
    // comm state to read, and writing the frame there would overwrite or lose it.
    DCB current;
    ZeroMemory(&current, sizeof current);
    current.DCBlength = sizeof current;
    if (!GetCommState(h, &current)) {
        CloseHandle(h);
        return {OpenResult::Status::NotSerial, {}};
    }
    impl_->handle = h;
    impl_->mode = mode;
    return {OpenResult::Status::Opened, {}};
}

std::optional<SystemError> SerialPort::configure(std::uint32_t baud)
{
    DCB dcb = line_settings(baud);
    if (!SetCommState(impl_->handle, &dcb))
        return last_system_error();
    return std::nullopt;
}

TransferResult SerialPort::write(const std::uint8_t* data, std::size_t size,
                                 const WriteWatch& watch)
{
    if (impl_->mode == WriteMode::Watched)
        return watched_write(impl_->handle, data, size, watch);
    // One WriteFile of the whole frame keeps the driver's queue full from first byte to last.
    DWORD written = 0;
    TransferResult result;
    if (!WriteFile(impl_->handle, data, static_cast<DWORD>(size), &written, nullptr))
        result.error = last_system_error();
    result.count = written;
    return result;
}

TransferResult SerialPort::read(std::uint8_t* data, std::size_t size, int timeout_ms)
{
    // Return as soon as a byte is there, or after timeout_ms with none.
    COMMTIMEOUTS timeouts = {};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant =
        timeout_ms < 0 ? MAXDWORD - 1 : static_cast<DWORD>(timeout_ms > 0 ? timeout_ms : 1);
    TransferResult result;
    if (!SetCommTimeouts(impl_->handle, &timeouts)) {
        result.error = last_system_error();
        return result;
    }
    DWORD got = 0;
    if (!ReadFile(impl_->handle, data, static_cast<DWORD>(size), &got, nullptr))
        result.error = last_system_error();
    result.count = got;
    return result;
}

void SerialPort::discard_input() { PurgeComm(impl_->handle, PURGE_RXCLEAR); }

void SerialPort::close()
{
    if (is_open())
        CloseHandle(impl_->handle);
    impl_->handle = INVALID_HANDLE_VALUE;
}

}  // namespace orvanta
