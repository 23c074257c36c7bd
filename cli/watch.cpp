#include "watch.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <optional>

#include "file_watch.h"
#include "frame.h"
#include "send_report.h"
#include "several_ports.h"
#include "system_error.h"
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

// The ports of args at the given places.
SendArgs with_ports(const SendArgs& args, const std::vector<std::size_t>& places)
{
    SendArgs some = args;
    some.ports.clear();
    for (std::size_t place : places)
        some.ports.push_back(args.ports[place]);
    return some;
}

// A port that was still waited for when a newer version came: it gets that one, and there is
// nothing to say about this one.
bool superseded(const SendOutcome& outcome, const SendArgs& args, bool newer)
{
    return newer && args.wait_port && outcome.kind == SendOutcome::Kind::PortFailed &&
           outcome.error && (means_absent(*outcome.error) || means_not_permitted(*outcome.error));
}

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
    // What each port last got whole; nothing after a send to it failed, whatever reached it.
    std::vector<std::optional<std::vector<std::uint8_t>>> holds(args.ports.size());
    while (version) {
        FileContents file = read_file(args.file, MAX_PAYLOAD);
        if (stamp_of(args.file) != *version) {  // written to while it was read: let it settle
            version = watch.wait_for_change(stop.flag());
            continue;
        }
        watch.dealt_with(*version);
        const std::string prefix = time_prefix();
        std::vector<std::size_t> due;  // the ports that do not hold these bytes
        for (std::size_t i = 0; i < holds.size(); ++i)
            if (!holds[i] || *holds[i] != file.bytes)
                due.push_back(i);
        if (file.status != FileStatus::Ready) {
            std::fprintf(stderr, "%s%s\n", prefix.c_str(), file_problem(file, args.file).c_str());
        } else if (due.empty()) {
            if (talk)
                std::printf("%s%s was written again with the same %s bytes; not sent again\n",
                            prefix.c_str(), shown.c_str(), grouped(file.bytes.size()).c_str());
        } else {
            if (talk && due.size() < holds.size())
                for (std::size_t i = 0; i < holds.size(); ++i)
                    if (std::find(due.begin(), due.end(), i) == due.end())
                        std::printf("%s%s has these %s bytes already; not sent again\n",
                                    prefix.c_str(), printable(args.ports[i]).c_str(),
                                    grouped(file.bytes.size()).c_str());
            const SendArgs some = with_ports(args, due);
            const FileStamp sent_version = *version;
            SendLimits limits;
            limits.give_up_stalled = true;
            limits.superseded = [&] { return stamp_of(args.file) != sent_version; };
            const std::vector<SendOutcome> outcomes =
                send_to_ports(some, encode_frame(file.bytes), stop, limits);
            const bool newer = !stop.stopped() && limits.superseded();
            std::vector<std::size_t> told;  // places in due of the outcomes to report
            std::vector<SendOutcome> told_outcomes;
            for (std::size_t k = 0; k < due.size(); ++k) {
                const bool sent = outcomes[k].kind == SendOutcome::Kind::Sent;
                holds[due[k]] =
                    sent ? std::optional<std::vector<std::uint8_t>>(file.bytes) : std::nullopt;
                if (!superseded(outcomes[k], some, newer)) {
                    told.push_back(due[k]);
                    told_outcomes.push_back(outcomes[k]);
                }
            }
            if (!told.empty())
                report_outcomes(with_ports(args, told), told_outcomes, stop, prefix);
            if (stop.stopped())
                break;
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
