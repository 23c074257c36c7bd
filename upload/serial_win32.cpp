// The serial port on Windows: CreateFileA, one DCB built from constants, SetCommState,
// WriteFile, CloseHandle. The send path makes no other call on the port: no time-outs,
// queue sizes, purges or modem-line calls, so the write runs under the port's own time-outs.
#include "serial_port.h"

#include <windows.h>

#include "port_name.h"

namespace orvanta {

namespace {

HANDLE as_handle(void* h) { return static_cast<HANDLE>(h); }

// Every field of the line settings, from constants; the port's current state is never read.
DCB line_settings(std::uint32_t baud)
{
    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof(DCB);  // 28
    dcb.BaudRate = baud;
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    return dcb;
}

std::string trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' ||
                             text.back() == '.'))
        text.pop_back();
    return text;
}

}  // namespace

SystemError last_system_error()
{
    DWORD code = GetLastError();
    char buffer[512] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, buffer, sizeof buffer, nullptr);
    std::string text = length ? trimmed(std::string(buffer, length))
                              : "system error " + std::to_string(code);
    return {static_cast<long>(code), text};
}

SerialPort::~SerialPort() { close(); }

bool SerialPort::is_open() const { return as_handle(handle_) != INVALID_HANDLE_VALUE; }

OpenResult SerialPort::open(const std::string& name)
{
    close();
    HANDLE h = CreateFileA(win32_device_path(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return {OpenResult::Status::Failed, last_system_error()};
    // A disk file's path typed as the port name opens too; writing the frame would overwrite it.
    if (GetFileType(h) != FILE_TYPE_CHAR) {
        CloseHandle(h);
        return {OpenResult::Status::NotSerial, {}};
    }
    handle_ = h;
    return {OpenResult::Status::Opened, {}};
}

std::optional<SystemError> SerialPort::configure(std::uint32_t baud)
{
    DCB dcb = line_settings(baud);
    if (!SetCommState(as_handle(handle_), &dcb))
        return last_system_error();
    return std::nullopt;
}

TransferResult SerialPort::write(const std::uint8_t* data, std::size_t size,
                                 const WriteProgress& progress)
{
    // One WriteFile of the whole frame keeps the driver's queue full from first byte to last.
    DWORD written = 0;
    TransferResult result;
    if (!WriteFile(as_handle(handle_), data, static_cast<DWORD>(size), &written, nullptr))
        result.error = last_system_error();
    result.count = written;
    if (progress)
        progress(written);
    return result;
}

TransferResult SerialPort::read(std::uint8_t* data, std::size_t size, int timeout_ms)
{
    // Return as soon as a byte is there, or after timeout_ms with none.
    COMMTIMEOUTS timeouts = {};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant =
        timeout_ms < 0 ? MAXDWORD - 1 : static_cast<DWORD>(timeout_ms > 0 ? timeout_ms : 1);
    TransferResult result;
    if (!SetCommTimeouts(as_handle(handle_), &timeouts)) {
        result.error = last_system_error();
        return result;
    }
    DWORD got = 0;
    if (!ReadFile(as_handle(handle_), data, static_cast<DWORD>(size), &got, nullptr))
        result.error = last_system_error();
    result.count = got;
    return result;
}

void SerialPort::close()
{
    if (is_open())
        CloseHandle(as_handle(handle_));
    handle_ = INVALID_HANDLE_VALUE;
}

bool is_supported_baud(std::uint32_t baud)
{
    // The driver takes any rate; these are the ones serial hardware offers.
    static const std::uint32_t rates[] = {110,   300,   600,    1200,   2400,   4800,   9600,
                                          14400, 19200, 38400,  57600,  115200, 128000, 230400,
                                          256000, 460800, 921600};
    for (std::uint32_t rate : rates)
        if (rate == baud)
            return true;
    return false;
}

}  // namespace orvanta
