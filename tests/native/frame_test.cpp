// The upload frame: its encoder and decoder, the file read into it, and the small text helpers.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "frame.h"
#include "input_file.h"
#include "line_settings.h"
#include "port_name.h"
#include "test_files.h"
#include "text.h"

namespace orvanta {
namespace {

using test::pattern;
using test::ScratchDir;

struct FrameCase {
    std::size_t size;
    std::vector<std::uint8_t> head;  // the first bytes the frame must start with
};

TEST(Frame, FilesGiveCountThenBytes)
{
    const FrameCase cases[] = {
        {0, {0x00, 0x00}},
        {1, {0x00, 0x01}},
        {256, {0x01, 0x00}},
        {65535, {0xFF, 0xFF}},
    };
    ScratchDir dir;
    TransferBuffer buffer = allocate_transfer_buffer();
    for (const FrameCase& c : cases) {
        SCOPED_TRACE(c.size);
        auto bytes = c.size == 1 ? std::vector<std::uint8_t>{0x41} : pattern(c.size);
        FrameRead frame = read_frame(dir.write("f.bin", bytes), buffer.get());
        ASSERT_EQ(frame.status, FileStatus::Ready);
        ASSERT_EQ(frame.payload, c.size);
        std::vector<std::uint8_t> got(buffer.get(), buffer.get() + c.size + 2);
        EXPECT_EQ(got, encode_frame(bytes));
        EXPECT_TRUE(std::equal(c.head.begin(), c.head.end(), got.begin()));
    }
}

TEST(Frame, BinaryBytesAreNotTranslated)
{
    std::vector<std::uint8_t> bytes{'\r', '\n', 0x1A, 0x00, '\n', 0xFF};
    ScratchDir dir;
    TransferBuffer buffer = allocate_transfer_buffer();
    FrameRead frame = read_frame(dir.write("f.bin", bytes), buffer.get());
    ASSERT_EQ(frame.status, FileStatus::Ready);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.get(), buffer.get() + 8), encode_frame(bytes));
}

TEST(Frame, FilesTheCountCannotDescribeAreRefusedWithTheirSize)
{
    ScratchDir dir;
    TransferBuffer buffer = allocate_transfer_buffer();
    for (std::size_t size : {std::size_t{65536}, std::size_t{1048575}}) {
        std::string file = dir.write("big.bin", pattern(size));
        FrameRead frame = read_frame(file, buffer.get());
        EXPECT_EQ(frame.status, FileStatus::TooLarge);
        EXPECT_EQ(frame.file_size, size);
        EXPECT_FALSE(frame.file);
        FileContents whole = read_file(file, MAX_PAYLOAD);
        EXPECT_EQ(whole.status, FileStatus::TooLarge);
        EXPECT_EQ(whole.file_size, size);
        EXPECT_TRUE(whole.bytes.empty());
    }
    EXPECT_EQ(read_file(dir.write("ok.bin", pattern(65535)), MAX_PAYLOAD).bytes, pattern(65535));
}

TEST(Frame, NoFrameWithoutAReadableFile)
{
    ScratchDir dir;
    TransferBuffer buffer = allocate_transfer_buffer();
    EXPECT_EQ(read_frame("", buffer.get()).status, FileStatus::NoFile);

    FrameRead missing = read_frame(dir.path("missing.bin"), buffer.get());
    EXPECT_EQ(missing.status, FileStatus::OpenFailed);
    EXPECT_FALSE(missing.error.text.empty());
}

TEST(Frame, OnlyRegularFilesAreRead)
{
    // A pipe with no writer would hold the open for ever; a device may never end.
    ScratchDir dir;
    std::string fifo = dir.path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    TransferBuffer buffer = allocate_transfer_buffer();
    for (const std::string& path :
         {dir.path(""), fifo, std::string("/dev/zero"), std::string("/dev/null")}) {
        FrameRead frame = read_frame(path, buffer.get());
        EXPECT_EQ(frame.status, FileStatus::NotAFile) << path;
        EXPECT_FALSE(frame.file) << path;
        EXPECT_EQ(read_file(path, MAX_PAYLOAD).status, FileStatus::NotAFile) << path;
    }
}

TEST(FrameParser, TakesOneFrameWhateverThePieces)
{
    auto payload = pattern(300);
    auto wire = encode_frame(payload);
    wire.push_back(0xAA);  // the start of a next frame stays with the caller
    for (std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{7}, wire.size()}) {
        SCOPED_TRACE(piece);
        FrameParser parser;
        std::size_t used = 0;
        for (std::size_t at = 0; at < wire.size() && !parser.complete(); at += piece)
            used += parser.feed(wire.data() + at, std::min(piece, wire.size() - at));
        EXPECT_TRUE(parser.complete());
        EXPECT_EQ(used, wire.size() - 1);
        EXPECT_EQ(parser.payload(), payload);
    }
}

TEST(FrameParser, EmptyFrameIsCompleteAfterItsCount)
{
    FrameParser parser;
    const std::uint8_t zero[] = {0, 0};
    EXPECT_EQ(parser.feed(zero, 1), 1u);
    EXPECT_TRUE(parser.started());
    EXPECT_FALSE(parser.complete());
    EXPECT_EQ(parser.feed(zero + 1, 1), 1u);
    EXPECT_TRUE(parser.complete());
    EXPECT_TRUE(parser.payload().empty());
}

TEST(Text, PortNamesForWin32)
{
    const std::pair<const char*, const char*> cases[] = {
        {"COM1", "COM1"},
        {"COM9", "COM9"},
        {"COM10", "\\\\.\\COM10"},
        {"com12", "\\\\.\\com12"},
        {"Com255", "\\\\.\\Com255"},
        {"COM010", "\\\\.\\COM010"},
        {"COM01", "COM01"},
        {"\\\\.\\COM10", "\\\\.\\COM10"},
        {"COM1X", "COM1X"},
        {"COM", "COM"},
        {"", ""},
        {"LPT10", "LPT10"},
        {" COM10", " COM10"},
    };
    for (const auto& [typed, opened] : cases)
        EXPECT_EQ(win32_device_path(typed), opened) << typed;
}

// Numbers as people type them: decimal always, within range, and nothing else.
TEST(Text, RatesAndSecondsAreReadAsDecimal)
{
    const std::pair<const char*, std::optional<std::uint32_t>> rates[] = {
        {"115200", 115200},
        {"0115200", 115200},
        {"9600", 9600},
        {"50", 50},
        {"2000000", 2000000},
        {"12345", {}},
        {"", {}},
        {"+9600", {}},
        {"-9600", {}},
        {"9600 ", {}},
        {"0x2580", {}},
        {"9.6e3", {}},
        {"0", {}},
        {"99999999999999999999", {}},
        {"4294977896", {}},
    };
    for (const auto& [text, rate] : rates)
        EXPECT_EQ(parse_rate(text), rate) << text;

    const std::pair<const char*, std::optional<double>> seconds[] = {
        {"2", 2.0},
        {"0.5", 0.5},
        {".25", 0.25},
        {"0", 0.0},
        {"1000000", 1e6},
        {"1000001", {}},
        {"nan", {}},
        {"inf", {}},
        {"-1", {}},
        {"1e3", {}},
        {"0x10", {}},
        {"", {}},
        {".", {}},
        {"5.", {}},
        {"1.2.3", {}},
        {" 2", {}},
        {"99999999999999999999999", {}},
    };
    for (const auto& [text, value] : seconds)
        EXPECT_EQ(parse_seconds(text, 0, 1e6), value) << text;
}

TEST(Text, NamesInMessagesShowControlCharactersEscaped)
{
    EXPECT_EQ(printable("/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(printable("a\nb"), "a\\nb");
    EXPECT_EQ(printable("line\nfeed\ttab\rret"), "line\\nfeed\\ttab\\rret");
    EXPECT_EQ(printable("\x1B[2J\x7F\x01"), "\\x1B[2J\\x7F\\x01");
    EXPECT_EQ(printable("\xC3\xBC"), "\xC3\xBC");  // UTF-8 stays as it is
    EXPECT_EQ(printable("\\\\.\\COM10"), "\\\\.\\COM10");
    // A name's ends show: blanks there are escaped, an empty name is quoted.
    EXPECT_EQ(printable(" "), "\\x20");
    EXPECT_EQ(printable(" my port  "), "\\x20my port\\x20\\x20");
    EXPECT_EQ(printable(""), "\"\"");
}

TEST(Text, GroupedCounts)
{
    EXPECT_EQ(grouped(0), "0");
    EXPECT_EQ(grouped(999), "999");
    EXPECT_EQ(grouped(1000), "1,000");
    EXPECT_EQ(grouped(65535), "65,535");
    EXPECT_EQ(grouped(1048576), "1,048,576");
}

}  // namespace
}  // namespace orvanta
