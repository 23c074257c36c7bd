#pragma once
// What drawing several lines in place needs of the terminal on stderr, done with each platform's
// own means: escape sequences on Linux and macOS, the console's calls on Windows, whose XP
// console knows no escape sequences (terminal_lines_posix.cpp, terminal_lines_win32.cpp).
#include <cstddef>
#include <cstdio>

namespace orvanta {

// Moves the cursor up lines lines, to the first column; out is flushed first.
void cursor_up(std::FILE* out, std::size_t lines);

// Whether out takes a write now without waiting: a terminal whose output the user has suspended
// (Ctrl-S) does not, and a progress line must never hold up the send that it follows.
bool takes_output_now(std::FILE* out);

// The width of the terminal on stderr in columns, or 0 when it cannot be told.
std::size_t terminal_columns();

}  // namespace orvanta
