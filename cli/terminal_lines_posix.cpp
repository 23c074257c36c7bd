#include "terminal_lines.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace orvanta {

void cursor_up(std::FILE* out, std::size_t lines)
{
    if (lines > 0)
        std::fprintf(out, "\r\033[%zuA", lines);
    else
        std::fputc('\r', out);
    std::fflush(out);
}

bool takes_output_now(std::FILE* out)
{
    pollfd p = {fileno(out), POLLOUT, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & POLLOUT) != 0;
}

std::size_t terminal_columns()
{
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_col;
}

}  // namespace orvanta
