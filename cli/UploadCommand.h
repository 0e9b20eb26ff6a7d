// The commands of zarn-upload: one upload without the window, a look at a
// file, and the port list. They run on the program's main thread and return
// its exit status (UploadResult.h).
#pragma once

#include <cstdio>

#include "CommandLine.h"
#include "TaskHost.h"
#include "UploadResult.h"

// Opens the port as Connect does, starts the task kind that Send would choose
// for the file, relays its log, boxes and progress, and closes the port once
// every queued byte has left. The first Ctrl-C stops the task as Disconnect
// does: a stop request, then, when the task has not ended within a short
// grace, the port closed under it. With --json the start and end events
// frame the task's; with --record the upload's row is on the disk before it
// returns.
int RunUpload(const CommandLine& command, std::FILE* out, std::FILE* err);

// What --info shows for the file: text lines, or one JSON object. Exit 0
// when Send would start the upload, 1 when it would refuse the file.
int RunInfo(const CommandLine& command, std::FILE* out, std::FILE* err);

// Prints what the port dialog would list, one port a line.
int RunListPorts(std::FILE* out);
