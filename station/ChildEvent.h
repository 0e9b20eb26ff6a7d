// What the station reads from one zarn-upload --json child: each standard
// output line turned into a typed event. The events and their members are
// the README's machine interface; a line that is not one of them is
// Unreadable, never guessed at.
//
// Pure functions and plain values; safe from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct ChildEvent {
  enum class Kind { Start, Log, Progress, Box, End, Unreadable };
  Kind kind = Kind::Unreadable;
  // Start
  std::string port;
  std::string file;
  int64_t size = 0;
  std::string crc32;
  // Log: the status line; Unreadable: the line as it came
  std::string line;
  // Progress
  int64_t done = 0;
  int64_t total = 0;
  // Box
  std::string title;
  std::string text;
  // End
  int exitStatus = -1;
  std::string result;  // "confirmed", "failed", "flash error", "unconfirmed"
  double seconds = 0;
  int64_t bytesSent = 0;
};

// One line of the child's standard output (without its line break; a CR
// before it is ignored). An event whose members are missing or of the wrong
// type is Unreadable, with `line` holding the text.
ChildEvent ParseChildEvent(std::string_view line);
