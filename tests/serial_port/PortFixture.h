// A port opened on a pseudo-terminal the way the main window opens its port,
// with the engine's failure reports recorded instead of printed.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Adport.h"
#include "Awuser.h"
#include "EngineHooks.h"
#include "LinePattern.h"
#include "PortSetup.h"
#include "PtyPair.h"
#include "WaitUntil.h"

struct FailureReport {
  std::string className;
  std::string message;
  std::thread::id thread;
};

// Collects the reports of failing engine threads for the life of the object.
class FailureRecorder {
 public:
  FailureRecorder();
  ~FailureRecorder();
  std::vector<FailureReport> Reports() const;

 private:
  mutable std::mutex lock_;
  std::vector<FailureReport> reports_;
};

// Engines created while it lives use `timings`; the defaults come back after.
class ScopedTimings {
 public:
  explicit ScopedTimings(const TEngineTimings& timings) { SetEngineTimings(timings); }
  ~ScopedTimings() { SetEngineTimings(TEngineTimings{}); }
  ScopedTimings(const ScopedTimings&) = delete;
  ScopedTimings& operator=(const ScopedTimings&) = delete;
};

// Timings under which a flush of the output ends only when the write thread
// answers it, never by the engine's own limit.
inline TEngineTimings FlushEndedOnlyByTheWriteThread() {
  TEngineTimings timings;
  timings.flushAcknowledgeWait = kNeverWaitedOut;
  return timings;
}

// Keeps the transmit ring topped up until the write thread has to wait for
// room (the far end does not read) with bytes still in the ring behind it.
// Returns the bytes queued.
std::size_t FillUntilWritePending(TApdCustomComPort& port, int masterFd);

class OpenPortTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Waits until `count` bytes sit in the receive ring.
  bool WaitForReceived(std::size_t count);
  std::vector<uint8_t> Take(uint16_t count);

  PtyPair pty_;
  FailureRecorder failures_;
  TApdComPort port_;
  bool expectFailures_ = false;  // a test that pulls the line sets this
};
