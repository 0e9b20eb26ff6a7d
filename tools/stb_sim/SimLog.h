// The record the simulator's thread writes and the tests read: a SimRecord
// behind a mutex, with a condition variable that wakes the waiters at every
// change.
//
// Threads: Change/Event from the simulator's thread; Copy and the waits from
// any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "SimRecord.h"

namespace stbsim {

// A long-running simulator keeps only the latest uploads and events.
inline constexpr size_t kKeptUploads = 8;
inline constexpr size_t kKeptEvents = 20000;

class SimLog {
 public:
  // Applies `change` to the record under the lock and wakes the waiters.
  void Change(const std::function<void(SimRecord&)>& change);
  // Applies `change` to the latest upload (there must be one).
  void ChangeUpload(const std::function<void(UploadRecord&)>& change);
  // Begins a new upload record.
  void BeginUpload(SimMode mode);
  // Appends an event and, when an echo is installed, hands it the text.
  void Event(const std::string& text);

  SimRecord Copy() const;
  // Runs `reader` on the record under the lock (for copying parts of it).
  void Read(const std::function<void(const SimRecord&)>& reader) const;
  bool WaitFor(const std::function<bool(const SimRecord&)>& condition,
               std::chrono::milliseconds timeout) const;

  // Called with each event's text on the simulator's thread (the executable
  // prints them). Install before the simulator starts.
  void SetEcho(std::function<void(const std::string&)> echo) { echo_ = std::move(echo); }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  SimRecord record_;
  std::function<void(const std::string&)> echo_;
};

}  // namespace stbsim
