// The fake task clock, except that a protocol pause ends as soon as a reply
// byte waits on the port (or after `replyDeadline` of real time) instead of
// after a scaled real sleep: a peer's answer to a block is then always in
// before the task reads it, however slow the machine, while fake time still
// moves on by the pause's full length.
//
// Given a peer (SetPeerQuiet), a wait slice moves fake time on only while the
// line is quiet (see QuietSlices), so that no limit can run out while an
// answer is on its way; without one, as the fake task clock.
//
// Threads: the task's thread drives it; a test may read the recorded pauses
// and use Fake() (see FakeTaskClock) from any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

#include "Adport.h"
#include "QuietLineClock.h"
#include "TaskClock.h"
#include "testing/FakeTaskClock.h"

class ReplyAwareClock final : public TaskClock {
 public:
  ReplyAwareClock(TApdCustomComPort& port, FakeTaskClock::Options options,
                  std::chrono::milliseconds replyDeadline)
      : port_(port), fake_(options), realWaitPerSlice_(options.realWaitPerSlice),
        replyDeadline_(replyDeadline), slices_(kStallLimit) {}

  void SetPeerQuiet(QuietSlices::PeerQuiet quiet) { slices_.SetPeerQuiet(std::move(quiet)); }

  int64_t WholeSeconds() override { return fake_.WholeSeconds(); }
  void WaitForInput(TApdCustomComPort& port, std::chrono::milliseconds slice) override {
    if (!slices_.HasPeer()) {
      fake_.WaitForInput(port, slice);
      return;
    }
    if (port.WaitForInput(realWaitPerSlice_)) return;  // the caller sees the byte first
    if (slices_.MayPass(port)) fake_.Elapse(slice);
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
  // A line that never falls quiet lets fake time run again after this long.
  static constexpr std::chrono::milliseconds kStallLimit{5000};

  FakeTaskClock fake_;
  const std::chrono::milliseconds realWaitPerSlice_;
  const std::chrono::milliseconds replyDeadline_;
  QuietSlices slices_;
  mutable std::mutex mutex_;
  std::vector<std::chrono::milliseconds> pauses_;
};
