// The send operation's Win32 port under Wine: COM2 is one end of a virtual cable, COM3 the other.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>

#include "com_line.h"
#include "send.h"
#include "test_files.h"
#include "win_thread.h"

namespace orvanta {
namespace {

using test::ComReader;
using test::frame_of;
using test::pattern;
using test::ScratchDir;
using test::WinThread;

// Sends while the reader drains COM3, so that a large frame is not held up by a full line.
struct SendResult {
    SendOutcome outcome;
    std::vector<std::uint8_t> line;
};

SendResult send_and_read(const std::string& port, const std::string& file,
                         const SendOptions& options = {})
{
    ComReader reader;
    EXPECT_TRUE(reader.ok()) << "COM3 does not open: is the virtual cable running?";
    SendResult result;
    bool left_open = false;
    WinThread sender([&] {
        SerialPort place;
        result.outcome = send_file(place, port, file, options);
        left_open = place.is_open();
    });
    result.line = reader.received();
    sender.join();
    EXPECT_FALSE(left_open) << "the send did not release " << port;
    auto rest = reader.received();
    result.line.insert(result.line.end(), rest.begin(), rest.end());
    return result;
}

TEST(SendWin32, PutsExactlyTheFrameOnTheLine)
{
    ScratchDir dir;
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{256}, std::size_t{65535}}) {
        SCOPED_TRACE(size);
        auto bytes = pattern(size, static_cast<unsigned>(size) + 3);
        SendResult sent = send_and_read("COM2", dir.write("f.bin", bytes));
        EXPECT_EQ(sent.outcome.result, SendOutcome::Result::Sent);
        EXPECT_EQ(sent.outcome.message, "");
        EXPECT_EQ(sent.line, frame_of(bytes));
    }
}

TEST(SendWin32, PortsAboveNineAreOpenedThroughTheDeviceNamespace)
{
    // com10 links to the same line as COM2; without the \\.\ prefix Windows would not open it.
    ScratchDir dir;
    auto bytes = pattern(300);
    for (const char* name : {"COM10", "com10"}) {
        SendResult sent = send_and_read(name, dir.write("f.bin", bytes));
        EXPECT_EQ(sent.outcome.result, SendOutcome::Result::Sent) << name << ": " << sent.outcome.message;
        EXPECT_EQ(sent.line, frame_of(bytes)) << name;
    }
}

TEST(SendWin32, PortNamesAsWindowsKnowsThem)
{
    ScratchDir dir;
    auto bytes = pattern(40);
    std::string file = dir.write("f.bin", bytes);
    for (const char* name : {"com2", "\\\\.\\COM2", "\\\\.\\com10"}) {
        SendResult sent = send_and_read(name, file);
        EXPECT_EQ(sent.outcome.result, SendOutcome::Result::Sent) << name << ": " << sent.outcome.message;
        EXPECT_EQ(sent.line, frame_of(bytes)) << name;
    }
    for (const std::string& name : {std::string(" "), std::string(200, 'C')}) {
        SendResult refused = send_and_read(name, file);
        EXPECT_EQ(refused.outcome.message, name + " port error\n");
        EXPECT_TRUE(refused.line.empty());
    }
}

TEST(SendWin32, AwkwardFileNames)
{
    ScratchDir dir;
    std::string base = dir.path("");
    std::string longest(259 - base.size(), 'x');  // the whole path: MAX_PATH less its NUL
    for (const std::string& name : {std::string("with spaces.bin"), std::string("\xE9t\xE9 \xFC.bin"), longest}) {
        auto bytes = pattern(77);
        SendResult sent = send_and_read("COM2", dir.write(name, bytes));
        EXPECT_EQ(sent.outcome.result, SendOutcome::Result::Sent) << name << ": " << sent.outcome.message;
        EXPECT_EQ(sent.line, frame_of(bytes)) << name;
    }
}

TEST(SendWin32, LeavesTheLineAt115200Raw8N1)
{
    // Put the line in another state first; the send must set every field itself.
    HANDLE h = CreateFileA("COM2", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DCB other = {};
    other.DCBlength = sizeof other;
    other.BaudRate = 9600;
    other.ByteSize = 7;
    other.Parity = EVENPARITY;
    other.StopBits = TWOSTOPBITS;
    other.fOutxCtsFlow = 1;
    other.fRtsControl = RTS_CONTROL_HANDSHAKE;
    other.fOutX = other.fInX = 1;
    SetCommState(h, &other);
    CloseHandle(h);

    SendResult sent = send_and_read("COM2", "");
    EXPECT_EQ(sent.outcome.result, SendOutcome::Result::NoFile);
    EXPECT_EQ(sent.outcome.message, "");
    EXPECT_TRUE(sent.line.empty());

    h = CreateFileA("COM2", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DCB now = {};
    now.DCBlength = sizeof now;
    ASSERT_TRUE(GetCommState(h, &now));
    CloseHandle(h);
    EXPECT_EQ(now.BaudRate, 115200u);
    EXPECT_EQ(now.ByteSize, 8);
    EXPECT_EQ(now.Parity, NOPARITY);
    EXPECT_EQ(now.StopBits, ONESTOPBIT);
    EXPECT_EQ(now.fOutxCtsFlow, 0u);
    EXPECT_EQ(now.fOutX, 0u);
    EXPECT_EQ(now.fInX, 0u);
}

TEST(SendWin32, PortErrorIsTheNameAndPortError)
{
    ScratchDir dir;
    std::string file = dir.write("f.bin", pattern(10));
    // COM7 points at nothing that opens as a port; the others do not exist at all.
    for (const std::string name : {"COM7", "", "NOSUCHPORT", "COM99"}) {
        SerialPort place;
        SendOutcome outcome = send_file(place, name, file);
        EXPECT_EQ(outcome.message, name + " port error\n");
        EXPECT_FALSE(outcome.reason.empty());
    }
}

TEST(SendWin32, ADiskFileGivenAsThePortIsLeftUntouched)
{
    ScratchDir dir;
    auto original = pattern(100, 9);
    std::string not_a_port = dir.write("disk.img", original);
    SerialPort place;
    SendOutcome outcome = send_file(place, not_a_port, dir.write("f.bin", pattern(10)));
    EXPECT_EQ(outcome.message, not_a_port + " is not a serial port.\nNothing was sent.");
    EXPECT_EQ(ScratchDir::read(not_a_port), original);
}

TEST(SendWin32, RefusalsLeaveTheLineSilent)
{
    ScratchDir dir;
    std::string big = dir.write("big.bin", pattern(65536));
    std::string missing = dir.path("missing.bin");
    SendResult refused = send_and_read("COM2", big);
    EXPECT_NE(refused.outcome.message.find("65,536 bytes"), std::string::npos) << refused.outcome.message;
    EXPECT_TRUE(refused.line.empty());
    refused = send_and_read("COM2", missing);
    EXPECT_NE(refused.outcome.message.find("Could not open " + missing), std::string::npos)
        << refused.outcome.message;
    EXPECT_TRUE(refused.line.empty());
}

// The command line's send: one overlapped WriteFile that it follows and can stop.
TEST(SendWin32, AWatchedSendPutsTheSameFrameOnTheLine)
{
    ScratchDir dir;
    auto bytes = pattern(30000, 5);
    std::vector<std::size_t> seen;
    SendOptions options;
    options.watch = WriteWatch{[&seen](std::size_t done, std::size_t) { seen.push_back(done); }};
    SendResult sent = send_and_read("COM2", dir.write("f.bin", bytes), options);
    EXPECT_EQ(sent.outcome.result, SendOutcome::Result::Sent) << sent.outcome.message;
    EXPECT_EQ(sent.line, frame_of(bytes));
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 30002u);
}

// COM4 is read at 11,520 bytes a second: the whole frame would take 5.7 s. A stop half a second
// in ends the pending write at once and leaves the port to the next send.
TEST(SendWin32, AStopEndsAWatchedWriteOnASlowLine)
{
    ScratchDir dir;
    std::string file = dir.write("f.bin", pattern(65535));
    std::atomic<bool> stop{false};
    SendOptions options;
    options.watch = WriteWatch{{}, &stop};
    WinThread user([&stop] {
        Sleep(500);
        stop = true;
    });
    const auto start = std::chrono::steady_clock::now();
    SerialPort place;
    SendOutcome outcome = send_file(place, "COM4", file, options);
    const auto took = std::chrono::steady_clock::now() - start;
    user.join();
    EXPECT_EQ(outcome.result, SendOutcome::Result::Stopped) << outcome.message;
    EXPECT_LT(outcome.written, 65537u);
    EXPECT_NE(outcome.message.find("the target has an incomplete frame"), std::string::npos)
        << outcome.message;
    EXPECT_LT(took, std::chrono::seconds(2));
    EXPECT_FALSE(place.is_open());

    SendOutcome next = send_file(place, "COM4", dir.write("small.bin", pattern(10)), options);
    EXPECT_EQ(next.result, SendOutcome::Result::Stopped) << "the stop flag is still set";
    stop = false;
    next = send_file(place, "COM4", dir.path("small.bin"), options);
    EXPECT_EQ(next.result, SendOutcome::Result::Sent) << next.message;
}

}  // namespace
}  // namespace orvanta
