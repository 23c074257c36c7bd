// The send operation on a real (virtual) serial line, the same tests on every platform: the
// bytes that arrive, the line state a send leaves, and what each failure reports. Both ways to
// send run here: the dialog's (send_file) and the command line's (a file read first, then
// send_frame).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <new>

#include "input_file.h"
#include "send.h"
#include "test_files.h"
#include "test_line.h"

namespace orvanta {
namespace {

using test::pattern;
using test::ScratchDir;
using test::TestLine;

using Kind = SendOutcome::Kind;

// The command line's send: the file is read, then the frame goes to the port.
SendOutcome send_read_file(const std::string& port, const std::string& path,
                           const SendOptions& options = {})
{
    FileContents file = read_file(path, MAX_PAYLOAD);
    EXPECT_EQ(file.status, FileStatus::Ready) << path;
    SerialPort place;
    SendOutcome outcome = send_frame(place, port, encode_frame(file.bytes), options);
    EXPECT_FALSE(place.is_open()) << "the port must be closed when the send returns";
    return outcome;
}

// Whether the port can be had for a new send right now: nothing still holds it.
bool port_is_free(const std::string& port)
{
    SerialPort probe;
    return probe.open(port).status == OpenResult::Status::Opened;
}

using Sender = SendOutcome (*)(const std::string&, const std::string&, const SendOptions&);
struct Way {
    const char* name;
    Sender send;
};
const Way WAYS[] = {
    {"dialog", [](const std::string& p, const std::string& f,
                  const SendOptions& o) { return send_file(p, f, o); }},
    {"command line", send_read_file},
};

TEST(Send, PutsExactlyTheFrameOnTheLine)
{
    ScratchDir dir;
    std::vector<std::vector<std::uint8_t>> files = {{},
                                                    {0x41},
                                                    pattern(256),
                                                    pattern(65535),
                                                    std::vector<std::uint8_t>(300, 0xFF),
                                                    {'\r', '\n', 0x1A, 0x00, '\n', 0xFF}};
    for (const Way& way : WAYS) {
        for (const auto& bytes : files) {
            SCOPED_TRACE(std::string(way.name) + ", " + std::to_string(bytes.size()) + " bytes");
            TestLine line;
            SendOutcome outcome = way.send(line.port(), dir.write("f.bin", bytes), {});
            EXPECT_EQ(outcome.kind, Kind::Sent);
            EXPECT_TRUE(outcome.succeeded());
            EXPECT_EQ(outcome.payload, bytes.size());
            EXPECT_EQ(outcome.total, bytes.size() + 2);
            EXPECT_EQ(outcome.written, bytes.size() + 2);
            EXPECT_EQ(line.received(), encode_frame(bytes));
        }
    }
}

TEST(Send, TwiceSendsTheFrameTwiceThroughAFreshOpen)
{
    ScratchDir dir;
    TestLine line;
    auto bytes = pattern(1000);
    std::string file = dir.write("f.bin", bytes);
    EXPECT_EQ(send_file(line.port(), file).kind, Kind::Sent);
    EXPECT_EQ(send_file(line.port(), file).kind, Kind::Sent);
    auto twice = encode_frame(bytes);
    auto once = twice;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(line.received(), twice);
}

TEST(Send, LeavesTheLineRaw8N1At115200WithoutFlowControl)
{
    ScratchDir dir;
    std::string file = dir.write("f.bin", pattern(10));
    for (const Way& way : WAYS) {
        SCOPED_TRACE(way.name);
        TestLine line;
        way.send(line.port(), file, {});
        const test::LineState state = line.state();
        EXPECT_EQ(state.baud, 115200u);
        EXPECT_EQ(state.data_bits, 8);
        EXPECT_FALSE(state.parity);
        EXPECT_FALSE(state.two_stop_bits);
        EXPECT_FALSE(state.hardware_flow);
        EXPECT_FALSE(state.software_flow);
        EXPECT_TRUE(state.raw);
    }
}

// No file chosen yet (the dialog's state at start): the port is still opened, set up and
// closed, and nothing is written or reported.
TEST(Send, WithNoFileChosenTheLineIsSetAndStaysSilent)
{
    TestLine line;
    SendOutcome outcome = send_file(line.port(), "");
    EXPECT_EQ(outcome.kind, Kind::NoFile);
    EXPECT_EQ(outcome.written, 0u);
    EXPECT_TRUE(line.received().empty());
    EXPECT_EQ(line.state().baud, 115200u);
}

TEST(Send, NamesThatOpenNoPortGiveThePortError)
{
    ScratchDir dir;
    std::string file = dir.write("f.bin", pattern(10));
    for (const Way& way : WAYS) {
        for (const std::string& name : test::names_that_open_nothing()) {
            SCOPED_TRACE(std::string(way.name) + ", \"" + name + "\"");
            SendOutcome outcome = way.send(name, file, {});
            EXPECT_EQ(outcome.kind, Kind::PortFailed);
            ASSERT_TRUE(outcome.error);
            EXPECT_FALSE(outcome.error->text.empty());
            EXPECT_EQ(outcome.written, 0u);
        }
    }
}

// A disk file given as the port would be overwritten by the frame, a device would swallow it:
// each is refused, untouched.
TEST(Send, WhatIsNoSerialPortIsRefusedAndLeftUntouched)
{
    ScratchDir dir;
    auto original = pattern(100, 7);
    std::string disk_file = dir.write("disk.img", original);
    std::string file = dir.write("f.bin", pattern(10));
    std::vector<std::string> names = test::devices_that_are_no_port();
    names.push_back(disk_file);
    for (const Way& way : WAYS) {
        for (const std::string& name : names) {
            SCOPED_TRACE(std::string(way.name) + ", " + name);
            SendOutcome outcome = way.send(name, file, {});
            EXPECT_EQ(outcome.kind, Kind::NotSerial);
            EXPECT_EQ(outcome.written, 0u);
        }
    }
    EXPECT_EQ(ScratchDir::read(disk_file), original);
}

// Each refusal of the dialog's send says what went wrong, leaves the line silent and the port
// free for the next send.
TEST(Send, FileRefusalsWriteNothingAndReleaseThePort)
{
    ScratchDir dir;
    std::string big = dir.write("big.bin", pattern(65536));
    std::string bigger = dir.write("bigger.bin", pattern(1048575));
    std::string missing = dir.path("missing.bin");
    SendOptions no_memory;
    no_memory.allocate = [] { return TransferBuffer(); };
    struct Case {
        const char* what;
        std::string file;
        SendOptions options;
        Kind kind;
        unsigned long long file_size;
        bool has_error;
    };
    const Case cases[] = {
        {"too large", big, {}, Kind::FileTooLarge, 65536, false},
        {"the buffer's size", bigger, {}, Kind::FileTooLarge, 1048575, false},
        {"missing", missing, {}, Kind::FileOpenFailed, 0, true},
        {"a folder", dir.path(""), {}, Kind::NotAFile, 0, false},
        {"no memory", big, no_memory, Kind::NoMemory, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestLine line;
        SendOutcome outcome = send_file(line.port(), c.file, c.options);
        EXPECT_EQ(outcome.kind, c.kind);
        EXPECT_EQ(outcome.file_size, c.file_size);
        EXPECT_EQ(outcome.error.has_value(), c.has_error);
        EXPECT_EQ(outcome.written, 0u);
        EXPECT_TRUE(line.received().empty());
        EXPECT_TRUE(port_is_free(line.port()));
    }
}

TEST(Send, ProgressRisesToTheWholeFrame)
{
    ScratchDir dir;
    TestLine line;
    std::vector<std::size_t> seen;
    SendOptions options;
    options.watch = WriteWatch{[&seen](std::size_t done, std::size_t) { seen.push_back(done); }};
    EXPECT_EQ(send_read_file(line.port(), dir.write("f.bin", pattern(20000)), options).kind,
              Kind::Sent);
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 20002u);
}

// A stop that came before the send (Ctrl-C while the file was read) sends nothing at all.
TEST(Send, AStopBeforeTheWriteSendsNothing)
{
    ScratchDir dir;
    TestLine line;
    std::atomic<bool> stop{true};
    SendOptions options;
    options.watch = WriteWatch{{}, &stop};
    SendOutcome outcome = send_read_file(line.port(), dir.write("f.bin", pattern(100)), options);
    EXPECT_EQ(outcome.kind, Kind::Stopped);
    EXPECT_EQ(outcome.written, 0u);
    EXPECT_EQ(outcome.total, 102u);
    EXPECT_TRUE(line.received().empty());
    EXPECT_TRUE(port_is_free(line.port()));
}

// An exception in the middle of a send (memory short) still closes the port on its way out.
TEST(Send, AnExceptionMidSendReleasesThePort)
{
    ScratchDir dir;
    TestLine line;
    SendOptions throwing;
    throwing.allocate = []() -> TransferBuffer { throw std::bad_alloc(); };
    EXPECT_THROW(send_file(line.port(), dir.write("f.bin", pattern(10)), throwing), std::bad_alloc);
    EXPECT_TRUE(port_is_free(line.port()));
    EXPECT_TRUE(line.received().empty());
}

}  // namespace
}  // namespace orvanta
