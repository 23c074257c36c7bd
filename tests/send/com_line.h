#pragma once
// The far end of the virtual cable: COM3 carries what is sent on COM2 (scripts/wine-session.sh
// links both to the two ends of one line).
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace orvanta::test {

class ComReader {
public:
    explicit ComReader(const char* name = "COM3")
    {
        handle_ =
            CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE)
            return;
        DCB dcb = {};
        dcb.DCBlength = sizeof dcb;
        dcb.BaudRate = 115200;
        dcb.fBinary = 1;
        dcb.ByteSize = 8;
        SetCommState(handle_, &dcb);
        COMMTIMEOUTS timeouts = {};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
        timeouts.ReadTotalTimeoutConstant = 100;
        SetCommTimeouts(handle_, &timeouts);
        received();  // whatever an earlier test left on the line
    }
    ~ComReader()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    ComReader(const ComReader&) = delete;
    ComReader& operator=(const ComReader&) = delete;

    bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }

    // Bytes the driver holds that have not been read yet.
    DWORD unread() const
    {
        DWORD errors = 0;
        COMSTAT status = {};
        return ClearCommError(handle_, &errors, &status) ? status.cbInQue : 0;
    }

    // Everything that arrives until the line has been quiet for quiet_reads reads of 100 ms.
    std::vector<std::uint8_t> received(int quiet_reads = 3)
    {
        std::vector<std::uint8_t> bytes;
        std::uint8_t chunk[4096];
        for (int quiet = 0; quiet < quiet_reads;) {
            DWORD got = 0;
            if (!ReadFile(handle_, chunk, sizeof chunk, &got, nullptr))
                break;
            quiet = got ? 0 : quiet + 1;
            bytes.insert(bytes.end(), chunk, chunk + got);
        }
        return bytes;
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace orvanta::test

#include <atomic>
#include <memory>

#include "line_state.h"
#include "win_thread.h"

namespace orvanta::test {

// The test line on Windows: COM2 is one end of the session's virtual cable (COM10 reaches it
// too), and a thread collects whatever reaches COM3, the other end. COM2 starts in a state a
// sender must change (9600 baud, 7 bits, even parity, two stop bits, flow control).
class ComLine {
public:
    ComLine()
    {
        HANDLE h = CreateFileA("COM2", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                               nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            DCB other = {};
            other.DCBlength = sizeof other;
            other.BaudRate = 9600;
            other.ByteSize = 7;
            other.Parity = EVENPARITY;
            other.StopBits = TWOSTOPBITS;
            other.fOutxCtsFlow = 1;
            other.fRtsControl = RTS_CONTROL_HANDSHAKE;
            other.fOutX = other.fInX = 1;
            SetCommState(h, &other);
            CloseHandle(h);
        }
        // The reader opens (and empties the line of what earlier tests left) before any send.
        reader_ = std::make_unique<ComReader>();
        InitializeCriticalSection(&lock_);
        collector_ = std::make_unique<WinThread>([this] { collect(); });
    }
    ~ComLine()
    {
        done_ = true;
        collector_.reset();
        DeleteCriticalSection(&lock_);
    }
    ComLine(const ComLine&) = delete;
    ComLine& operator=(const ComLine&) = delete;

    std::string port() const { return "COM2"; }

    // What arrived, once the line has been quiet for a while and the far end holds nothing
    // unread: a reader thread kept off the processor on a busy machine only makes this wait.
    std::vector<std::uint8_t> received()
    {
        std::size_t last = SIZE_MAX;
        for (;;) {
            Sleep(300);
            EnterCriticalSection(&lock_);
            const std::vector<std::uint8_t> now = bytes_;
            const DWORD unread = reader_->unread();
            LeaveCriticalSection(&lock_);
            if (now.size() == last && unread == 0)
                return now;
            last = now.size();
        }
    }

    LineState state() const
    {
        HANDLE h = CreateFileA("COM2", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                               nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return {};
        DCB now = {};
        now.DCBlength = sizeof now;
        const bool read = GetCommState(h, &now) != 0;
        CloseHandle(h);
        if (!read)
            return {};
        LineState state;
        state.baud = now.BaudRate == 115200 ? 115200 : 0;
        state.data_bits = now.ByteSize == 8 ? 8 : 0;
        state.parity = now.Parity != NOPARITY;
        state.two_stop_bits = now.StopBits != ONESTOPBIT;
        state.hardware_flow = now.fOutxCtsFlow || now.fRtsControl == RTS_CONTROL_HANDSHAKE;
        state.software_flow = now.fOutX || now.fInX;
        state.raw = true;
        return state;
    }

private:
    void collect()
    {
        // One read at a time under the lock (each waits at most 100 ms), so that received()
        // sees each byte either collected or still unread at the far end.
        while (!done_) {
            EnterCriticalSection(&lock_);
            std::vector<std::uint8_t> got = reader_->received(1);
            bytes_.insert(bytes_.end(), got.begin(), got.end());
            LeaveCriticalSection(&lock_);
        }
    }

    // The shipped build's compiler has no std::thread or std::mutex: Win32's own stand in.
    std::unique_ptr<ComReader> reader_;
    std::atomic<bool> done_{false};
    CRITICAL_SECTION lock_;
    std::vector<std::uint8_t> bytes_;
    std::unique_ptr<WinThread> collector_;
};

}  // namespace orvanta::test
