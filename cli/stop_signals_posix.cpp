// The stop signals are installed without SA_RESTART, so a write, tcdrain or poll under way returns
// EINTR at once; SA_RESETHAND lets a second signal end the program if the first cannot be acted on.
#include "stop_signals.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace orvanta {

namespace {

const int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<bool> stop{false};
volatile std::sig_atomic_t stop_signal = 0;
struct sigaction previous[3];

void on_stop(int signal)
{
    stop_signal = signal;
    stop = true;
}

}  // namespace

StopSignals::StopSignals()
{
    stop = false;
    stop_signal = 0;
    struct sigaction action = {};
    action.sa_handler = on_stop;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 3; ++i)
        sigaction(STOP_SIGNALS[i], &action, &previous[i]);
}

StopSignals::~StopSignals()
{
    // What the command printed goes out while a stop can still end the wait for it (a full
    // pipe, a suspended terminal); a write it cut short leaves the stream's error set.
    std::fflush(stdout);
    for (int i = 0; i < 3; ++i)
        sigaction(STOP_SIGNALS[i], &previous[i], nullptr);
}

const std::atomic<bool>& StopSignals::flag() const { return stop; }

int StopSignals::exit_status() const { return 128 + (stop_signal ? stop_signal : SIGINT); }

int stop_status_seen() { return stop_signal ? 128 + stop_signal : 0; }

bool stderr_is_terminal() { return isatty(STDERR_FILENO) == 1; }

void prepare_standard_streams()
{
    // Opened for reading only: a write to a stream that was closed still fails, as it would
    // have, and is reported; it just cannot reach a port that took its number.
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) == -1) {
            int null = open("/dev/null", O_RDONLY);
            if (null >= 0 && null != fd) {  // the lowest free number is this one
                dup2(null, fd);
                close(null);
            }
        }
    }
    signal(SIGPIPE, SIG_IGN);
}

}  // namespace orvanta
