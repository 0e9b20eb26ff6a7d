// The commands of zarn-upload: one upload without the window, and the port
// list. They run on the program's main thread and return its exit status.
#pragma once

#include <cstdio>

#include "CommandLine.h"

inline constexpr int kExitFinished = 0;   // the task reached its finish
inline constexpr int kExitEndedEarly = 1; // a failure, a time-out, a stop
inline constexpr int kExitUsage = 2;      // usage errors; port or file cannot be opened

// Opens the port as Connect does, starts the task kind that Send would choose
// for the file, relays its log, boxes and progress, and closes the port once
// every queued byte has left. The first Ctrl-C stops the task as Disconnect
// does: a stop request, then, when the task has not ended within a short
// grace, the port closed under it.
int RunUpload(const CommandLine& command, std::FILE* out, std::FILE* err);

// Prints what the port dialog would list, one port a line.
int RunListPorts(std::FILE* out);
