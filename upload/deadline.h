#pragma once
// Waits against a deadline: the deadline is a point in time, the system's waits take
// milliseconds.
#include <chrono>
#include <climits>

namespace orvanta {

using Clock = std::chrono::steady_clock;

// The milliseconds from now until deadline, 0 once it has passed. Rounded up, so that a wait
// for the time left never ends just short of the deadline and is then repeated with 0.
inline int milliseconds_left(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : left >= INT_MAX ? INT_MAX : static_cast<int>(left);
}

}  // namespace orvanta
