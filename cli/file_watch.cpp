#include "file_watch.h"

#include <chrono>

#include "worker_thread.h"

namespace orvanta {

FileWatch::FileWatch(std::string path, unsigned settle_ms)
        : path_(std::move(path)), settle_ms_(settle_ms)
{
}

FileStamp FileWatch::look_now()
{
    seen_ = stamp_of(path_);
    return seen_;
}

std::optional<FileStamp> FileWatch::wait_for_change(const std::atomic<bool>& stop)
{
    using Clock = std::chrono::steady_clock;
    FileStamp candidate = seen_;
    Clock::time_point since = Clock::now();
    while (!stop.load()) {
        const FileStamp now = stamp_of(path_);
        if (now != candidate) {
            candidate = now;
            since = Clock::now();
        } else if (candidate != seen_ &&
                   Clock::now() - since >= std::chrono::milliseconds(settle_ms_)) {
            return candidate;
        }
        pause_ms(LOOK_INTERVAL_MS);
    }
    return std::nullopt;
}

}  // namespace orvanta
