// Faults around a send: files that change or have awkward names, ports that are refused or go
// away. Each must give its clear message, send nothing it cannot send whole, and free the port.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>

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

TEST(Faults, TheFileIsReadAsItIsAtTheSend)
{
    ScratchDir dir;
    PtyLine line;
    std::string file = dir.path("f.bin");
    auto first = pattern(3000, 1), shrunk = pattern(10, 2), grown = pattern(65535, 3);
    std::vector<std::uint8_t> expected;
    for (const auto* content : {&first, &shrunk, &grown}) {
        dir.write("f.bin", *content);
        EXPECT_EQ(send(line.path(), file).result, SendOutcome::Result::Sent);
        auto frame = frame_of(*content);
        expected.insert(expected.end(), frame.begin(), frame.end());
    }
    dir.write("f.bin", pattern(65536, 4));
    EXPECT_NE(send(line.path(), file).message.find("65,536 bytes"), std::string::npos);
    std::remove(file.c_str());
    EXPECT_NE(send(line.path(), file).message.find("Could not open " + file), std::string::npos);
    EXPECT_EQ(line.received(), expected);
}

TEST(Faults, AwkwardFileNames)
{
    ScratchDir dir;
    std::string base = dir.path("");
    std::string long_name(259 - base.size(), 'x');  // the whole path: 259 characters
    for (const std::string& name : {std::string("with spaces in it.bin"), std::string("überträger-ñ-日本.bin"), long_name}) {
        SCOPED_TRACE(name);
        PtyLine line;
        auto bytes = pattern(100);
        std::string path = dir.write(name, bytes);
        SendOutcome outcome = send(line.path(), path);
        EXPECT_EQ(outcome.result, SendOutcome::Result::Sent) << outcome.message;
        EXPECT_EQ(line.received(), frame_of(bytes));
    }
}

TEST(Faults, TheLargestFileIsSentWholeAndAnythingLargerIsRefused)
{
    ScratchDir dir;
    PtyLine line;
    auto largest = pattern(65535);
    EXPECT_EQ(send(line.path(), dir.write("ok.bin", largest)).result, SendOutcome::Result::Sent);
    for (std::size_t size : {std::size_t{65536}, std::size_t{1048575}}) {
        SendOutcome outcome = send(line.path(), dir.write("big.bin", pattern(size)));
        EXPECT_NE(outcome.message.find(grouped(size) + " bytes"), std::string::npos) << outcome.message;
    }
    EXPECT_EQ(line.received(), frame_of(largest));
}

TEST(Faults, PortNamesThatOpenNothing)
{
    ScratchDir dir;
    std::string file = dir.write("f.bin", pattern(10));
    for (const std::string& name : {std::string(""), std::string(" "), std::string(200, 'P'), std::string("com2")}) {
        SendOutcome outcome = send(name, file);
        EXPECT_EQ(outcome.message, name + " port error\n");
    }
}

TEST(Faults, APortWithoutPermissionGivesThePortError)
{
    ScratchDir dir;
    PtyLine line;
    std::string file = dir.write("f.bin", pattern(10));
    // Root opens any device, so the send runs as an ordinary user in a child process.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        bool root = geteuid() == 0;
        if (root ? setuid(65534) != 0 : chmod(line.path().c_str(), 0) != 0)
            _exit(3);
        SendOutcome outcome = send(line.path(), file);
        _exit(outcome.message == line.path() + " port error\n" &&
                      outcome.reason.find("ermission") != std::string::npos
                  ? 0
                  : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(line.received().empty());
}

TEST(Faults, APortThatDisappearsBetweenSends)
{
    ScratchDir dir;
    std::string file = dir.write("f.bin", pattern(10));
    auto line = std::make_unique<PtyLine>();
    std::string port = line->path();
    EXPECT_EQ(send(port, file).result, SendOutcome::Result::Sent);
    line.reset();
    SendOutcome outcome = send(port, file);
    EXPECT_EQ(outcome.message, port + " port error\n");
}

TEST(Faults, ALineThatGoesAwayLeavesNothingHeld)
{
    ScratchDir dir;
    std::string file = dir.write("f.bin", pattern(65535));
    SerialPort place;
    {
        PtyLine line(/*stop_after=*/4096);
        SendOutcome outcome = send_file(place, line.path(), file);
        EXPECT_EQ(outcome.result, SendOutcome::Result::Failed);
        EXPECT_NE(outcome.message.find(" of 65,537 bytes: "), std::string::npos) << outcome.message;
    }
    EXPECT_FALSE(place.is_open());
    PtyLine next;
    EXPECT_EQ(send_file(place, next.path(), file).result, SendOutcome::Result::Sent);
}

}  // namespace
}  // namespace orvanta
