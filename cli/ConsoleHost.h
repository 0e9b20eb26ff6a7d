// The TaskHost of zarn-upload: the status log goes to standard output line by
// line, message boxes go to standard error as "<title>: <text>" and count as
// dismissed at once, and, when standard error is a terminal, a progress bar is
// drawn there, taken off the line by the terminal's BarEraser. In JSON mode
// standard output carries the log, box and progress events instead
// (UploadEvents.h), and no bar is drawn. Every call also goes into the
// upload's story (UploadStory.h) for the end event and the record.
// Termination notices run on the front end's main thread through a small
// event queue.
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

#include "BarEraser.h"
#include "MainThreadQueue.h"
#include "TaskHost.h"
#include "UploadStory.h"

class ConsoleHost final : public TaskHost {
 public:
  enum class Output { Text, Json };
  // `barEraser`: how the bar is erased on `err`; no bar without one, nor in
  // JSON mode.
  ConsoleHost(TApdCustomComPort& port, std::string imagePath, std::FILE* out, std::FILE* err,
              std::optional<BarEraser> barEraser, Output output, UploadStory& story);

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
  // Takes the progress bar off the terminal (before the program ends).
  void ClearProgressBar();
  // Writes one line of the front end's own to standard error, in order with
  // the boxes and clear of the progress bar. Any thread.
  void PrintNote(const std::string& line);
  // Writes one line to standard output, in order with the task's. Any thread.
  void PrintOut(const std::string& line);

 private:
  // With the lock held.
  void EraseBar();
  void DrawBar();

  // Writes `line` to `stream` with the bar taken off the terminal meanwhile.
  // Takes the lock.
  void WriteLine(std::FILE* stream, const std::string& line);
  // Applies `change` to the bar's figures under the lock and draws the bar;
  // in JSON mode, with `report`, writes a progress event instead.
  void ChangeBar(const std::function<void()>& change, bool report = false);

  TApdCustomComPort& port_;
  const std::string imagePath_;
  std::FILE* const out_;
  std::FILE* const err_;
  const std::optional<BarEraser> barEraser_;
  const Output output_;
  UploadStory& story_;
  MainThreadQueue queue_;

  mutable std::mutex mutex_;
  int minimum_ = 0;
  int maximum_ = 100;
  int position_ = 0;
  bool barShown_ = false;
  size_t barColumns_ = 0;  // the width of the bar on the line
  bool barStarted_ = false;
};
