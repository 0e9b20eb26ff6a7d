// The operator's word on the console: a line holding a port's number (1 for
// the first --port) says that the port's next unit is in place, and the
// station arms that port at once (loop mode). Standard input is read as the
// lines come; its end (a pipe closed, /dev/null) ends the reading, nothing
// else. The backend file is chosen by CMake per operating system.
//
// Threads: construct and destroy on the thread of the event loop; `onLine`
// is called there.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// The port index (from 0) that `line` names among `portCount` ports: a port
// number from 1, surrounded by blanks at most. Nothing for anything else.
std::optional<size_t> PortIndexFromLine(std::string_view line, size_t portCount);

class OperatorInput {
 public:
  explicit OperatorInput(std::function<void(const std::string& line)> onLine);
  ~OperatorInput();
  OperatorInput(const OperatorInput&) = delete;
  OperatorInput& operator=(const OperatorInput&) = delete;

 private:
  struct Reader;
  std::unique_ptr<Reader> reader_;
};
