// Which files go with the DSP block transfer and which with the ZARN
// command-word protocol. Load records the answer and Send starts the task
// it names, in the window and in zarn-upload alike.
//
// Pure function; safe from any thread.
#pragma once

#include <string>

// The last four characters of `path` (the whole path when it is shorter), in
// upper case, are ".DSP": the file goes with UpDspThread, any other with
// UpThread. Only ASCII letters change case, so a UTF-8 path is judged by its
// bytes.
bool IsDspPath(const std::string& path);
