#include "progress_meter.h"

#include <cmath>

#include "line_settings.h"
#include "terminal_lines.h"

namespace orvanta {

namespace {

// Before this much time has passed the rate says more about buffers than about the line.
constexpr double SETTLED = 0.25;
constexpr double REDRAW_INTERVAL = 0.1;

std::string printed(const char* format, double value)
{
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string rate_text(double bytes_per_second)
{
    if (bytes_per_second < 1000)
        return printed("%.0f B/s", bytes_per_second);
    if (bytes_per_second < 1e6)
        return printed("%.1f kB/s", bytes_per_second / 1e3);
    return printed("%.1f MB/s", bytes_per_second / 1e6);
}

std::string duration_text(double seconds)
{
    if (seconds < 59.95)
        return printed("%.1f s", seconds);
    long whole = std::lround(seconds);
    return std::to_string(whole / 60) + " min " + printed("%02.0f s", double(whole % 60));
}

}  // namespace

std::string progress_text(std::size_t done, std::size_t total, double seconds)
{
    unsigned percent = total ? static_cast<unsigned>(done * 100 / total) : 100;
    std::string text =
        grouped(done) + " of " + grouped(total) + " bytes  " + std::to_string(percent) + "%";
    if (seconds < SETTLED || done == 0)
        return text;
    double rate = done / seconds;
    text += "  " + rate_text(rate);
    if (done >= total)
        return text + "  in " + duration_text(seconds);
    return text + "  " + duration_text((total - done) / rate) + " left";
}

ProgressMeter::ProgressMeter(std::size_t total, std::chrono::steady_clock::time_point start,
                             std::FILE* out)
        : total_(total), out_(out), start_(start)
{
}

ProgressMeter::~ProgressMeter()
{
    if (width_ > 0)
        std::fputc('\n', out_);
}

double ProgressMeter::seconds() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void ProgressMeter::update(std::size_t done)
{
    if (last_draw_ >= 0) {
        if (done == last_done_)
            return;
        if (done < total_ && seconds() - last_draw_ < REDRAW_INTERVAL)
            return;  // the last drawing is recent enough
    }
    if (!takes_output_now(out_))
        return;  // output suspended (Ctrl-S): the send goes on, the line is drawn later
    draw(done);
}

void ProgressMeter::finish()
{
    draw(total_);
    std::fputc('\n', out_);
    width_ = 0;
}

void ProgressMeter::draw(std::size_t done)
{
    last_draw_ = seconds();
    last_done_ = done;
    std::string text = progress_text(done, total_, last_draw_);
    // Spaces cover what is left of a longer line drawn before (no terminal escapes: the
    // Windows XP console has none).
    std::size_t width = text.size();
    if (width < width_)
        text.append(width_ - width, ' ');
    width_ = width;
    std::fprintf(out_, "\r%s", text.c_str());
    std::fflush(out_);
}

}  // namespace orvanta
