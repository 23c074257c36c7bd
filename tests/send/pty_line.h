#pragma once
// The test line on POSIX: a pty pair whose slave a sender opens by name, and a thread that
// collects whatever reaches the master. It starts in a state a sender must change (9600 baud,
// parity, two stop bits, flow control).
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "line_state.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace orvanta::test {

class PtyLine {
public:
    // stop_after: the master is closed once this many bytes have come (0: never), as when
    // the other end of a cable goes away.
    explicit PtyLine(std::size_t stop_after = 0) : stop_after_(stop_after)
    {
        char name[128];
        termios tio{};
        cfmakeraw(&tio);
        cfsetspeed(&tio, B9600);
        tio.c_cflag |= PARENB | CSTOPB | CRTSCTS;  // a state the sender must change
        tio.c_iflag |= IXON | IXOFF;
        if (openpty(&master_, &slave_, name, &tio, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        path_ = name;
        reader_ = std::thread([this] { collect(); });
    }
    ~PtyLine()
    {
        done_ = true;
        reader_.join();
        if (master_ >= 0)
            close(master_);
        close(slave_);
    }
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    const std::string& path() const { return path_; }
    const std::string& port() const { return path_; }
    int slave() const { return slave_; }

    // How the line is set now.
    LineState state() const
    {
        termios tio;
        if (tcgetattr(slave_, &tio) != 0)
            return {};
        LineState now;
        now.baud = cfgetospeed(&tio) == B115200 ? 115200 : 0;
        now.data_bits = (tio.c_cflag & CSIZE) == CS8 ? 8 : 0;
        now.parity = (tio.c_cflag & PARENB) != 0;
        now.two_stop_bits = (tio.c_cflag & CSTOPB) != 0;
        now.hardware_flow = (tio.c_cflag & CRTSCTS) != 0;
        now.software_flow = (tio.c_iflag & (IXON | IXOFF | IXANY)) != 0;
        now.raw = (tio.c_oflag & OPOST) == 0 &&
                  (tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) == 0 &&
                  (tio.c_iflag & (ICRNL | ISTRIP)) == 0;
        return now;
    }

    // What arrived, once the line has been quiet for a while and the master holds nothing
    // unread: a reader thread kept off the processor on a busy machine only makes this wait.
    std::vector<std::uint8_t>
    received(std::chrono::milliseconds quiet = std::chrono::milliseconds(150))
    {
        std::size_t last = SIZE_MAX;
        for (;;) {
            std::this_thread::sleep_for(quiet);
            std::lock_guard<std::mutex> lock(mutex_);
            if (bytes_.size() == last && unread() == 0)
                return bytes_;
            last = bytes_.size();
        }
    }

private:
    void collect()
    {
        std::uint8_t chunk[4096];
        while (!done_) {
            pollfd p = {master_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0)
                continue;
            // Read under the lock, so that received() sees each byte either here or unread.
            std::lock_guard<std::mutex> lock(mutex_);
            ssize_t n = read(master_, chunk, sizeof chunk);
            if (n <= 0)
                continue;
            bytes_.insert(bytes_.end(), chunk, chunk + n);
            if (stop_after_ && bytes_.size() >= stop_after_) {
                close(master_);
                master_ = -1;
                return;
            }
        }
    }

    // Bytes waiting at the master that the reader has not taken yet (with mutex_ held).
    int unread() const
    {
        int n = 0;
        return master_ >= 0 && ioctl(master_, FIONREAD, &n) == 0 ? n : 0;
    }

    int master_ = -1;
    int slave_ = -1;  // held so that the line survives each sender's close
    std::string path_;
    std::size_t stop_after_;
    std::atomic<bool> done_{false};
    std::mutex mutex_;
    std::vector<std::uint8_t> bytes_;
    std::thread reader_;
};

}  // namespace orvanta::test
