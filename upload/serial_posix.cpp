// The serial port on Linux and macOS: termios in raw mode, an exclusive hold on the device, and
// a write that waits until the bytes have left.
#include "serial_port.h"

#include "fd_io_posix.h"
#include "line_settings.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#ifdef __linux__
#include <sys/sysmacros.h>
#endif
#include <termios.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

namespace orvanta {

namespace {

struct BaudCode {
    std::uint32_t rate;
    speed_t code;
};

const BaudCode baud_codes[] = {
    {50, B50},           {75, B75},         {110, B110},       {134, B134},     {150, B150},
    {200, B200},         {300, B300},       {600, B600},       {1200, B1200},   {1800, B1800},
    {2400, B2400},       {4800, B4800},     {9600, B9600},     {19200, B19200}, {38400, B38400},
    {57600, B57600},     {115200, B115200}, {230400, B230400},
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

// The rates of the standard table this system has a code for; a rate it lacks is refused when
// the port is configured.
const BaudCode* find_baud(std::uint32_t rate)
{
    for (const BaudCode& b : baud_codes)
        if (b.rate == rate)
            return &b;
    return nullptr;
}

// Pieces of this size keep the driver's queue filled while progress is reported between them.
constexpr std::size_t WRITE_PIECE = 4096;

// Bytes the driver holds that have not left yet; nothing when it cannot say (a USB adapter
// pulled out answers with an error).
std::optional<std::size_t> queued_output(int fd)
{
    int queued = 0;
    if (ioctl(fd, TIOCOUTQ, &queued) != 0 || queued < 0)
        return std::nullopt;
    return static_cast<std::size_t>(queued);
}

std::size_t gone(std::size_t handed, std::size_t queued)
{
    return handed > queued ? handed - queued : 0;
}

// The far end of a pseudo-terminal pair (a virtual line, an emulated target's console): what it
// holds for its reader does not show as this end's output queue, and flushing that queue drops
// it all the same, so a stopped send would count as gone bytes that never arrive.
bool is_pty_end(int fd)
{
    const char* name = ttyname(fd);
    if (name == nullptr)
        return false;
    return std::strncmp(name, "/dev/pts/", 9) == 0 ||                                      // Linux
           (std::strncmp(name, "/dev/ttys", 9) == 0 && name[9] >= '0' && name[9] <= '9');  // macOS
}

// A port held by another program: refused by its exclusive flag (EBUSY, for all but root) or by
// another sender's lock.
SystemError in_use() { return {EBUSY, "the port is in use by another program"}; }

#ifdef __linux__
// The device number of a process's controlling terminal in a line of /proc/PID/stat: "pid
// (command) state ppid pgrp session tty_nr ...", where the command may hold ") " itself.
unsigned long long controlling_terminal(const char* line)
{
    const char* at = std::strrchr(line, ')');
    if (!at)
        return 0;
    ++at;
    for (int field = 0; field < 4; ++field) {  // state, ppid, pgrp, session
        while (*at == ' ')
            ++at;
        while (*at != '\0' && *at != ' ')
            ++at;
    }
    return std::strtoull(at, nullptr, 10);
}

// Whether some process on this machine has the terminal as its controlling terminal, as far as
// /proc shows: the seventh field of /proc/PID/stat is that terminal's device number.
bool is_a_session_terminal(int fd)
{
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode))
        return false;
    DIR* proc = opendir("/proc");
    if (!proc)
        return false;
    bool found = false;
    while (const dirent* entry = readdir(proc)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9')
            continue;
        const std::string path = std::string("/proc/") + entry->d_name + "/stat";
        std::FILE* stat_file = std::fopen(path.c_str(), "re");
        if (!stat_file)
            continue;
        char line[1024];
        const bool read = std::fgets(line, sizeof line, stat_file) != nullptr;
        std::fclose(stat_file);
        const unsigned long long terminal = read ? controlling_terminal(line) : 0;
        if (terminal != 0 && major(terminal) == major(info.st_rdev) &&
            minor(terminal) == minor(info.st_rdev)) {
            found = true;
            break;
        }
    }
    closedir(proc);
    return found;
}
#else
bool is_a_session_terminal(int) { return false; }
#endif

// A terminal that is no serial line: the pseudo-terminal multiplexer (each open of it makes a new
// pair whose other end nobody reads, so a write would wait for ever), this process's own
// controlling terminal (the user's screen; /dev/tty names it too), or the controlling terminal
// of any other session (the user's screen still, when the command runs under setsid or from
// another login; a serial line with a login on it). The virtual lines of the tests and of
// receive --virtual are nobody's controlling terminal.
bool is_not_a_line(int fd)
{
    if (ptsname(fd) != nullptr)  // only the multiplexer's end of a pair has a partner name
        return true;
    pid_t session = tcgetsid(fd);
    if (session >= 0 && session == getsid(0))
        return true;
    return is_a_session_terminal(fd);
}

// Whether the device's exclusive flag is set already (by another program that holds it), where
// the system can tell.
bool is_exclusive(int fd)
{
#ifdef TIOCGEXCL
    int exclusive = 0;
    return ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
#else
    (void)fd;
    return false;
#endif
}

bool is_socket(const std::string& name)
{
    struct stat info;
    return stat(name.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

// The kernel raises DTR and RTS as it opens a serial port (whenever the line it keeps from the
// port's last use has a speed, which it always has after a send), and a board whose reset hangs
// on DTR takes that for a reset. Lowered before anything else is done with the port, the pulse
// is as short as the platform allows. Never on this process's own terminal, which is refused
// as a line and left as it is. A pty, or a file that is no terminal, has no modem lines: the
// call fails and changes nothing.
void lower_modem_lines(int fd, pid_t own_session)
{
    if (tcgetsid(fd) == own_session)
        return;
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIC, &lines);
}

// A plain write hands over the whole frame and waits until it has left; a signal does not cut
// it short.
TransferResult plain_write(int fd, const std::uint8_t* data, std::size_t size)
{
    std::size_t handed = 0;
    while (handed < size) {
        ssize_t n = ::write(fd, data + handed, size - handed);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return {handed, last_system_error()};
        handed += static_cast<std::size_t>(n);
    }
    while (tcdrain(fd) != 0) {
        if (errno != EINTR)
            return {handed, last_system_error()};
    }
    return {size, std::nullopt};
}

// How often a watched write that waits for room on the port looks at the stop flag: the flag may
// be set by another thread (several ports at once), which no signal interrupts.
constexpr int STOP_LOOK_MS = 100;

// How far a watched write got: bytes handed to the driver, and bytes known to have left it (the
// last time the driver said how many it still held).
struct WriteCount {
    std::size_t handed = 0;
    std::size_t gone = 0;

    void look(int fd)
    {
        if (std::optional<std::size_t> queued = queued_output(fd))
            gone = orvanta::gone(handed, *queued);
    }
};

// Hands data to the driver without blocking, waiting for room between pieces, so that a stop is
// seen within STOP_LOOK_MS even when the port takes nothing more (a stalled line).
std::optional<SystemError> hand_over(int fd, const std::uint8_t* data, std::size_t size,
                                     const WriteWatch& watch, WriteCount& count)
{
    std::size_t& handed = count.handed;
    while (handed < size) {
        if (watch.stopped())
            return errno_error(EINTR);
        pollfd p = {fd, POLLOUT, 0};
        int ready = poll(&p, 1, STOP_LOOK_MS);
        if (ready < 0)
            return last_system_error();  // EINTR too: a signal during a send stops it
        if (ready == 0)
            continue;
        if (p.revents & (POLLERR | POLLHUP | POLLNVAL))
            return errno_error(EIO);
        std::size_t piece = size - handed < WRITE_PIECE ? size - handed : WRITE_PIECE;
        ssize_t n = ::write(fd, data + handed, piece);
        if (n < 0 && errno == EAGAIN)
            continue;
        if (n < 0)
            return last_system_error();
        handed += static_cast<std::size_t>(n);
        count.look(fd);
        if (watch.progress)
            watch.progress(count.gone, size);
    }
    return std::nullopt;
}

TransferResult watched_write(int fd, const std::uint8_t* data, std::size_t size,
                             const WriteWatch& watch)
{
    WriteCount count;
    const int flags = fcntl(fd, F_GETFL);
    std::optional<SystemError> error;
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0)
        error = last_system_error();
    if (!error)
        error = hand_over(fd, data, size, watch, count);
    if (flags >= 0)
        fcntl(fd, F_SETFL, flags);
    // The driver's queue drains at the line's pace (minutes at a low rate): wait for it in steps
    // that see a stop, telling the progress as it goes; tcdrain then waits only for the last
    // bytes in the hardware.
    for (std::size_t queued = 0;
         !error && (queued = queued_output(fd).value_or(0)) > 0 && !watch.stopped();) {
        if (watch.progress)
            watch.progress(gone(count.handed, queued), size);
        poll(nullptr, 0, 10);
    }
    // A stop counts only while bytes of the frame are still queued: a frame that has left whole
    // was sent, however late the stop came.
    if (!error && watch.stopped() && queued_output(fd).value_or(0) > 0)
        error = errno_error(EINTR);
    while (!error && tcdrain(fd) != 0) {
        const int reason = errno;
        if (reason != EINTR || (watch.stopped() && queued_output(fd).value_or(0) > 0))
            error = errno_error(reason);
    }
    if (error) {
        // What is still queued will not go out: drop it, so that close does not wait for it.
        // After a stop the driver still knows what it holds. After a failure it may not: a USB
        // adapter pulled out says it holds nothing, or answers with an error, and what it held
        // was lost; the count is then what had left when the driver last could say. On a pty
        // nothing shows as queued and close does not wait: what was handed over stays there
        // for the reader, as counted.
        if (error->code == EINTR)
            count.look(fd);
        if (!is_pty_end(fd))
            tcflush(fd, TCOFLUSH);
        return {count.gone, error};
    }
    if (watch.progress)
        watch.progress(size, size);
    return {size, std::nullopt};
}

}  // namespace

struct SerialPort::Impl {
    int fd = -1;
    WriteMode mode = WriteMode::Plain;
    bool was_exclusive = false;  // the device's exclusive flag was set before the open
};

SerialPort::SerialPort() : impl_(std::make_unique<Impl>()) {}

SerialPort::~SerialPort() { close(); }

bool SerialPort::is_open() const { return impl_->fd >= 0; }

OpenResult SerialPort::open(const std::string& name, WriteMode mode)
{
    close();
    const pid_t own_session = getsid(0);  // asked first: nothing may come between open and lowering
    // O_NONBLOCK only so that the open does not wait for a modem's carrier.
    int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int reason = errno;
        if (is_socket(name))  // opening one says ENXIO, as a device not there yet would
            return {OpenResult::Status::NotSerial, {}};
        return {OpenResult::Status::Failed, reason == EBUSY ? in_use() : errno_error(reason)};
    }
    lower_modem_lines(fd, own_session);
    if (!isatty(fd) || is_not_a_line(fd)) {
        ::close(fd);
        return {OpenResult::Status::NotSerial, {}};
    }
    // The lock first, which changes nothing on the device and keeps out a second sender whoever
    // runs it; only then TIOCEXCL, which keeps other programs out (but not root). A refusal thus
    // leaves the device as it was: its exclusive flag would outlive this descriptor while
    // anyone else holds the device, and shut out every user but root.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        SystemError error = errno == EWOULDBLOCK ? in_use() : last_system_error();
        ::close(fd);
        return {OpenResult::Status::Failed, error};
    }
    const bool was_exclusive = is_exclusive(fd);
    int flags = fcntl(fd, F_GETFL);
    if (ioctl(fd, TIOCEXCL) != 0 || flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        SystemError error = last_system_error();
        if (!was_exclusive)
            ioctl(fd, TIOCNXCL);
        ::close(fd);
        return {OpenResult::Status::Failed, error};
    }
    impl_->fd = fd;
    impl_->mode = mode;
    impl_->was_exclusive = was_exclusive;
    return {OpenResult::Status::Opened, {}};
}

std::optional<SystemError> SerialPort::configure(std::uint32_t baud)
{
    const int fd = impl_->fd;
    const BaudCode* speed = find_baud(baud);
    if (!speed)
        return errno_error(EINVAL);
    termios tio;
    if (tcgetattr(fd, &tio) != 0)
        return last_system_error();
    cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (cfsetispeed(&tio, speed->code) != 0 || cfsetospeed(&tio, speed->code) != 0 ||
        tcsetattr(fd, TCSANOW, &tio) != 0)
        return last_system_error();
    // tcsetattr succeeds when it applied any of the settings: read them back.
    termios now;
    if (tcgetattr(fd, &now) != 0)
        return last_system_error();
    if (cfgetospeed(&now) != speed->code || (now.c_cflag & CSIZE) != CS8 ||
        (now.c_cflag & (PARENB | CSTOPB | CRTSCTS)) != 0)
        return errno_error(EINVAL);
    // A pty has no modem lines; there is nothing to drop.
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (ioctl(fd, TIOCMBIC, &lines) != 0 && errno != ENOTTY && errno != EINVAL)
        return last_system_error();
    return std::nullopt;
}

TransferResult SerialPort::write(const std::uint8_t* data, std::size_t size,
                                 const WriteWatch& watch)
{
    if (impl_->mode == WriteMode::Plain)
        return plain_write(impl_->fd, data, size);
    return watched_write(impl_->fd, data, size, watch);
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
    return read_fd(impl_->fd, data, size, timeout_ms);
}

void SerialPort::discard_input() { tcflush(impl_->fd, TCIFLUSH); }

void SerialPort::close()
{
    if (impl_->fd < 0)
        return;
    // The exclusive flag stays on the device while anyone else still has it open (the other
    // end of a virtual line, say); clear it so the next sender is not refused, unless it was
    // set before (root may open a port that another program holds that way).
    if (!impl_->was_exclusive)
        ioctl(impl_->fd, TIOCNXCL);
    ::close(impl_->fd);
    impl_->fd = -1;
}

}  // namespace orvanta
