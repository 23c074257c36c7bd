#pragma once
#include <string>

namespace orvanta {

// A failure reported by the operating system: its code and its own words for it.
struct SystemError {
    long code = 0;     // errno, or GetLastError() for Win32 calls
    std::string text;  // the system's message, without a trailing full stop or line end
};

// The text the C library gives for an errno value.
SystemError errno_error(int code);

// The last error of the platform's own calls (GetLastError on Windows, errno elsewhere).
// system_error_posix.cpp and system_error_win32.cpp each implement both.
SystemError last_system_error();

// Whether an error from opening a device says that it is not there (yet): a USB adapter not
// plugged in, a board still enumerating. Errors that say it is there but unusable are not.
bool means_absent(const SystemError& error);

// Whether an error from opening a device says that it is there but this user may not open it:
// on Linux a node that udev makes first and gives its mode a moment later. Never on Windows,
// where a port another program holds also says "access denied".
bool means_not_permitted(const SystemError& error);

}  // namespace orvanta
