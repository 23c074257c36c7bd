#pragma once
// Several lines of a terminal redrawn in place, one per port of a send: the progress of sends
// that run side by side. Each redraw moves back to the first line and writes every line again,
// padded over what was there (terminal_lines.h does the moving, per platform).
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace orvanta {

class LineBoard {
public:
    explicit LineBoard(std::FILE* out = stderr);
    LineBoard(const LineBoard&) = delete;
    LineBoard& operator=(const LineBoard&) = delete;

    // Draws lines in place of those drawn before (their number stays the same); a line wider
    // than the terminal is cut, so that no line wraps and the next redraw lands where it should.
    void draw(std::vector<std::string> lines);

private:
    std::FILE* out_;
    std::vector<std::size_t> widths_;  // of the lines on screen; empty before the first draw
};

}  // namespace orvanta
