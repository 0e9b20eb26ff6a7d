// The commands of zarn-upload: one upload without the window, and the port
// list. They run on the program's main thread and return its exit status.
#pragma once

#include <cstdio>

#include "CommandLine.h"
#include "TaskHost.h"

inline constexpr int kExitFinished = 0;     // the STB confirmed the upload
inline constexpr int kExitEndedEarly = 1;   // a failure box, a time-out, a stop; or FlashErr
inline constexpr int kExitUsage = 2;        // usage errors; port or file cannot be opened
inline constexpr int kExitUnconfirmed = 3;  // the upload reached its end, unconfirmed

// Opens the port as Connect does, starts the task kind that Send would choose
// for the file, relays its log, boxes and progress, and closes the port once
// every queued byte has left. The first Ctrl-C stops the task as Disconnect
// does: a stop request, then, when the task has not ended within a short
// grace, the port closed under it.
int RunUpload(const CommandLine& command, std::FILE* out, std::FILE* err);

// The exit status for how the task ended: 0 only when the STB confirmed, 3
// when the upload reached its end without a confirmation, 1 otherwise.
int ExitStatusFor(TaskEnd end);

// Prints what the port dialog would list, one port a line.
int RunListPorts(std::FILE* out);
