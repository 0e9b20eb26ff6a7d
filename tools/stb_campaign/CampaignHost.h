// The TaskHost of the STB campaign and of the tests that run whole sessions:
// it records every log line, box and progress call, and runs the termination
// notice on the thread that pumps it.
//
// Threads: construct it on the session's thread, which then pumps Queue().
// The recording calls come from the task's thread; the readers may be called
// from any thread.
#pragma once

#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "MainThreadQueue.h"
#include "TaskHost.h"

namespace campaign {

struct Box {
  std::string text;
  std::string title;
  bool operator==(const Box&) const = default;
};

class CampaignHost final : public TaskHost {
 public:
  CampaignHost(TApdCustomComPort& port, std::string path) : port_(port), path_(std::move(path)) {}

  TApdCustomComPort& Port() override { return port_; }
  std::string ChosenPath() override { return path_; }
  void AppendLog(const std::string& line) override;
  void SetProgressPosition(int position) override;
  void SetProgressMin(int) override {}
  void SetProgressMax(int maximum) override;
  void StepProgressBy(int delta) override;
  void ShowMessageBox(const std::string& text, const std::string& title) override;
  void RunOnMainThread(const std::function<void()>& fn) override { queue_.RunAndWait(fn); }
  void TaskEnded(TaskEnd end) override;

  MainThreadQueue& Queue() { return queue_; }
  std::vector<std::string> Log() const;
  std::vector<Box> Boxes() const;
  std::optional<TaskEnd> End() const;
  // When the termination notice reported the end; nothing before it.
  std::optional<std::chrono::steady_clock::time_point> EndedAt() const;
  // The progress bar never left 0..maximum.
  bool ProgressInRange() const;

 private:
  TApdCustomComPort& port_;
  const std::string path_;
  MainThreadQueue queue_;
  mutable std::mutex mutex_;
  std::vector<std::string> log_;
  std::vector<Box> boxes_;
  std::optional<TaskEnd> end_;
  std::optional<std::chrono::steady_clock::time_point> endedAt_;
  int position_ = 0;
  int maximum_ = 0;
  bool progressInRange_ = true;
};

}  // namespace campaign
