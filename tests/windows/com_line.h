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
        handle_ = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
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
