// An in-process TaskHost for the task tests: it records every log line,
// progress call and message box, and runs the termination notice on the
// test's own thread (the "main thread") while the test pumps it.
//
// Threads: construct it on the test's thread, which then calls
// RunUntilTaskEnds (or PumpUntil). The recording calls come from the task's
// thread; the readers may be called from any thread. Hooks must be set
// before the task starts.
#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "MainThreadQueue.h"
#include "TaskHost.h"

class FakeTaskHost : public TaskHost {
 public:
  struct Box {
    std::string text;
    std::string title;
    bool operator==(const Box&) const = default;
    friend void PrintTo(const Box& box, std::ostream* os) {
      *os << "{\"" << box.text << "\", \"" << box.title << "\"}";
    }
  };

  explicit FakeTaskHost(TApdCustomComPort& port) : port_(port) {}

  // --- TaskHost ---
  TApdCustomComPort& Port() override { return port_; }
  std::string ChosenPath() override;
  void AppendLog(const std::string& line) override;
  void SetProgressPosition(int position) override;
  void SetProgressMin(int minimum) override;
  void SetProgressMax(int maximum) override;
  void StepProgressBy(int delta) override;
  void ShowMessageBox(const std::string& text, const std::string& title) override;
  void RunOnMainThread(const std::function<void()>& fn) override { queue_.RunAndWait(fn); }
  void TaskEnded(TaskEnd end) override;

  // --- set-up ---
  void SetChosenPath(const std::string& path);
  // Called on the task's thread after a line is recorded / a box is shown.
  std::function<void(const std::string& line)> onLog;
  std::function<void(const Box& box)> onBox;

  // --- test side ---
  // Pumps the notice queue until the running task has ended and released
  // itself; false when `limit` passed first.
  bool RunUntilTaskEnds(std::chrono::milliseconds limit = std::chrono::seconds(30));
  // Pumps until `done()` or `limit`; returns done().
  bool PumpUntil(const std::function<bool()>& done,
                 std::chrono::milliseconds limit = std::chrono::seconds(30));

  std::vector<std::string> Log() const;
  std::vector<Box> Boxes() const;
  // Progress calls in order, as "position 0", "min 0", "max 100", "step 8188".
  std::vector<std::string> ProgressCalls() const;
  int ProgressPosition() const;
  // Once TaskEnded was called: whether the task reached its finish, and how
  // it ended.
  std::optional<bool> Ended() const;
  std::optional<TaskEnd> EndedAs() const;
  bool TerminationLineOnMainThread() const;
  std::vector<std::thread::id> LogThreads() const;

 private:
  TApdCustomComPort& port_;
  MainThreadQueue queue_;
  const std::thread::id mainThread_ = std::this_thread::get_id();
  mutable std::mutex mutex_;
  std::string chosenPath_;
  std::vector<std::string> log_;
  std::vector<std::thread::id> logThreads_;
  std::vector<Box> boxes_;
  std::vector<std::string> progress_;
  int position_ = 0;
  std::optional<TaskEnd> ended_;
  bool endedOnMainThread_ = false;
};
