#pragma once
// The line the send tests run on, whichever the platform: TestLine::port() is the name a sender
// opens, received() what reached the far end, state() how the line is set.
#ifdef _WIN32
#include "com_line.h"
#else
#include "pty_line.h"
#endif

#include <string>
#include <vector>

namespace orvanta::test {

#ifdef _WIN32
using TestLine = ComLine;
// Names that open no port: COM7 points at an empty folder, the others exist nowhere.
inline std::vector<std::string> names_that_open_nothing()
{
    return {"", " ", std::string(200, 'C'), "COM7", "COM99", "NOSUCHPORT"};
}
// Devices that open but are no serial port.
inline std::vector<std::string> devices_that_are_no_port() { return {"NUL"}; }
#else
using TestLine = PtyLine;
inline std::vector<std::string> names_that_open_nothing()
{
    return {"", " ", std::string(200, 'P'), "/nonexistent/ttyUSB9", "COM2", "com2"};
}
// The pseudo-terminal multiplexer would make a pair nobody reads; the others are no terminal.
inline std::vector<std::string> devices_that_are_no_port()
{
    return {"/dev/null", "/dev/zero", "/dev/ptmx"};
}
#endif

}  // namespace orvanta::test
