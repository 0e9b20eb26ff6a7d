// Runs zarn-upload (or any program) as a child process for the front end's
// tests: its standard output through a pipe, its standard error through a
// pipe or a pseudo-terminal, with a callback on every complete stdout line so
// that a test can act (start the STB, press Ctrl-C) at the right moment.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

struct ChildResult {
  int exitStatus = -1;    // -1 when it did not exit normally
  bool timedOut = false;  // killed at the deadline
  std::string out;
  std::string err;
  std::vector<std::string> OutLines() const;
};

struct ChildOptions {
  std::vector<std::string> extraEnvironment;  // "NAME=value"
  bool stderrOnTerminal = false;
  std::chrono::milliseconds deadline{std::chrono::seconds(60)};
  // Called on the test's thread for each complete stdout line, with the
  // child's process id.
  std::function<void(const std::string& line, int pid)> onOutLine;
};

ChildResult RunChild(const std::string& program, const std::vector<std::string>& arguments,
                     const ChildOptions& options = {});
