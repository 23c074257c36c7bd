// Console events reach a handler that Windows runs on a thread of its own; it only sets the flag,
// and the thread that runs the command stops it. For a closing console, a logoff or a shutdown,
// Windows ends the process as soon as the handler returns: the handler waits (a few seconds at
// most) until the command has stopped and released its port.
#include "stop_signals.h"

#include <windows.h>

#include <cstdio>

namespace orvanta {

namespace {

constexpr int SIGINT_STATUS = 130;  // Ctrl-C and Ctrl-Break, as a shell reports SIGINT
constexpr int SIGHUP_STATUS = 129;  // the console or the session went away
constexpr DWORD RELEASE_WAIT_MS = 4000;

std::atomic<bool> stop{false};
std::atomic<int> status{SIGINT_STATUS};
// Set once the command has stopped and let go of everything. One event serves the whole process
// and lives as long as it: a handler may still be waiting on it while the process ends.
HANDLE released = nullptr;

BOOL WINAPI on_console_event(DWORD event)
{
    const bool going_away =
        event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
    if (!going_away && event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    if (stop.exchange(true) && !going_away)
        return FALSE;  // the second press goes to the default handler, which ends the program
    status = going_away ? SIGHUP_STATUS : SIGINT_STATUS;
    if (going_away && released)
        WaitForSingleObject(released, RELEASE_WAIT_MS);
    return TRUE;
}

}  // namespace

StopSignals::StopSignals()
{
    stop = false;
    status = SIGINT_STATUS;
    if (!released)
        released = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (released)
        ResetEvent(released);
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

StopSignals::~StopSignals()
{
    std::fflush(stdout);  // what the command printed goes out while a stop is still seen
    if (released)
        SetEvent(released);
    SetConsoleCtrlHandler(on_console_event, FALSE);
}

const std::atomic<bool>& StopSignals::flag() const { return stop; }

int StopSignals::exit_status() const { return status; }

int stop_status_seen() { return stop ? status.load() : 0; }

// _isatty would also say yes for NUL and other character devices; only a console has a mode.
bool stderr_is_terminal()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

// Windows gives a program's ports handles of their own, never the numbers of the C runtime's
// standard streams, so there is nothing to make valid; a write to a closed pipe fails with an
// error and never ends the program.
void prepare_standard_streams() {}

}  // namespace orvanta
