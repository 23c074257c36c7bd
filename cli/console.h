#pragma once
#include <atomic>

namespace orvanta {

// Whether stderr is a terminal that someone watches; progress is drawn only there.
bool stderr_is_terminal();

// While one lives, Ctrl-C does not end the program: it sets the flag, and a send under way
// stops cleanly (its port released, what went out reported). A second Ctrl-C ends the
// program at once, as usual. The usual handling comes back when the object goes.
class CtrlCGuard {
public:
    CtrlCGuard();
    ~CtrlCGuard();
    CtrlCGuard(const CtrlCGuard&) = delete;
    CtrlCGuard& operator=(const CtrlCGuard&) = delete;

    const std::atomic<bool>& pressed() const;
};

}  // namespace orvanta
