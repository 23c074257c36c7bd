#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "port.h"

namespace orvanta {

// One serial port, used by one owner at a time; closed when the object goes. What the port is
// to the system stays inside serial_posix.cpp and serial_win32.cpp, which each implement it with
// their platform's own calls.
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

    // Sets the speed, 8N1, no flow control, raw bytes, and drops DTR and RTS.
    std::optional<SystemError> configure(std::uint32_t baud) override;

    // Writes all of data and returns how much went out. A Plain write returns once the port has
    // taken the whole frame. A Watched write reports progress, returns once the bytes have left
    // the port, and when it fails or is stopped drops what is still queued and counts only what
    // has left.
    TransferResult write(const std::uint8_t* data, std::size_t size,
                         const WriteWatch& watch = {}) override;

    // Reads up to size bytes, waiting at most timeout_ms for the first one (-1: no limit).
    // A count of 0 with no error means the time ran out. Needs a port opened Plain.
    TransferResult read(std::uint8_t* data, std::size_t size, int timeout_ms) override;

    // Drops what has arrived and not been read yet.
    void discard_input() override;

    void close() override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace orvanta
