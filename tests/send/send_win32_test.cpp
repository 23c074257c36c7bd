// What only a Windows port shows, under Wine: COM2 is one end of a virtual cable (COM10 reaches
// it too), COM3 the other; COM4 is read at 115,200 baud's pace.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>

#include "com_line.h"
#include "input_file.h"
#include "send.h"
#include "test_files.h"
#include "win_thread.h"

namespace orvanta {
namespace {

using test::ComLine;
using test::pattern;
using test::ScratchDir;
using Kind = SendOutcome::Kind;

TEST(SendWin32, PortNamesAsWindowsKnowsThem)
{
    // COM10 and up exist only in the device namespace; the send adds the \\.\ prefix itself.
    ScratchDir dir;
    auto bytes = pattern(300);
    std::string file = dir.write("f.bin", bytes);
    for (const char* name : {"COM10", "com10", "com2", "\\\\.\\COM2", "\\\\.\\com10"}) {
        SCOPED_TRACE(name);
        ComLine line;
        SendOutcome outcome = send_file(name, file);
        EXPECT_EQ(outcome.kind, Kind::Sent);
        EXPECT_EQ(line.received(), encode_frame(bytes));
    }
}

TEST(SendWin32, AwkwardFileNames)
{
    ScratchDir dir;
    std::string base = dir.path("");
    std::string longest(259 - base.size(), 'x');  // the whole path: MAX_PATH less its NUL
    for (const std::string& name :
         {std::string("with spaces.bin"), std::string("\xE9t\xE9 \xFC.bin"), longest}) {
        SCOPED_TRACE(name);
        ComLine line;
        auto bytes = pattern(77);
        EXPECT_EQ(send_file("COM2", dir.write(name, bytes)).kind, Kind::Sent);
        EXPECT_EQ(line.received(), encode_frame(bytes));
    }
}

// Names Windows takes as devices, in any folder and with any extension: NUL would send an
// empty frame, CON would wait for the keyboard, COM2 would open the port itself.
TEST(SendWin32, DeviceNamesAreNoFiles)
{
    ScratchDir dir;
    for (const std::string& name :
         {std::string("NUL"), std::string("nul.txt"), std::string("CON"), std::string("aux"),
          std::string("COM2"), std::string("lpt1.bin"), dir.path("prn.dat"),
          std::string("\\\\.\\COM2")}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(read_file(name, MAX_PAYLOAD).status, FileStatus::NotAFile);
        ComLine line;
        EXPECT_EQ(send_file("COM2", name).kind, Kind::NotAFile);
        EXPECT_TRUE(line.received().empty());
    }
    // Names that only look alike are files like any other.
    auto bytes = pattern(5);
    for (const std::string& name :
         {std::string("COM10.bin"), std::string("console.bin"), std::string("nully")})
        EXPECT_EQ(read_file(dir.write(name, bytes), MAX_PAYLOAD).status, FileStatus::Ready) << name;
}

// COM4 is read at 11,520 bytes a second: the whole frame would take 5.7 s. A stop half a second
// in ends the pending write at once (well before the frame could have gone out, counted from
// the stop, so a slow start of the port on a busy machine does not count against it) and
// leaves the port to the next send.
TEST(SendWin32, AStopEndsAWatchedWriteOnASlowLine)
{
    using Clock = std::chrono::steady_clock;
    std::atomic<bool> stop{false};
    std::atomic<Clock::rep> stopped_at{0};
    SendOptions options;
    options.watch = WriteWatch{{}, &stop};
    test::WinThread user([&stop, &stopped_at] {
        Sleep(500);
        stopped_at = Clock::now().time_since_epoch().count();
        stop = true;
    });
    SerialPort place;
    SendOutcome outcome = send_frame(place, "COM4", encode_frame(pattern(65535)), options);
    const Clock::time_point returned = Clock::now();
    user.join();
    const auto took = returned - Clock::time_point(Clock::duration(stopped_at.load()));
    EXPECT_EQ(outcome.kind, Kind::Stopped);
    EXPECT_LT(outcome.written, 65537u);
    EXPECT_LT(took, std::chrono::seconds(3));
    EXPECT_FALSE(place.is_open());

    stop = false;
    EXPECT_EQ(send_frame(place, "COM4", encode_frame(pattern(10)), options).kind, Kind::Sent);
}

}  // namespace
}  // namespace orvanta
