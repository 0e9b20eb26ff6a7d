#include "ConsoleStop.h"

bool ConsoleStop::TakeInterrupt() { return !requested_.exchange(true); }

bool ConsoleStop::AwaitFinishForClose(std::chrono::milliseconds limit) {
  requested_.store(true);
  std::unique_lock<std::mutex> lock(mutex_);
  return finishedChanged_.wait_for(lock, limit, [this] { return finished_; });
}

void ConsoleStop::Finished() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
  }
  finishedChanged_.notify_all();
}
