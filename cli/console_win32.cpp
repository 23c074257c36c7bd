// Ctrl-C and Ctrl-Break reach a console handler that Windows runs on a thread of its own; it
// only sets the flag, and the thread that follows the send stops the write.
#include "console.h"

#include <windows.h>

namespace orvanta {

namespace {

std::atomic<bool> ctrl_c{false};

BOOL WINAPI on_ctrl(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    // The second press goes to the default handler, which ends the program.
    return ctrl_c.exchange(true) ? FALSE : TRUE;
}

}  // namespace

// _isatty would also say yes for NUL and other character devices; only a console has a mode.
bool stderr_is_terminal()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

CtrlCGuard::CtrlCGuard()
{
    ctrl_c = false;
    SetConsoleCtrlHandler(on_ctrl, TRUE);
}

CtrlCGuard::~CtrlCGuard() { SetConsoleCtrlHandler(on_ctrl, FALSE); }

const std::atomic<bool>& CtrlCGuard::pressed() const { return ctrl_c; }

}  // namespace orvanta
