// How zarn-upload takes its progress bar off the terminal line before a log
// line or the next bar. A terminal that understands escape sequences erases
// the line with one; the classic Windows console, where virtual-terminal
// processing cannot be turned on, would print the sequence as "←[K", so there
// the bar is overwritten with spaces instead.
//
// Pure function; safe from any thread.
#pragma once

#include <cstddef>
#include <string>

enum class BarEraser {
  EscapeSequence,  // carriage return, then "erase to the end of the line"
  Overwrite,       // carriage return, spaces over the old bar, carriage return
};

// The text that clears a bar of `barColumns` characters from the current line
// and leaves the cursor at its start.
std::string BarErasingText(BarEraser eraser, size_t barColumns);
