#include "wait_port.h"

#include <chrono>

#include "worker_thread.h"

namespace orvanta {

SendOutcome send_when_present(Port& port, const std::string& name,
                              const std::vector<std::uint8_t>& frame, const SendOptions& options,
                              std::optional<double> wait_seconds,
                              const std::function<bool()>& keep_waiting)
{
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        SendOutcome outcome = send_frame(port, name, frame, options);
        // A port that is there but not open to this user yet (its mode set a moment after the
        // node appears) is waited for as one that is not there yet.
        if (!wait_seconds || outcome.kind != SendOutcome::Kind::PortFailed || !outcome.error ||
            !(means_absent(*outcome.error) || means_not_permitted(*outcome.error)))
            return outcome;
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (*wait_seconds >= 0 && elapsed >= *wait_seconds)
            return outcome;
        if (keep_waiting && !keep_waiting())
            return outcome;
        pause_ms(PORT_LOOK_INTERVAL_MS);
        // send_frame itself answers a stop with Stopped before it opens anything.
    }
}

}  // namespace orvanta
