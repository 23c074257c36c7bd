#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "system_error.h"

namespace orvanta {

struct OpenResult {
    enum class Status { Opened, Failed, NotSerial } status = Status::Failed;
    SystemError error;  // why it failed (empty when opened or not a serial device)
};

struct TransferResult {
    std::size_t count = 0;              // bytes written or read
    std::optional<SystemError> error;   // set when the system reported a failure
};

// Called while a write is under way with the bytes that have left so far, of the total.
using WriteProgress = std::function<void(std::size_t done, std::size_t total)>;

// How the port's writes run, the same on every platform. Plain: the frame goes to the port in one
// blocking write that nothing follows or stops (the dialog's send; on Windows the port is opened
// for synchronous use and sees no call but the write). Watched: the writer can follow the write
// and stop it part-way (the command line's send).
enum class WriteMode { Plain, Watched };

// What a watched write reports to, and what stops it.
struct WriteWatch {
    WriteProgress progress;                    // bytes that have left the port so far, rising
    const std::atomic<bool>* stop = nullptr;   // once true (from a signal or console handler),
                                               // the write stops and drops what is still queued

    bool stopped() const { return stop && stop->load(); }
};

// One serial port, used by one owner at a time; closed when the object goes. What the port is
// to the system stays inside serial_posix.cpp and serial_win32.cpp, which each implement it with
// their platform's own calls.
class SerialPort {
public:
    SerialPort();
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the named port for exclusive use. A name that opens something other than a serial
    // device (a disk file, a printer, a pseudo-terminal's multiplexer, this process's own
    // terminal) is closed again, untouched, and reported as NotSerial.
    OpenResult open(const std::string& name, WriteMode mode = WriteMode::Plain);

    bool is_open() const;

    // Sets the speed, 8N1, no flow control, raw bytes, and drops DTR and RTS.
    std::optional<SystemError> configure(std::uint32_t baud);

    // Writes all of data and returns how much went out. A Plain write returns once the port has
    // taken the whole frame. A Watched write reports progress, returns once the bytes have left
    // the port, and when it fails or is stopped drops what is still queued and counts only what
    // has left.
    TransferResult write(const std::uint8_t* data, std::size_t size, const WriteWatch& watch = {});

    // Reads up to size bytes, waiting at most timeout_ms for the first one (-1: no limit).
    // A count of 0 with no error means the time ran out. Needs a port opened Plain.
    TransferResult read(std::uint8_t* data, std::size_t size, int timeout_ms);

    // Drops what has arrived and not been read yet.
    void discard_input();

    void close();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace orvanta
