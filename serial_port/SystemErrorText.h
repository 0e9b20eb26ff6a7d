// The operating system's own wording for one of its error numbers, as the
// message box shows it when the serial layer's table has no text. Each system
// numbers its errors its own way (errno on Linux, GetLastError on Windows); the
// backend file is chosen by CMake.
//
// Threads: safe from any thread.
#pragma once

#include <string>

// The system's text for `number`, untidied; "" when the system has none.
std::string SystemErrorDescription(int number);
