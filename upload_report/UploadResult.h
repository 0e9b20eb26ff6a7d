// How an upload ended, in the words and numbers that programs read: the
// result of the record and the JSON end event, and zarn-upload's exit status
// (the README's table). One mapping for the CLI, the window's record and the
// station.
//
// Pure functions; safe from any thread.
#pragma once

#include <string>

#include "TaskHost.h"

inline constexpr int kExitFinished = 0;     // the STB confirmed the upload
inline constexpr int kExitEndedEarly = 1;   // a failure box, a time-out, a stop; or FlashErr
inline constexpr int kExitUsage = 2;        // usage errors; port or file cannot be opened
inline constexpr int kExitUnconfirmed = 3;  // the upload reached its end, unconfirmed

enum class UploadResult { Confirmed, Failed, FlashError, Unconfirmed };

UploadResult ResultFor(TaskEnd end);
// "confirmed", "failed", "flash error", "unconfirmed".
std::string ResultText(UploadResult result);

// The exit status for how the task ended: 0 only when the STB confirmed, 3
// when the upload reached its end without a confirmation, 1 otherwise.
int ExitStatusFor(TaskEnd end);
