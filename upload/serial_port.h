#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "port.h"

namespace orvanta {

// One serial port of this machine, as Port describes it. What the port is to the system (a
// descriptor, a HANDLE) stays inside serial_posix.cpp and serial_win32.cpp, which each implement
// it with their platform's own calls.
class SerialPort final : public Port {
public:
    SerialPort();
    ~SerialPort() override;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the named port for exclusive use. A name that opens something other than a serial
    // device (a disk file, a printer, a pseudo-terminal's multiplexer, this process's own
    // terminal) is closed again, untouched, and reported as NotSerial.
    OpenResult open(const std::string& name, WriteMode mode = WriteMode::Plain) override;

    bool is_open() const override;
    std::optional<SystemError> configure(std::uint32_t baud) override;
    TransferResult write(const std::uint8_t* data, std::size_t size,
                         const WriteWatch& watch = {}) override;

    // Needs a port opened Plain (on Windows a Watched port is opened for overlapped use).
    TransferResult read(std::uint8_t* data, std::size_t size, int timeout_ms) override;

    void discard_input() override;
    void close() override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace orvanta
