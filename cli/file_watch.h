#pragma once
// Waiting for a file to change and then to settle. The file is looked at by name every
// LOOK_INTERVAL_MS, which sees every way a build writes it (in place, truncated and written,
// a new file renamed over it, deleted and made again) on any file system, local or shared; a
// change counts once the file has stayed the same for the settle time, so a file still being
// written is not taken.
#include <atomic>
#include <optional>
#include <string>

#include "file_stamp.h"

namespace orvanta {

constexpr unsigned LOOK_INTERVAL_MS = 10;
// Long enough for a linker or a copy that writes in bursts, short enough not to be noticed.
constexpr unsigned SETTLE_MS = 250;

class FileWatch {
public:
    FileWatch(std::string path, unsigned settle_ms = SETTLE_MS);

    // Takes the file as it is now as the version already dealt with.
    FileStamp look_now();

    // Waits until the file differs from the version dealt with and has then stayed the same for
    // the settle time, and returns that version's stamp; nothing once stop is set.
    std::optional<FileStamp> wait_for_change(const std::atomic<bool>& stop);

    // Takes stamp as the version dealt with.
    void dealt_with(const FileStamp& stamp) { seen_ = stamp; }

    const std::string& path() const { return path_; }

private:
    std::string path_;
    unsigned settle_ms_;
    FileStamp seen_;
};

}  // namespace orvanta
