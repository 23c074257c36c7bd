#include "line_board.h"

#include "terminal_lines.h"

namespace orvanta {

LineBoard::LineBoard(std::FILE* out) : out_(out) {}

void LineBoard::draw(std::vector<std::string> lines)
{
    if (!widths_.empty())
        cursor_up(out_, widths_.size());
    widths_.resize(lines.size(), 0);
    const std::size_t columns = terminal_columns();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string& text = lines[i];
        if (columns > 1 && text.size() > columns - 1)
            text.resize(columns - 1);
        const std::size_t width = text.size();
        if (width < widths_[i])
            text.append(widths_[i] - width, ' ');
        widths_[i] = width;
        std::fprintf(out_, "\r%s\n", text.c_str());
    }
    std::fflush(out_);
}

}  // namespace orvanta
