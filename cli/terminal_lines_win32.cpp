#include "terminal_lines.h"

#include <windows.h>

namespace orvanta {

void cursor_up(std::FILE* out, std::size_t lines)
{
    std::fflush(out);
    HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(console, &info))
        return;
    COORD to = {0, static_cast<SHORT>(info.dwCursorPosition.Y > static_cast<SHORT>(lines)
                                          ? info.dwCursorPosition.Y - static_cast<SHORT>(lines)
                                          : 0)};
    SetConsoleCursorPosition(console, to);
}

// The console tells no such thing; a write to it returns once it is on the screen.
bool takes_output_now(std::FILE*) { return true; }

std::size_t terminal_columns()
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info))
        return 0;
    return static_cast<std::size_t>(info.dwSize.X);
}

}  // namespace orvanta
