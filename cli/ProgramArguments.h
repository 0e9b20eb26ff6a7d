// The command line as the program's code sees it: its name and its
// arguments, in UTF-8. On Windows the C runtime's argv is in the ANSI code
// page, where a path such as "Прошивка.zarn" or "固件.zarn" arrives as
// "????????.zarn"; the backend reads the UTF-16 command line instead. The
// backend file is chosen by CMake per operating system.
//
// Threads: main thread, at start-up.
#pragma once

#include <string>
#include <vector>

struct ProgramArguments {
  std::string program;                 // how the program was named ("" if not at all)
  std::vector<std::string> arguments;  // the words after the name
};

// The command line of this process; `argc` and `argv` are main's, used where
// the system has no better form of them.
ProgramArguments ReadProgramArguments(int argc, char** argv);
