#include "SendMessage.h"

using orvanta::grouped;
using orvanta::SendOutcome;

namespace {

const char* const NOTHING_SENT = "\nNothing was sent.";

// The port's refusal of the line settings, with the settings it refused.
std::string SettingsRejected(const std::string& strPort, const orvanta::SystemError& error)
{
    return strPort + " did not accept the line settings (" +
           orvanta::line_settings_text(orvanta::DEFAULT_BAUD) + "): " + error.text + ".";
}

// What went wrong with the frame, or "" when nothing did.
std::string FrameProblem(const SendOutcome& outcome, const std::string& strPort,
                         const std::string& strPath)
{
    const std::string strWhy = outcome.error ? outcome.error->text : std::string();
    switch (outcome.kind) {
    case SendOutcome::Kind::Sent:
    case SendOutcome::Kind::NoFile:
        return {};
    case SendOutcome::Kind::PortFailed:
        return strPort + " port error\n";
    case SendOutcome::Kind::NotSerial:
        return strPort + " is not a serial port." + NOTHING_SENT;
    case SendOutcome::Kind::NotAFile:
        return strPath + " is not a file (a folder, device or pipe)." + NOTHING_SENT;
    case SendOutcome::Kind::FileOpenFailed:
        return "Could not open " + strPath + ": " + strWhy + "." + NOTHING_SENT;
    case SendOutcome::Kind::FileReadFailed:
        return "Could not read " + strPath + ": " + strWhy + "." + NOTHING_SENT;
    case SendOutcome::Kind::FileTooLarge:
        return strPath + " is " + grouped(outcome.file_size) +
               " bytes; one upload carries at most " + grouped(orvanta::MAX_PAYLOAD) + " bytes." +
               NOTHING_SENT;
    case SendOutcome::Kind::NoMemory:
        return "Could not allocate the " + grouped(orvanta::MAX_UPLOAD_BUFFER) +
               "-byte transfer buffer." + NOTHING_SENT;
    case SendOutcome::Kind::Stopped:
        if (outcome.written == 0)
            return "Stopped before anything went out to " + strPort + "." + NOTHING_SENT;
        return "Stopped: " + grouped(outcome.written) + " of " + grouped(outcome.total) +
               " bytes went out to " + strPort + "; the target has an incomplete frame.";
    case SendOutcome::Kind::SettingsRejected:
        return SettingsRejected(strPort, outcome.error.value_or(orvanta::SystemError{})) +
               NOTHING_SENT;
    case SendOutcome::Kind::WriteFailed:
        break;
    }
    return "Sending " + strPath + " to " + strPort + " failed after " + grouped(outcome.written) +
           " of " + grouped(outcome.total) +
           " bytes: " + (outcome.error ? strWhy : std::string("the port stopped taking data")) +
           ".";
}

}  // namespace

std::string FormatSendMessage(const SendOutcome& outcome, const std::string& strPort,
                              const std::string& strPath)
{
    std::string strText = FrameProblem(outcome, strPort, strPath);
    if (!outcome.settings_error || outcome.kind == SendOutcome::Kind::NoFile ||
        outcome.kind == SendOutcome::Kind::PortFailed)
        return strText;
    const std::string strRejected = SettingsRejected(strPort, *outcome.settings_error);
    if (outcome.kind == SendOutcome::Kind::Sent)
        return strRejected + "\nThe file was sent anyway; the target may not have read it.";
    return strText + "\n" + strRejected;
}
