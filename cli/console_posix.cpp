// Ctrl-C is SIGINT. Its handler is installed without SA_RESTART, so a write or tcdrain under
// way returns EINTR at once instead of finishing the frame; SA_RESETHAND lets a second Ctrl-C
// end the program if the first cannot be acted on.
#include "console.h"

#include <csignal>
#include <unistd.h>

namespace orvanta {

namespace {

std::atomic<bool> ctrl_c{false};
struct sigaction previous;

void on_sigint(int) { ctrl_c = true; }

}  // namespace

bool stderr_is_terminal() { return isatty(STDERR_FILENO) == 1; }

CtrlCGuard::CtrlCGuard()
{
    ctrl_c = false;
    struct sigaction action = {};
    action.sa_handler = on_sigint;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous);
}

CtrlCGuard::~CtrlCGuard() { sigaction(SIGINT, &previous, nullptr); }

const std::atomic<bool>& CtrlCGuard::pressed() const { return ctrl_c; }

}  // namespace orvanta
