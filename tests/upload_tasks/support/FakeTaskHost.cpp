#include "FakeTaskHost.h"

#include "Unit2.h"

std::string FakeTaskHost::ChosenPath() {
  std::lock_guard<std::mutex> lock(mutex_);
  return chosenPath_;
}

void FakeTaskHost::SetChosenPath(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  chosenPath_ = path;
}

void FakeTaskHost::AppendLog(const std::string& line) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    log_.push_back(line);
    logThreads_.push_back(std::this_thread::get_id());
  }
  if (onLog) onLog(line);
}

void FakeTaskHost::SetProgressPosition(int position) {
  std::lock_guard<std::mutex> lock(mutex_);
  progress_.push_back("position " + std::to_string(position));
  position_ = position;
}

void FakeTaskHost::SetProgressMin(int minimum) {
  std::lock_guard<std::mutex> lock(mutex_);
  progress_.push_back("min " + std::to_string(minimum));
}

void FakeTaskHost::SetProgressMax(int maximum) {
  std::lock_guard<std::mutex> lock(mutex_);
  progress_.push_back("max " + std::to_string(maximum));
}

void FakeTaskHost::StepProgressBy(int delta) {
  std::lock_guard<std::mutex> lock(mutex_);
  progress_.push_back("step " + std::to_string(delta));
  position_ += delta;
}

void FakeTaskHost::ShowMessageBox(const std::string& text, const std::string& title) {
  Box box{text, title};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    boxes_.push_back(box);
  }
  if (onBox) onBox(box);
}

void FakeTaskHost::TaskEnded(TaskEnd end) {
  std::lock_guard<std::mutex> lock(mutex_);
  ended_ = end;
  endedOnMainThread_ = std::this_thread::get_id() == mainThread_;
}

bool FakeTaskHost::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  return queue_.ProcessUntil(done, std::chrono::steady_clock::now() + limit);
}

bool FakeTaskHost::RunUntilTaskEnds(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  if (!queue_.ProcessUntil([] { return !TaskRunning.load(); }, deadline)) return false;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return TThread::WaitUntilAllReleased(std::max(left, std::chrono::milliseconds(0)));
}

std::vector<std::string> FakeTaskHost::Log() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return log_;
}

std::vector<FakeTaskHost::Box> FakeTaskHost::Boxes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return boxes_;
}

std::vector<std::string> FakeTaskHost::ProgressCalls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return progress_;
}

int FakeTaskHost::ProgressPosition() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return position_;
}

std::optional<bool> FakeTaskHost::Ended() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!ended_) return std::nullopt;
  return *ended_ != TaskEnd::Early;
}

std::optional<TaskEnd> FakeTaskHost::EndedAs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ended_;
}

bool FakeTaskHost::TerminationLineOnMainThread() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !logThreads_.empty() && logThreads_.back() == mainThread_;
}

std::vector<std::thread::id> FakeTaskHost::LogThreads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return logThreads_;
}
