#pragma once
// How the user stops a command: Ctrl-C, and the signals a terminal or the system sends when it
// goes away (SIGTERM, SIGHUP; on Windows Ctrl-Break, closing the console window, logging off or
// shutting down). While a StopSignals lives they do not end the program: they set its flag, and
// the command under way stops cleanly, its port released, its link and temporary file removed,
// and says how far it got. A second one ends the program at once, as usual.
#include <atomic>

namespace orvanta {

class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    const std::atomic<bool>& flag() const;
    bool stopped() const { return flag().load(); }

    // The exit status that says what stopped the command, as shells report a signal: 128 plus
    // its number (130 for Ctrl-C).
    int exit_status() const;
};

// The exit status of a stop that came while a StopSignals lived (128 plus the signal's number),
// 0 when none came. Output cut short by a stop is the stop's, not a failure to write.
int stop_status_seen();

// Whether stderr is a terminal that someone watches; progress is drawn only there.
bool stderr_is_terminal();

// Readies the process's own output before any port or file is opened: a closed standard
// descriptor (0 to 2) is opened on the null device, so that no port or file can take its number
// and no message can go onto a line; and a closed pipe makes a write fail instead of ending the
// program silently.
void prepare_standard_streams();

}  // namespace orvanta
