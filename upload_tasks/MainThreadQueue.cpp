#include "MainThreadQueue.h"

#include <algorithm>
#include <exception>

struct MainThreadQueue::Item {
  const std::function<void()>* fn;
  bool done = false;
  std::exception_ptr failure;
};

MainThreadQueue::MainThreadQueue() : owner_(std::this_thread::get_id()) {}

void MainThreadQueue::RunAndWait(const std::function<void()>& fn) {
  if (std::this_thread::get_id() == owner_) {
    fn();
    return;
  }
  Item item{&fn, false, nullptr};
  std::unique_lock<std::mutex> lock(mutex_);
  items_.push_back(&item);
  changed_.notify_all();
  changed_.wait(lock, [&] { return item.done; });
  if (item.failure) std::rethrow_exception(item.failure);
}

void MainThreadQueue::Notify() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++notifications_;
  changed_.notify_all();
}

bool MainThreadQueue::ProcessUntil(const std::function<bool()>& done,
                                   std::chrono::steady_clock::time_point deadline,
                                   std::chrono::milliseconds recheck) {
  for (;;) {
    // Taken before done() is tested, so a Notify that comes in between is
    // not lost.
    unsigned seen = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      seen = notifications_;
    }
    if (done()) return true;
    Item* item = nullptr;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      const auto now = std::chrono::steady_clock::now();
      if (items_.empty()) {
        if (now >= deadline) return done();
        changed_.wait_until(lock, std::min(deadline, now + recheck),
                            [&] { return !items_.empty() || notifications_ != seen; });
        if (items_.empty()) continue;
      }
      item = items_.front();
      items_.pop_front();
    }
    try {
      (*item->fn)();
    } catch (...) {
      item->failure = std::current_exception();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    item->done = true;
    changed_.notify_all();
  }
}
