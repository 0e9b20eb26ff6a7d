// The stop that the console asks for (Ctrl-C, Ctrl-Break, its window closed)
// and the main thread carries out. Windows delivers console events on a
// thread it starts for each, and ends the process as soon as the handler of a
// close returns (or about 5 s after the close at the latest), so a close must
// hold its thread until the main thread has stopped the upload and closed the
// port.
//
// Threads: the event calls come from the system's threads, Requested() and
// Finished() from the main thread; all may run at the same time.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

class ConsoleStop {
 public:
  // An interrupt key. Returns true for the first stop event of any kind (the
  // stop is now requested), false for any later one: the caller then lets
  // the system end the process at once.
  bool TakeInterrupt();

  // The console is going away (its window closed, a log-off, a shut-down):
  // requests the stop and blocks until Finished() or until `limit` has
  // passed. Returns whether the stop path finished within the limit.
  bool AwaitFinishForClose(std::chrono::milliseconds limit);

  // True once any stop event has come.
  bool Requested() const { return requested_.load(); }

  // The main thread's stop path has run (the port is closed); a close that
  // waits, or comes later, returns at once.
  void Finished();

 private:
  std::atomic<bool> requested_{false};
  std::mutex mutex_;
  std::condition_variable finishedChanged_;
  bool finished_ = false;
};
