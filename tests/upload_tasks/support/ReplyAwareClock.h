// The fake task clock, except that a protocol pause ends as soon as a reply
// byte waits on the port (or after `replyDeadline` of real time) instead of
// after a scaled real sleep: a peer's answer to a block is then always in
// before the task reads it, however slow the machine, while fake time still
// moves on by the pause's full length.
//
// Threads: the task's thread drives it; a test may read the recorded pauses
// and use Fake() (see FakeTaskClock) from any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

#include "Adport.h"
#include "TaskClock.h"
#include "testing/FakeTaskClock.h"

class ReplyAwareClock final : public TaskClock {
 public:
  ReplyAwareClock(TApdCustomComPort& port, FakeTaskClock::Options options,
                  std::chrono::milliseconds replyDeadline)
      : port_(port), fake_(options), replyDeadline_(replyDeadline) {}

  int64_t WholeSeconds() override { return fake_.WholeSeconds(); }
  void WaitForInput(TApdCustomComPort& port, std::chrono::milliseconds slice) override {
    fake_.WaitForInput(port, slice);
  }
  void Pause(std::chrono::milliseconds length) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      pauses_.push_back(length);
    }
    port_.WaitForInput(replyDeadline_);
    fake_.Elapse(length);
  }

  FakeTaskClock& Fake() { return fake_; }
  std::vector<std::chrono::milliseconds> Pauses() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pauses_;
  }

 private:
  TApdCustomComPort& port_;
  FakeTaskClock fake_;
  const std::chrono::milliseconds replyDeadline_;
  mutable std::mutex mutex_;
  std::vector<std::chrono::milliseconds> pauses_;
};
