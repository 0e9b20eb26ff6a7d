#include "ProgressBar.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

std::string RenderProgressBar(int minimum, int maximum, int position, int width) {
  int64_t percent = 0;
  int64_t filled = 0;
  if (maximum > minimum) {
    const int64_t span = int64_t{maximum} - minimum;
    const int64_t done = std::clamp<int64_t>(int64_t{position} - minimum, 0, span);
    percent = done * 100 / span;
    filled = done * width / span;
  }
  std::string line = "[";
  line.append(static_cast<size_t>(filled), '#');
  line.append(static_cast<size_t>(width - filled), ' ');
  char tail[16];
  std::snprintf(tail, sizeof tail, "] %3d%%", static_cast<int>(percent));
  return line + tail;
}
