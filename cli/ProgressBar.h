// The progress bar that zarn-upload draws on a terminal: the window's bar in
// one line of text.
//
// Pure function; safe from any thread.
#pragma once

#include <string>

inline constexpr int kProgressBarWidth = 40;

// One line such as "[##########                              ]  25%" for a
// bar from `minimum` to `maximum` at `position` (clamped to the range; an
// empty range shows 0%).
std::string RenderProgressBar(int minimum, int maximum, int position,
                              int width = kProgressBarWidth);
