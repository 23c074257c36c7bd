// The send operation on a real (virtual) serial line: bytes, line state, and every failure.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <termios.h>

#include "pty_line.h"
#include "send_once.h"
#include "send.h"
#include "test_files.h"

namespace orvanta {
namespace {

using test::frame_of;
using test::pattern;
using test::PtyLine;
using test::ScratchDir;
using test::send;

TEST(Send, PutsExactlyTheFrameOnTheLine)
{
    ScratchDir dir;
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{256}, std::size_t{65535}}) {
        SCOPED_TRACE(size);
        PtyLine line;
        auto bytes = pattern(size, static_cast<unsigned>(size));
        SendOutcome outcome = send(line.path(), dir.write("f.bin", bytes));
        EXPECT_EQ(outcome.result, SendOutcome::Result::Sent);
        EXPECT_EQ(outcome.payload, size);
        EXPECT_EQ(outcome.written, size + 2);
        EXPECT_EQ(outcome.message, "");
        EXPECT_EQ(line.received(), frame_of(bytes));
    }
}

TEST(Send, TwiceSendsTheFrameTwiceThroughAFreshOpen)
{
    ScratchDir dir;
    PtyLine line;
    auto bytes = pattern(1000);
    std::string file = dir.write("f.bin", bytes);
    EXPECT_EQ(send(line.path(), file).result, SendOutcome::Result::Sent);
    EXPECT_EQ(send(line.path(), file).result, SendOutcome::Result::Sent);
    auto once = frame_of(bytes);
    auto twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(line.received(), twice);
}

TEST(Send, LeavesTheLineRaw8N1At115200WithoutFlowControl)
{
    PtyLine line;
    // No file chosen: the port is still opened, set up and closed, and nothing is written.
    SendOutcome outcome = send(line.path(), "");
    EXPECT_EQ(outcome.result, SendOutcome::Result::NoFile);
    EXPECT_EQ(outcome.message, "");
    EXPECT_TRUE(line.received().empty());

    termios tio;
    ASSERT_EQ(tcgetattr(line.slave(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), B115200);
    EXPECT_EQ(cfgetispeed(&tio), B115200);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY | ICRNL | ISTRIP), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
}

TEST(Send, PortErrorIsTheNameAndPortError)
{
    ScratchDir dir;
    std::string file = dir.write("f.bin", pattern(10));
    const std::string names[] = {"/nonexistent/ttyUSB9", "", "COM2"};
    for (const std::string& name : names) {
        SendOutcome outcome = send(name, file);
        EXPECT_EQ(outcome.result, SendOutcome::Result::Failed);
        EXPECT_EQ(outcome.message, name + " port error\n");
        EXPECT_FALSE(outcome.reason.empty());
    }
}

TEST(Send, AHeldPortIsRefusedAndNothingIsRead)
{
    ScratchDir dir;
    PtyLine line;
    SerialPort holder;
    ASSERT_EQ(holder.open(line.path()).status, OpenResult::Status::Opened);
    SendOutcome outcome = send(line.path(), dir.write("f.bin", pattern(10)));
    EXPECT_EQ(outcome.message, line.path() + " port error\n");
    EXPECT_NE(outcome.reason.find("in use"), std::string::npos) << outcome.reason;
    holder.close();
    EXPECT_TRUE(line.received().empty());
}

// Each refusal names what went wrong, says nothing was sent, and leaves the line silent and
// the port free for the next send.
TEST(Send, RefusalsWriteNothingAndReleaseThePort)
{
    ScratchDir dir;
    std::string big = dir.write("big.bin", pattern(65536));
    std::string missing = dir.path("missing.bin");
    struct Case {
        const char* what;
        std::string file;
        SendOptions options;
        std::vector<std::string> says;
    };
    SendOptions no_memory;
    no_memory.allocate = [] { return TransferBuffer(); };
    const Case cases[] = {
        {"too large", big, {}, {big, "65,536 bytes", "65,535", "Nothing was sent."}},
        {"missing", missing, {}, {"Could not open " + missing, "No such file", "Nothing was sent."}},
        {"a folder", dir.path(""), {}, {dir.path(""), "is not a file", "Nothing was sent."}},
        {"no memory", big, no_memory, {"1,048,576-byte transfer buffer", "Nothing was sent."}},
    };
    std::string good = dir.write("good.bin", pattern(5));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PtyLine line;
        SendOutcome outcome = send(line.path(), c.file, c.options);
        EXPECT_EQ(outcome.result, SendOutcome::Result::Failed);
        EXPECT_EQ(outcome.written, 0u);
        for (const std::string& part : c.says)
            EXPECT_NE(outcome.message.find(part), std::string::npos) << outcome.message;
        EXPECT_TRUE(line.received().empty());
        EXPECT_EQ(send(line.path(), good).result, SendOutcome::Result::Sent);
    }
}

TEST(Send, ANameThatIsNoSerialPortIsLeftUntouched)
{
    ScratchDir dir;
    auto original = pattern(100, 7);
    std::string not_a_port = dir.write("disk.img", original);
    SendOutcome outcome = send(not_a_port, dir.write("f.bin", pattern(10)));
    EXPECT_EQ(outcome.result, SendOutcome::Result::Failed);
    EXPECT_EQ(outcome.message, not_a_port + " is not a serial port.\nNothing was sent.");
    EXPECT_EQ(ScratchDir::read(not_a_port), original);

    outcome = send("/dev/null", dir.path("f.bin"));
    EXPECT_EQ(outcome.message, "/dev/null is not a serial port.\nNothing was sent.");
}

TEST(Send, RejectedSettingsAreReportedAfterTheFrameIsWritten)
{
    ScratchDir dir;
    PtyLine line;
    auto bytes = pattern(50);
    SendOptions options;
    options.baud = 12345;  // no such rate: the line cannot be set
    SendOutcome outcome = send(line.path(), dir.write("f.bin", bytes), options);
    EXPECT_EQ(outcome.result, SendOutcome::Result::Failed);
    EXPECT_EQ(outcome.written, 52u);
    EXPECT_NE(outcome.message.find("did not accept the line settings"), std::string::npos);
    EXPECT_NE(outcome.message.find("sent anyway"), std::string::npos);
    EXPECT_EQ(line.received(), frame_of(bytes));
}

TEST(Send, ALineThatGoesAwayMidFrameReportsTheBytesWritten)
{
    ScratchDir dir;
    PtyLine line(/*stop_after=*/8192);
    SendOutcome outcome = send(line.path(), dir.write("f.bin", pattern(65535)));
    EXPECT_EQ(outcome.result, SendOutcome::Result::Failed);
    EXPECT_LT(outcome.written, 65537u);
    EXPECT_NE(outcome.message.find("failed after " + grouped(outcome.written) + " of 65,537 bytes"),
              std::string::npos)
        << outcome.message;
}

TEST(Send, ProgressRisesToTheWholeFrame)
{
    ScratchDir dir;
    PtyLine line;
    std::vector<std::size_t> seen;
    SendOptions options;
    options.watch = WriteWatch{[&seen](std::size_t done, std::size_t) { seen.push_back(done); }};
    send(line.path(), dir.write("f.bin", pattern(20000)), options);
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 20002u);
}

// A stop, as Ctrl-C gives it, ends the write where it is: the rest of the frame never reaches
// the line, the outcome says how far it got, and the port is free for the next send at once.
TEST(Send, AStopEndsTheWriteAndFreesThePort)
{
    ScratchDir dir;
    std::string file = dir.write("f.bin", pattern(20000));
    std::string small = dir.write("small.bin", pattern(10));
    struct Case {
        const char* when;
        std::size_t stop_at;  // progress at which the stop comes (0: before the write)
        const char* says;
    };
    const Case cases[] = {
        {"before the write", 0, "Stopped before anything went out to "},
        {"after the first piece", 1, "Stopped: 4,096 of 20,002 bytes went out to "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.when);
        PtyLine line;
        std::atomic<bool> stop{c.stop_at == 0};
        SendOptions options;
        options.watch = WriteWatch{[&](std::size_t done, std::size_t) {
                                       if (done >= c.stop_at)
                                           stop = true;
                                   },
                                   &stop};
        SendOutcome outcome = send(line.path(), file, options);
        EXPECT_EQ(outcome.result, SendOutcome::Result::Stopped);
        EXPECT_EQ(outcome.message.find(c.says + line.path()), 0u) << outcome.message;
        const std::size_t arrived = line.received().size();
        EXPECT_LE(arrived, outcome.written);

        EXPECT_EQ(send(line.path(), small).result, SendOutcome::Result::Sent);
        EXPECT_EQ(line.received().size(), arrived + 12);
    }
}

}  // namespace
}  // namespace orvanta
