// The event queue of a host that has no event loop of its own (the
// command-line front end, tests): other threads hand it functions to run on
// the owner's thread and wait until they have run.
//
// Threads: the thread that constructs the queue owns it and is the only one
// that may call ProcessUntil. RunAndWait may be called from any thread; from
// the owner's thread it runs the function at once (waiting for itself would
// never end). Notify may be called from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class MainThreadQueue {
 public:
  MainThreadQueue();
  MainThreadQueue(const MainThreadQueue&) = delete;
  MainThreadQueue& operator=(const MainThreadQueue&) = delete;

  // Queues `fn` for the owner's thread and returns once it has run there. An
  // exception that `fn` raises is passed back to this caller.
  void RunAndWait(const std::function<void()>& fn);

  // Owner's thread: runs queued functions, in the order they came, until
  // `done()` is true or `deadline` passes; returns done(). done() is tested
  // after each function, after each Notify and at least every `recheck`, so a
  // condition that no queue event signals (a flag set by a signal handler) is
  // seen within that time.
  bool ProcessUntil(const std::function<bool()>& done,
                    std::chrono::steady_clock::time_point deadline,
                    std::chrono::milliseconds recheck = std::chrono::milliseconds(20));

  // Wakes ProcessUntil so that it tests its condition again.
  void Notify();

 private:
  struct Item;

  const std::thread::id owner_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Item*> items_;
  unsigned notifications_ = 0;
};
