#pragma once
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>

namespace orvanta {

// One line of progress: "24,576 of 65,537 bytes  37%  11.5 kB/s  3.6 s left". Rate and time
// left appear once a quarter of a second has passed; with done == total the line tells the
// time the whole took instead ("in 5.7 s").
std::string progress_text(std::size_t done, std::size_t total, double seconds);

// Draws a send's progress on one line of a terminal, redrawn in place at most ten times a second,
// and ends it with a line break: finish() after the last byte, or the destructor after a failure.
class ProgressMeter {
public:
    // start: when the send began, which may be before the first update.
    ProgressMeter(std::size_t total, std::chrono::steady_clock::time_point start,
                  std::FILE* out = stderr);
    ~ProgressMeter();
    ProgressMeter(const ProgressMeter&) = delete;
    ProgressMeter& operator=(const ProgressMeter&) = delete;

    void update(std::size_t done);
    void finish();

private:
    void draw(std::size_t done);
    double seconds() const;

    std::size_t total_;
    std::FILE* out_;
    std::chrono::steady_clock::time_point start_;
    double last_draw_ = -1;  // seconds() at the last draw, -1 before the first
    std::size_t last_done_ = 0;
    std::size_t width_ = 0;  // of the line on screen, 0 when none is open
};

}  // namespace orvanta
