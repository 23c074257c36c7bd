#include "watch.h"

#include <cstdio>
#include <ctime>
#include <optional>

#include "file_watch.h"
#include "frame.h"
#include "send_report.h"
#include "several_ports.h"
#include "text.h"

namespace orvanta {

namespace {

// "14:03:27 ": each send's line starts with the local time, to tell one build's send from the last.
std::string time_prefix()
{
    const std::time_t now = std::time(nullptr);
    char text[16] = "";
    if (const std::tm* local = std::localtime(&now))
        std::strftime(text, sizeof text, "%H:%M:%S ", local);
    return text;
}

bool output_failed() { return std::ferror(stdout) || std::ferror(stderr); }

}  // namespace

int watch_and_send(const SendArgs& args, const StopSignals& stop)
{
    const bool talk = args.verbosity != Verbosity::Quiet;
    const std::string shown = printable(args.file);
    if (talk)
        std::fprintf(stderr, "watching %s: each change is sent once it has settled; Ctrl-C ends\n",
                     shown.c_str());
    FileWatch watch(args.file);
    std::optional<FileStamp> version = watch.look_now();  // the first version goes out at once
    std::optional<std::vector<std::uint8_t>> last_sent;   // what every port last got
    while (version) {
        FileContents file = read_file(args.file, MAX_PAYLOAD);
        if (stamp_of(args.file) != *version) {  // written to while it was read: let it settle
            version = watch.wait_for_change(stop.flag());
            continue;
        }
        watch.dealt_with(*version);
        const std::string prefix = time_prefix();
        if (file.status != FileStatus::Ready) {
            std::fprintf(stderr, "%s%s\n", prefix.c_str(), file_problem(file, args.file).c_str());
        } else if (last_sent && file.bytes == *last_sent) {
            if (talk)
                std::printf("%s%s was written again with the same %s bytes; not sent again\n",
                            prefix.c_str(), shown.c_str(), grouped(file.bytes.size()).c_str());
        } else {
            const std::vector<SendOutcome> outcomes =
                send_to_ports(args, encode_frame(file.bytes), stop);
            const int status = report_outcomes(args, outcomes, stop, prefix);
            if (stop.stopped())
                break;
            if (status == EXIT_DONE)
                last_sent = std::move(file.bytes);
        }
        std::fflush(stdout);
        if (output_failed())
            return EXIT_FAILED;  // main says why
        version = watch.wait_for_change(stop.flag());
    }
    if (talk)
        std::fprintf(stderr, "stopped watching %s\n", shown.c_str());
    return stop.exit_status();
}

}  // namespace orvanta
