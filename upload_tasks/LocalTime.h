// The thread-safe local-time conversion, which each system spells its own way
// (localtime_r, localtime_s). The backend file is chosen by CMake.
#pragma once

#include <ctime>

// Fills `local` with `when` in the local zone; false when the system cannot
// convert it. Safe from any thread.
bool ToLocalTime(std::time_t when, std::tm& local);
