// The dialog's words for each outcome of a send: the exact text its message box shows, or ""
// when it shows none. The texts are the ones the dialog has always shown; a change here is a
// change users see.
#include <gtest/gtest.h>

#include <string>

#include "SendMessage.h"

namespace orvanta::test {
namespace {

using Kind = SendOutcome::Kind;

const std::string PORT = "COM7";
const std::string PATH = "C:\\data\\prog.bin";
const std::string REFUSED = "COM7 did not accept the line settings (115,200 baud, 8 data bits, "
                            "no parity, 1 stop bit, no flow control, DTR and RTS off): "
                            "The parameter is incorrect.";

SystemError system_error(const char* text) { return {87, text}; }

struct Case {
    const char* what;
    SendOutcome outcome;
    std::string text;
    std::string port = PORT;
};

SendOutcome outcome_of(Kind kind)
{
    SendOutcome outcome;
    outcome.kind = kind;
    return outcome;
}

SendOutcome with_error(SendOutcome outcome, const char* text)
{
    outcome.error = system_error(text);
    return outcome;
}

SendOutcome with_counts(SendOutcome outcome, std::size_t written, std::size_t total)
{
    outcome.written = written;
    outcome.total = total;
    outcome.payload = total - 2;
    return outcome;
}

SendOutcome with_file_size(SendOutcome outcome, unsigned long long size)
{
    outcome.file_size = size;
    return outcome;
}

// The port refused the line settings, and the send went on to the outcome given.
SendOutcome settings_refused(SendOutcome outcome)
{
    outcome.settings_error = system_error("The parameter is incorrect");
    return outcome;
}

TEST(SendMessage, EachOutcomeIsWordedExactly)
{
    const Case cases[] = {
        {"sent", with_counts(outcome_of(Kind::Sent), 12, 12), ""},
        {"no file chosen", outcome_of(Kind::NoFile), ""},
        {"port would not open", with_error(outcome_of(Kind::PortFailed), "Access is denied"),
         "COM7 port error\n"},
        {"port name kept as typed", outcome_of(Kind::PortFailed), " com7:x port error\n",
         " com7:x"},
        {"empty port name", outcome_of(Kind::PortFailed), " port error\n", ""},
        {"not a serial port", outcome_of(Kind::NotSerial),
         "COM7 is not a serial port.\nNothing was sent."},
        {"not a file", outcome_of(Kind::NotAFile),
         "C:\\data\\prog.bin is not a file (a folder, device or pipe).\nNothing was sent."},
        {"file would not open",
         with_error(outcome_of(Kind::FileOpenFailed), "The system cannot find the file specified"),
         "Could not open C:\\data\\prog.bin: The system cannot find the file specified.\n"
         "Nothing was sent."},
        {"file would not read", with_error(outcome_of(Kind::FileReadFailed), "The device is gone"),
         "Could not read C:\\data\\prog.bin: The device is gone.\nNothing was sent."},
        {"file one byte too large", with_file_size(outcome_of(Kind::FileTooLarge), 65536),
         "C:\\data\\prog.bin is 65,536 bytes; one upload carries at most 65,535 bytes.\n"
         "Nothing was sent."},
        {"file larger than 32 bits count",
         with_file_size(outcome_of(Kind::FileTooLarge), 5000000000ULL),
         "C:\\data\\prog.bin is 5,000,000,000 bytes; one upload carries at most 65,535 bytes.\n"
         "Nothing was sent."},
        {"no transfer buffer", outcome_of(Kind::NoMemory),
         "Could not allocate the 1,048,576-byte transfer buffer.\nNothing was sent."},
        {"stopped before the first byte", with_counts(outcome_of(Kind::Stopped), 0, 65537),
         "Stopped before anything went out to COM7.\nNothing was sent."},
        {"stopped part-way", with_counts(outcome_of(Kind::Stopped), 1000, 65537),
         "Stopped: 1,000 of 65,537 bytes went out to COM7; the target has an incomplete frame."},
        {"settings refused, nothing written",
         with_error(outcome_of(Kind::SettingsRejected), "The parameter is incorrect"),
         REFUSED + "\nNothing was sent."},
        {"write failed with the system's reason",
         with_error(with_counts(outcome_of(Kind::WriteFailed), 4096, 65537),
                    "The device is not ready"),
         "Sending C:\\data\\prog.bin to COM7 failed after 4,096 of 65,537 bytes: "
         "The device is not ready."},
        {"write taken short without a reason", with_counts(outcome_of(Kind::WriteFailed), 0, 3),
         "Sending C:\\data\\prog.bin to COM7 failed after 0 of 3 bytes: "
         "the port stopped taking data."},

        // Refused line settings do not stop the dialog's send; they are told beside the rest.
        {"sent on refused settings", settings_refused(with_counts(outcome_of(Kind::Sent), 12, 12)),
         REFUSED + "\nThe file was sent anyway; the target may not have read it."},
        {"no file, settings refused", settings_refused(outcome_of(Kind::NoFile)), ""},
        {"file too large, settings refused",
         settings_refused(with_file_size(outcome_of(Kind::FileTooLarge), 70000)),
         "C:\\data\\prog.bin is 70,000 bytes; one upload carries at most 65,535 bytes.\n"
         "Nothing was sent.\n" +
             REFUSED},
        {"write failed, settings refused",
         settings_refused(with_counts(outcome_of(Kind::WriteFailed), 2, 12)),
         "Sending C:\\data\\prog.bin to COM7 failed after 2 of 12 bytes: "
         "the port stopped taking data.\n" +
             REFUSED},
        {"port error stays exactly itself",
         settings_refused(with_error(outcome_of(Kind::PortFailed), "Access is denied")),
         "COM7 port error\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(FormatSendMessage(c.outcome, c.port, PATH), c.text);
    }
}

}  // namespace
}  // namespace orvanta::test
