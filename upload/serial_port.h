#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "system_error.h"

namespace orvanta {

// What a sender puts on the line besides the speed is fixed: 8 data bits, no parity, one stop
// bit, no flow control, DTR and RTS off.
constexpr std::uint32_t DEFAULT_BAUD = 115200;

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

// How the port's writes run. Plain: one blocking write and no other call on the port while it
// runs (the dialog's send). Watched: the writer can follow the write and stop it part-way (the
// command line's send); on Windows this needs a port opened for overlapped I/O.
enum class WriteMode { Plain, Watched };

// What a watched write reports to, and what stops it.
struct WriteWatch {
    WriteProgress progress;                    // bytes that have left the port so far, rising
    const std::atomic<bool>* stop = nullptr;   // once true (from a signal or console handler),
                                               // the write stops and drops what is still queued

    bool stopped() const { return stop && stop->load(); }
};

// One serial port, used by one owner at a time; closed when the object goes.
// serial_win32.cpp and serial_posix.cpp each implement it with their platform's own calls.
class SerialPort {
public:
    SerialPort() = default;
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the named port for exclusive use. A name that opens something other than a
    // serial device is closed again and reported as NotSerial.
    OpenResult open(const std::string& name, WriteMode mode = WriteMode::Plain);

    bool is_open() const;

    // Sets the speed, 8N1, no flow control, raw bytes, and drops DTR and RTS.
    std::optional<SystemError> configure(std::uint32_t baud);

    // Writes all of data and returns how much the port took. A watched write also waits until
    // the bytes have left, and when it fails or is stopped, drops what is still queued and counts
    // only what has left. On POSIX every write is watched; on Windows only on a Watched port.
    TransferResult write(const std::uint8_t* data, std::size_t size, const WriteWatch& watch = {});

    // Reads up to size bytes, waiting at most timeout_ms for the first one (-1: no limit).
    // A count of 0 with no error means the time ran out. Needs a port opened Plain.
    TransferResult read(std::uint8_t* data, std::size_t size, int timeout_ms);

    void close();

private:
#ifdef _WIN32
    void* handle_ = reinterpret_cast<void*>(-1);  // INVALID_HANDLE_VALUE
    WriteMode mode_ = WriteMode::Plain;
#else
    int fd_ = -1;
#endif
};

// Whether the port can be set to this speed.
bool is_supported_baud(std::uint32_t baud);

}  // namespace orvanta
