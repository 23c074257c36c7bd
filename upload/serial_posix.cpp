// The serial port on Linux and macOS: termios in raw mode, an exclusive hold on the device, and
// a write that waits until the bytes have left.
#include "serial_port.h"

#include "fd_read_posix.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <poll.h>
#include <unistd.h>

namespace orvanta {

namespace {

struct BaudCode {
    std::uint32_t rate;
    speed_t code;
};

const BaudCode baud_codes[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},
#endif
#ifdef B921600
    {921600, B921600},
#endif
#ifdef B1000000
    {1000000, B1000000},
#endif
#ifdef B2000000
    {2000000, B2000000},
#endif
};

const BaudCode* find_baud(std::uint32_t rate)
{
    for (const BaudCode& b : baud_codes)
        if (b.rate == rate)
            return &b;
    return nullptr;
}

// Pieces of this size keep the driver's queue filled while progress is reported between them.
constexpr std::size_t WRITE_PIECE = 4096;

// Bytes the driver holds that have not left yet.
std::size_t queued_output(int fd)
{
    int queued = 0;
    if (ioctl(fd, TIOCOUTQ, &queued) != 0 || queued < 0)
        return 0;
    return static_cast<std::size_t>(queued);
}

std::size_t gone(std::size_t handed, std::size_t queued)
{
    return handed > queued ? handed - queued : 0;
}

}  // namespace


SystemError last_system_error() { return errno_error(errno); }

SerialPort::~SerialPort() { close(); }

bool SerialPort::is_open() const { return fd_ >= 0; }

// Every write here can be followed and stopped, so both modes open the same way.
OpenResult SerialPort::open(const std::string& name, WriteMode)
{
    close();
    // O_NONBLOCK only so that the open does not wait for a modem's carrier.
    int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {OpenResult::Status::Failed, last_system_error()};
    if (!isatty(fd)) {
        ::close(fd);
        return {OpenResult::Status::NotSerial, {}};
    }
    // TIOCEXCL keeps other programs out (but not root); the lock keeps out a second sender
    // whoever runs it.
    if (ioctl(fd, TIOCEXCL) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        SystemError error = errno == EWOULDBLOCK
                                ? SystemError{EBUSY, "the port is in use by another program"}
                                : last_system_error();
        ::close(fd);
        return {OpenResult::Status::Failed, error};
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        SystemError error = last_system_error();
        ::close(fd);
        return {OpenResult::Status::Failed, error};
    }
    fd_ = fd;
    return {OpenResult::Status::Opened, {}};
}

std::optional<SystemError> SerialPort::configure(std::uint32_t baud)
{
    const BaudCode* speed = find_baud(baud);
    if (!speed)
        return SystemError{EINVAL, "unsupported baud rate " + std::to_string(baud)};
    termios tio;
    if (tcgetattr(fd_, &tio) != 0)
        return last_system_error();
    cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (cfsetispeed(&tio, speed->code) != 0 || cfsetospeed(&tio, speed->code) != 0 ||
        tcsetattr(fd_, TCSANOW, &tio) != 0)
        return last_system_error();
    // A pty has no modem lines; there is nothing to drop.
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (ioctl(fd_, TIOCMBIC, &lines) != 0 && errno != ENOTTY && errno != EINVAL)
        return last_system_error();
    return std::nullopt;
}

TransferResult SerialPort::write(const std::uint8_t* data, std::size_t size,
                                 const WriteWatch& watch)
{
    std::size_t handed = 0;
    std::optional<SystemError> error;
    // Blocking pieces keep the driver's queue filled, so the line has no gap between bytes.
    while (handed < size && !error) {
        if (watch.stopped()) {
            error = errno_error(EINTR);
            break;
        }
        std::size_t piece = size - handed < WRITE_PIECE ? size - handed : WRITE_PIECE;
        ssize_t n = ::write(fd_, data + handed, piece);
        if (n < 0) {
            // EINTR is not retried: a signal during a send is how the user stops it.
            error = last_system_error();
            break;
        }
        handed += static_cast<std::size_t>(n);
        if (watch.progress)
            watch.progress(gone(handed, queued_output(fd_)), size);
    }
    if (!error && watch.stopped())
        error = errno_error(EINTR);
    if (!error && tcdrain(fd_) != 0)
        error = last_system_error();
    if (error) {
        // What is still queued will not go out: drop it, so that close does not wait for it.
        std::size_t left = gone(handed, queued_output(fd_));
        tcflush(fd_, TCOFLUSH);
        return {left, error};
    }
    if (watch.progress)
        watch.progress(size, size);
    return {size, std::nullopt};
}

TransferResult read_fd(int fd, std::uint8_t* data, std::size_t size, int timeout_ms)
{
    TransferResult result;
    pollfd p = {fd, POLLIN, 0};
    int ready = poll(&p, 1, timeout_ms);
    if (ready < 0) {
        result.error = last_system_error();
        return result;
    }
    if (ready == 0)
        return result;
    ssize_t n = ::read(fd, data, size);
    if (n < 0)
        result.error = last_system_error();
    else
        result.count = static_cast<std::size_t>(n);
    return result;
}

TransferResult SerialPort::read(std::uint8_t* data, std::size_t size, int timeout_ms)
{
    return read_fd(fd_, data, size, timeout_ms);
}

void SerialPort::close()
{
    if (fd_ < 0)
        return;
    // The exclusive flag stays on the device while anyone else still has it open (the other
    // end of a virtual line, say); clear it so the next sender is not refused.
    ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
}

bool is_supported_baud(std::uint32_t baud) { return find_baud(baud) != nullptr; }

}  // namespace orvanta
