// What only a POSIX port shows: a held port, permissions, a line that goes away, line settings
// refused, a stop part-way, the user's own terminal and another session's, the exclusive flag
// left as found, and files that change between sends.
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <memory>

#include "input_file.h"
#include "pty_line.h"
#include "send.h"
#include "test_files.h"

namespace orvanta {
namespace {

using test::pattern;
using test::PtyLine;
using test::ScratchDir;
using Kind = SendOutcome::Kind;

// Runs check in a child process (to act as another user, or with another terminal) and returns
// its exit status: 0 when all it checked held.
int in_child(const std::function<int()>& check)
{
    pid_t child = fork();
    if (child == 0)
        _exit(check());
    int status = -1;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

SendOutcome send_bytes(const std::string& port, const std::vector<std::uint8_t>& bytes,
                       const SendOptions& options = {})
{
    SerialPort place;
    return send_frame(place, port, encode_frame(bytes), options);
}

TEST(SendPosix, AHeldPortIsRefusedAndNothingIsRead)
{
    ScratchDir dir;
    PtyLine line;
    SerialPort holder;
    ASSERT_EQ(holder.open(line.path()).status, OpenResult::Status::Opened);
    SendOutcome outcome = send_file(line.path(), dir.write("f.bin", pattern(10)));
    EXPECT_EQ(outcome.kind, Kind::PortFailed);
    ASSERT_TRUE(outcome.error);
    EXPECT_NE(outcome.error->text.find("in use"), std::string::npos) << outcome.error->text;
    holder.close();
    EXPECT_TRUE(line.received().empty());
}

// The device's exclusive flag as the open found it, on every way out: refused by another
// program's lock, opened and closed, and opened (by root) while another program holds the flag.
TEST(SendPosix, EveryWayOutLeavesTheExclusiveFlagAsFound)
{
    PtyLine line;
    const int other = open(line.path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    auto exclusive = [other] {
        int set = 0;
        return ioctl(other, TIOCGEXCL, &set) == 0 && set != 0;
    };
#ifdef ORVANTA_CROSS_BUILD  // run under an emulator, which may not answer the question
    if (int set = 0; ioctl(other, TIOCGEXCL, &set) != 0 && errno == ENOSYS) {
        close(other);
        GTEST_SKIP() << "SKIPPED: SendPosix.EveryWayOutLeavesTheExclusiveFlagAsFound: the "
                        "emulator does not answer TIOCGEXCL (qemu-user 7.2 lacks it)";
    }
#endif
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    SerialPort port;
    EXPECT_EQ(port.open(line.path()).status, OpenResult::Status::Failed);
    EXPECT_FALSE(exclusive()) << "a refused open left the port exclusive";
    ASSERT_EQ(flock(other, LOCK_UN), 0);

    ASSERT_EQ(port.open(line.path()).status, OpenResult::Status::Opened);
    EXPECT_TRUE(exclusive());
    port.close();
    EXPECT_FALSE(exclusive());

    if (geteuid() == 0) {  // only root may open a port that is held exclusive
        ASSERT_EQ(ioctl(other, TIOCEXCL), 0);
        ASSERT_EQ(port.open(line.path()).status, OpenResult::Status::Opened);
        port.close();
        EXPECT_TRUE(exclusive()) << "the other program's flag was cleared";
        ioctl(other, TIOCNXCL);
    }
    close(other);
    EXPECT_TRUE(line.received().empty());
}

// A terminal that a session leader holds as its controlling terminal is that session's screen,
// whichever session the send runs in.
TEST(SendPosix, AnotherSessionsTerminalIsNoPort)
{
    PtyLine line;
    int ready[2], hold[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(hold), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(ready[0]);
        close(hold[1]);
        int fd = setsid() < 0 ? -1 : open(line.path().c_str(), O_RDWR);
        char done = fd >= 0 && ioctl(fd, TIOCSCTTY, 0) == 0 ? 'y' : 'n';
        if (write(ready[1], &done, 1) != 1 || read(hold[0], &done, 1) < 0)
            _exit(1);
        _exit(0);
    }
    close(ready[1]);
    close(hold[0]);
    char done = 0;
    ASSERT_EQ(read(ready[0], &done, 1), 1);
    EXPECT_EQ(done, 'y');
    EXPECT_EQ(send_bytes(line.path(), pattern(10)).kind, Kind::NotSerial);
    close(hold[1]);  // the session ends
    int status = -1;
    waitpid(child, &status, 0);
    close(ready[0]);
    EXPECT_TRUE(line.received().empty());
    // Nobody's terminal now: a line again.
    EXPECT_EQ(send_bytes(line.path(), pattern(10)).kind, Kind::Sent);
}

TEST(SendPosix, APortWithoutPermissionGivesThePortError)
{
    ScratchDir dir;
    PtyLine line;
    std::string file = dir.write("f.bin", pattern(10));
    // Root opens any device, so the send runs as an ordinary user in a child process.
    EXPECT_EQ(in_child([&] {
                  bool root = geteuid() == 0;
                  if (root ? setuid(65534) != 0 : chmod(line.path().c_str(), 0) != 0)
                      return 3;
                  SendOutcome outcome = send_file(line.path(), file);
                  return outcome.kind == Kind::PortFailed && outcome.error &&
                                 outcome.error->text.find("ermission") != std::string::npos
                             ? 0
                             : 1;
              }),
              0);
    EXPECT_TRUE(line.received().empty());
}

// The dialog writes the frame and reports the refusal with it; the command line stops before
// any byte goes out.
TEST(SendPosix, RefusedLineSettings)
{
    ScratchDir dir;
    auto bytes = pattern(50);
    SendOptions options;
    options.baud = 12345;  // no such rate: the line cannot be set
    {
        PtyLine line;
        SendOutcome outcome = send_file(line.path(), dir.write("f.bin", bytes), options);
        EXPECT_EQ(outcome.kind, Kind::Sent);
        EXPECT_FALSE(outcome.succeeded());
        EXPECT_TRUE(outcome.settings_error);
        EXPECT_EQ(outcome.written, 52u);
        EXPECT_EQ(line.received(), encode_frame(bytes));
    }
    {
        PtyLine line;
        SendOutcome outcome = send_bytes(line.path(), bytes, options);
        EXPECT_EQ(outcome.kind, Kind::SettingsRejected);
        EXPECT_TRUE(outcome.error);
        EXPECT_EQ(outcome.written, 0u);
        EXPECT_TRUE(line.received().empty());
    }
}

TEST(SendPosix, ALineThatGoesAwayMidFrameReportsTheBytesWrittenAndLeavesNothingHeld)
{
    ScratchDir dir;
    std::string file = dir.write("f.bin", pattern(65535));
    for (bool watched : {false, true}) {
        SCOPED_TRACE(watched ? "watched" : "plain");
        std::string port;
        {
            PtyLine line(/*stop_after=*/8192);
            port = line.path();
            SendOptions options;
            if (watched)
                options.watch = WriteWatch{};
            SendOutcome outcome = send_file(line.path(), file, options);
            EXPECT_EQ(outcome.kind, Kind::WriteFailed);
            EXPECT_LT(outcome.written, 65537u);
            EXPECT_EQ(outcome.total, 65537u);
        }
        PtyLine next;
        EXPECT_EQ(send_file(next.path(), file).kind, Kind::Sent);
    }
}

// A stop, as Ctrl-C gives it, ends the write where it is: the rest of the frame never reaches
// the line, the outcome says how far it got, and the port is free for the next send at once.
// What the outcome counts arrives: on a pty the far end's unread bytes are not dropped.
TEST(SendPosix, AStopPartWayEndsTheWriteAndFreesThePort)
{
    PtyLine line;
    std::atomic<bool> stop{false};
    SendOptions options;
    options.watch = WriteWatch{[&](std::size_t done, std::size_t) {
                                   if (done >= 1)
                                       stop = true;
                               },
                               &stop};
    SendOutcome outcome = send_bytes(line.path(), pattern(20000), options);
    EXPECT_EQ(outcome.kind, Kind::Stopped);
    EXPECT_EQ(outcome.written, 4096u);
    EXPECT_EQ(outcome.total, 20002u);
    const std::size_t arrived = line.received().size();
    EXPECT_EQ(arrived, outcome.written);

    EXPECT_EQ(send_bytes(line.path(), pattern(10)).kind, Kind::Sent);
    EXPECT_EQ(line.received().size(), arrived + 12);
}

// The terminal this process runs in is the user's screen, not a line: refused, whichever name
// reaches it.
TEST(SendPosix, TheOwnTerminalIsNoPort)
{
    constexpr int NO_SESSION_ANSWER = 4;
    PtyLine line;
    int verdict = in_child([&] {
        // Make the line this child's controlling terminal, as a terminal is a shell's.
        int fd = setsid() < 0 ? -1 : open(line.path().c_str(), O_RDWR);
        if (fd < 0 || ioctl(fd, TIOCSCTTY, 0) != 0)
            return 3;
#ifdef ORVANTA_CROSS_BUILD  // run under an emulator, which may lack the answer
        if (tcgetsid(fd) != getsid(0))
            return NO_SESSION_ANSWER;
#endif
        bool refused = true;
        for (const char* name : {"/dev/tty", line.path().c_str()})
            refused = send_bytes(name, pattern(10)).kind == Kind::NotSerial && refused;
        return refused ? 0 : 1;
    });
    if (verdict == NO_SESSION_ANSWER)
        GTEST_SKIP() << "SKIPPED: SendPosix.TheOwnTerminalIsNoPort: the emulator does not say "
                        "which session a terminal belongs to (qemu-user 7.2 passes TIOCGSID on "
                        "but does not copy the answer back)";
    EXPECT_EQ(verdict, 0);
    EXPECT_TRUE(line.received().empty());
}

TEST(SendPosix, TheFileIsReadAsItIsAtTheSend)
{
    ScratchDir dir;
    PtyLine line;
    std::string file = dir.path("f.bin");
    std::vector<std::uint8_t> expected;
    for (const auto& content : {pattern(3000, 1), pattern(10, 2), pattern(65535, 3)}) {
        dir.write("f.bin", content);
        EXPECT_EQ(send_file(line.path(), file).kind, Kind::Sent);
        auto frame = encode_frame(content);
        expected.insert(expected.end(), frame.begin(), frame.end());
    }
    dir.write("f.bin", pattern(65536, 4));
    EXPECT_EQ(send_file(line.path(), file).kind, Kind::FileTooLarge);
    std::remove(file.c_str());
    EXPECT_EQ(send_file(line.path(), file).kind, Kind::FileOpenFailed);
    EXPECT_EQ(line.received(), expected);
}

TEST(SendPosix, AwkwardFileNames)
{
    ScratchDir dir;
    std::string base = dir.path("");
    std::string long_name(259 - base.size(), 'x');  // the whole path: 259 characters
    for (const std::string& name : {std::string("with spaces in it.bin"),
                                    std::string("\xC3\xBC"
                                                "bertr\xC3\xA4ger-\xC3\xB1.bin"),
                                    std::string("line\nfeed\x1B[2J.bin"), long_name}) {
        SCOPED_TRACE(name);
        PtyLine line;
        auto bytes = pattern(100);
        SendOutcome outcome = send_file(line.path(), dir.write(name, bytes));
        EXPECT_EQ(outcome.kind, Kind::Sent);
        EXPECT_EQ(line.received(), encode_frame(bytes));
    }
}

}  // namespace
}  // namespace orvanta
