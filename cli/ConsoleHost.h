// The TaskHost of zarn-upload: the status log goes to standard output line by
// line, message boxes go to standard error as "<title>: <text>" and count as
// dismissed at once, and, when standard error is a terminal, a progress bar is
// drawn there. Termination notices run on the front end's main thread through
// a small event queue.
//
// Threads: construct on the main thread, which then pumps Queue(). The
// TaskHost calls come from the task's thread (and the notice from the main
// thread); one lock keeps the two output streams in order.
#pragma once

#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "MainThreadQueue.h"
#include "TaskHost.h"

class ConsoleHost final : public TaskHost {
 public:
  ConsoleHost(TApdCustomComPort& port, std::string imagePath, std::FILE* out, std::FILE* err,
              bool drawProgressBar);

  TApdCustomComPort& Port() override { return port_; }
  std::string ChosenPath() override { return imagePath_; }
  void AppendLog(const std::string& line) override;
  void SetProgressPosition(int position) override;
  void SetProgressMin(int minimum) override;
  void SetProgressMax(int maximum) override;
  void StepProgressBy(int delta) override;
  void ShowMessageBox(const std::string& text, const std::string& title) override;
  void RunOnMainThread(const std::function<void()>& fn) override { queue_.RunAndWait(fn); }
  void TaskEnded(TaskEnd end) override;

  MainThreadQueue& Queue() { return queue_; }
  // Set by the termination notice: how the task ended.
  std::optional<TaskEnd> Outcome() const;
  // Takes the progress bar off the terminal (before the program ends).
  void ClearProgressBar();
  // Writes one line of the front end's own to standard error, in order with
  // the boxes and clear of the progress bar. Any thread.
  void PrintNote(const std::string& line);

 private:
  // With the lock held.
  void EraseBar();
  void DrawBar();

  // Writes `line` to `stream` with the bar taken off the terminal meanwhile.
  // Takes the lock.
  void WriteLine(std::FILE* stream, const std::string& line);
  // Applies `change` to the bar's figures under the lock and draws the bar.
  void ChangeBar(const std::function<void()>& change);

  TApdCustomComPort& port_;
  const std::string imagePath_;
  std::FILE* const out_;
  std::FILE* const err_;
  const bool drawProgressBar_;
  MainThreadQueue queue_;

  mutable std::mutex mutex_;
  int minimum_ = 0;
  int maximum_ = 100;
  int position_ = 0;
  bool barShown_ = false;
  bool barStarted_ = false;
  std::optional<TaskEnd> outcome_;
};
