// What the upload benchmarks share: the line's arithmetic, the goals, the
// processor-use meter, the SIZE arguments, a host without a window, the
// simulated STB in a child process and the figures line.
//
// Threads: BenchHost is driven by the main thread (RunUntilEnded,
// PumpUntilLogged, reading its fields after the task ended); the task calls
// its TaskHost members from its own thread. ChildStb is made and used by the
// main thread before it starts any other thread.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Adport.h"
#include "MainThreadQueue.h"
#include "ProtocolFloor.h"
#include "TaskHost.h"

namespace bench {

using Clock = std::chrono::steady_clock;

// The line of the protocol floor (ProtocolFloor.h).
inline constexpr double kBaud = kLineBaud;
inline constexpr double kBitsPerByte = kLineBitsPerByte;
// An upload may take at most this many times the time its protocol imposes,
// and the tool may use less than this share of one core meanwhile.
inline constexpr double kTimeGoal = 1.02;
inline constexpr double kCpuGoal = 0.05;

// Time `bytes` take on the line at kBaud.
double LineSeconds(std::size_t bytes);

// Processor time of the whole process (every thread) since it started.
double CpuSeconds();

// Processor time and wall time from construction to each Read.
class UsageMeter {
 public:
  struct Reading {
    double cpu = 0;
    double wall = 0;
    double Share() const { return wall > 0 ? cpu / wall : 0; }
  };
  UsageMeter();
  Reading Read() const;

 private:
  double cpuStart_;
  Clock::time_point wallStart_;
};

// "123", "64K" or "1M" (K and M in either case); nullopt otherwise.
std::optional<std::size_t> ParseSize(const std::string& text);
// The SIZE arguments, or `defaults` when there are none. Prints the usage line
// (with `note` after it) and returns nullopt when one is not a size or below
// `minimum`.
std::optional<std::vector<std::size_t>> ParseSizes(int argc, char** argv,
                                                   std::vector<std::size_t> defaults,
                                                   std::size_t minimum = 0,
                                                   const std::string& note = "");

// A host without a window: log lines with the time of the last, boxes kept,
// the main-thread calls run by whoever pumps the queue. `startLine` is the log
// line from which the upload is timed.
class BenchHost final : public TaskHost {
 public:
  BenchHost(TApdCustomComPort& port, std::string path, std::string startLine);

  TApdCustomComPort& Port() override { return port_; }
  std::string ChosenPath() override { return path_; }
  void AppendLog(const std::string& line) override;
  void SetProgressPosition(int) override {}
  void SetProgressMin(int) override {}
  void SetProgressMax(int) override {}
  void StepProgressBy(int) override {}
  void ShowMessageBox(const std::string& text, const std::string& title) override;
  void RunOnMainThread(const std::function<void()>& fn) override { queue_.RunAndWait(fn); }
  void TaskEnded(TaskEnd end) override;

  // Runs the main-thread calls until `line` was logged or the task ended;
  // false when `limit` passed first.
  bool PumpUntilLogged(const std::string& line, Clock::duration limit);
  // Runs the main-thread calls until the task ended and released its
  // resources; false when `limit` passed first.
  bool RunUntilEnded(Clock::duration limit);

  // From the start line to the last line; nullopt when the start line never came.
  std::optional<double> TimedSeconds() const;
  bool Finished() const;
  bool BoxShown() const;
  // The boxes, and when the task did not reach its finish every log line.
  void PrintTrouble() const;

 private:
  TApdCustomComPort& port_;
  const std::string path_;
  const std::string startLine_;
  MainThreadQueue queue_;
  mutable std::mutex mutex_;
  std::optional<Clock::time_point> started_;
  Clock::time_point lastLine_;
  std::vector<std::string> lines_;
  std::vector<std::string> boxes_;
  bool finished_ = false;
};

// The STB's end of the pipes between a benchmark and its child.
class StbSide {
 public:
  StbSide(int toTool, int fromTool) : toTool_(toTool), fromTool_(fromTool) {}
  // Tells the benchmark the line's path; false when it cannot.
  bool ReportPath(const std::string& path);
  // Waits for the benchmark's Go; false when it released the child instead.
  bool WaitForGo();
  // Waits until the benchmark releases the child (ChildStb::Release), so the
  // line stays until the tool has closed its port.
  void WaitForRelease();

 private:
  int toTool_;
  int fromTool_;
};

// The simulated STB in a child process forked at construction, so that
// getrusage in this process counts the tool alone. The child runs `body`
// and exits with what it returns; it must build its simulator itself.
class ChildStb {
 public:
  explicit ChildStb(const std::function<int(StbSide&)>& body);
  ~ChildStb();
  ChildStb(const ChildStb&) = delete;
  ChildStb& operator=(const ChildStb&) = delete;

  // The line's path the child reported; empty when it did not start.
  const std::string& SlavePath() const { return slavePath_; }
  // Lets the child's WaitForGo return true.
  bool Go();
  // Lets the child's WaitForRelease return.
  void Release();
  // Releases the child and waits for it; true when it exited 0.
  bool Succeeded();
  // The child's wait status once Succeeded returned.
  int Status() const { return status_; }

 private:
  pid_t child_ = -1;
  int fromChild_ = -1;
  int toChild_ = -1;
  std::string slavePath_;
  bool reaped_ = false;
  int status_ = 0;
};

// Prints one run's figures line; true when both goals are met.
//   SIZE bytes COUNT UNIT: MEASURED s (imposed IMPOSED s, xRATIO ok), cpu ... ok
bool PrintFigures(std::size_t size, std::size_t count, int countWidth, const char* unit,
                  double measured, double imposed, const UsageMeter::Reading& usage);

}  // namespace bench
