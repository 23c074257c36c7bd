#pragma once
// What drawing several lines in place needs of the terminal on stderr, done with each platform's
// own means: escape sequences on Linux and macOS, the console's calls on Windows, whose XP
// console knows no escape sequences (terminal_lines_posix.cpp, terminal_lines_win32.cpp).
#include <cstddef>
#include <cstdio>

namespace orvanta {

// Moves the cursor up lines lines, to the first column; out is flushed first.
void cursor_up(std::FILE* out, std::size_t lines);

// The width of the terminal on stderr in columns, or 0 when it cannot be told.
std::size_t terminal_columns();

}  // namespace orvanta
