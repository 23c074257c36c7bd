#pragma once
// What the send and the receive need of a line, whatever reaches it: a serial port of this
// machine (SerialPort) or a serial server on the network (NetworkPort, command line only).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "system_error.h"

namespace orvanta {

struct OpenResult {
    enum class Status { Opened, Failed, NotSerial } status = Status::Failed;
    SystemError error;  // why it failed (empty when opened or not a serial device)
};

struct TransferResult {
    std::size_t count = 0;             // bytes written or read
    std::optional<SystemError> error;  // set when the system reported a failure
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
    WriteProgress progress;                   // bytes that have left the port so far, rising
    const std::atomic<bool>* stop = nullptr;  // once true (from a signal or console handler),
                                              // the write stops and drops what is still queued

    bool stopped() const { return stop && stop->load(); }
};

// A line that one owner opens by name, sets up, writes and reads, and closes; closed when the
// object goes.
class Port {
public:
    virtual ~Port() = default;

    // Opens the named line for exclusive use. A name that opens something other than a serial
    // line is closed again, untouched, and reported as NotSerial.
    virtual OpenResult open(const std::string& name, WriteMode mode = WriteMode::Plain) = 0;

    virtual bool is_open() const = 0;

    // The flag that, once set (from a signal or console handler), ends the waits of open and
    // configure as well as a watched write's: a port that waits on a remote side while it opens
    // and sets up (a network port) looks at it at least every 100 ms and fails with EINTR. A port
    // of this machine does not wait there and keeps no flag.
    virtual void watch_stop(const std::atomic<bool>* stop) { (void)stop; }

    // Sets the speed, 8N1, no flow control, raw bytes, and drops DTR and RTS.
    virtual std::optional<SystemError> configure(std::uint32_t baud) = 0;

    // Writes all of data and returns how much went out. A Plain write returns once the line has
    // taken the whole frame. A Watched write reports progress, returns once the bytes have left,
    // and when it fails or is stopped drops what is still queued and counts only what has left.
    virtual TransferResult write(const std::uint8_t* data, std::size_t size,
                                 const WriteWatch& watch = {}) = 0;

    // Reads up to size bytes, waiting at most timeout_ms for the first one (-1: no limit).
    // A count of 0 with no error means the time ran out.
    virtual TransferResult read(std::uint8_t* data, std::size_t size, int timeout_ms) = 0;

    // Drops what has arrived and not been read yet.
    virtual void discard_input() = 0;

    virtual void close() = 0;

protected:
    Port() = default;
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;
};

}  // namespace orvanta
