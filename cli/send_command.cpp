#include <cstdio>

#include "commands.h"
#include "send.h"

namespace orvanta {

int run_send(const SendArgs& args)
{
    SerialPort port;
    SendOptions options;
    options.baud = args.baud;
    SendOutcome outcome = send_file(port, args.port, args.file, options);
    if (outcome.result == SendOutcome::Result::Sent) {
        std::printf("sent %s bytes to %s\n", grouped(outcome.payload).c_str(), args.port.c_str());
        return EXIT_DONE;
    }
    std::string text = outcome.message;
    if (!outcome.reason.empty())  // the port-error message, with the system's reason
        text = args.port + " port error: " + outcome.reason;
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    std::fprintf(stderr, "%s\n", text.c_str());
    return EXIT_FAILED;
}

}  // namespace orvanta
