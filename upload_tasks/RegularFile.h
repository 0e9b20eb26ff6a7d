// Opening an image file without any risk of blocking: only a regular file is
// opened. A named pipe with no writer would hold a plain open (or the first
// read) for ever, and a device such as /dev/zero has no length to send.
//
// Threads: any; no shared state.
#pragma once

#include <cstdio>
#include <string>

// Opens `path` read-only at position 0 when it names a regular file (a
// symbolic link counts as what it points at). The open itself never waits.
// Returns the stream, or nullptr with `problem` set to what is wrong, in words
// that complete "Cannot open file "<path>": ": the system's text for an error
// ("No such file or directory"), or what the path is instead, e.g. "it is a
// named pipe (FIFO), not a regular file".
std::FILE* OpenRegularFile(const std::string& path, std::string& problem);
