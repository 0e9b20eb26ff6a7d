// A TaskClock for tests: the protocols' 5, 10 and 30 second limits and their
// long pauses pass in a few milliseconds of real time, while a peer on a
// pseudo-terminal still gets real time to answer.
//
// Fake time is kept in milliseconds of a fake calendar; WholeSeconds() is its
// whole-second part.
//  - WaitForInput(port, slice) really waits on the port for at most
//    `realWaitPerSlice` (a byte or a wake ends it at once). When no byte came,
//    fake time moves on by `slice`: a silent peer lets a 30 s limit pass after
//    600 slices of 50 ms, that is about 600 × realWaitPerSlice of real time.
//    A slice gate (SetSliceGate) may keep fake time where it is after such a
//    slice, for as long as it knows an answer to be on its way.
//  - Pause(port, length) moves fake time on by `length` and waits
//    max(length × pauseScale, minRealPause) of real time, so that a peer that
//    answers within the pause still has time to do so; a gone line ends that
//    wait early, as it ends a real pause.
// Every pause is recorded in order (Pauses()), so a test can check the
// protocol's pause sequence.
// A test may Hold() the clock: until it calls Release(), neither pauses nor
// empty wait slices move fake time, so no limit can pass while the test steps
// in (the waits still end on a byte, a wake or a stop as usual).
//
// Threads: the task's thread drives it; a test may read the fake time and
// the recorded pauses or move the time from any thread.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include "Adport.h"
#include "TaskClock.h"

class FakeTaskClock final : public TaskClock {
 public:
  struct Options {
    // Fake calendar time at creation, in milliseconds; the default sits in the
    // middle of a whole second.
    int64_t startMilliseconds = 1'700'000'000'500;
    std::chrono::milliseconds realWaitPerSlice{2};
    double pauseScale = 0.02;
    std::chrono::microseconds minRealPause{500};
  };

  // After a wait slice in which no byte came: true when fake time may move
  // on by the slice. Called on the task's thread.
  using SliceGate = std::function<bool(TApdCustomComPort&)>;

  FakeTaskClock() : FakeTaskClock(Options{}) {}
  explicit FakeTaskClock(const Options& options)
      : options_(options), nowMilliseconds_(options.startMilliseconds) {}

  int64_t WholeSeconds() override { return nowMilliseconds_.load() / 1000; }

  void Pause(TApdCustomComPort& port, std::chrono::milliseconds length) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      pauses_.push_back(length);
    }
    Elapse(length);
    const auto scaled = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::duration<double, std::micro>(
            std::chrono::duration_cast<std::chrono::microseconds>(length).count() *
            options_.pauseScale));
    // Its real part ends on a gone line as a real pause does.
    port.WaitForLineGone(std::max(scaled, options_.minRealPause));
  }

  void WaitForInput(TApdCustomComPort& port, std::chrono::milliseconds slice) override {
    // A byte that arrives ends the wait without moving the clock: the caller's
    // next pass sees it before it reads the clock again.
    if (!port.WaitForInput(options_.realWaitPerSlice) && (!sliceGate_ || sliceGate_(port))) {
      Elapse(slice);
    }
    ++waitSlices_;
  }

  // Set before the task starts.
  void SetSliceGate(SliceGate gate) { sliceGate_ = std::move(gate); }

  // Time passing on its own: moves fake time on unless the clock is held.
  void Elapse(std::chrono::milliseconds length) {
    if (!held_) nowMilliseconds_ += length.count();
  }

  // --- for the test ---
  int64_t NowMilliseconds() const { return nowMilliseconds_.load(); }
  void SetNowMilliseconds(int64_t value) { nowMilliseconds_ = value; }
  void Advance(std::chrono::milliseconds length) { nowMilliseconds_ += length.count(); }
  void Hold() { held_ = true; }
  void Release() { held_ = false; }
  // Wait slices ended so far: two more after a change of the time mean the
  // task has looked at the new time at least once.
  int64_t WaitSlices() const { return waitSlices_.load(); }
  std::vector<std::chrono::milliseconds> Pauses() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pauses_;
  }

 private:
  const Options options_;
  std::atomic<int64_t> nowMilliseconds_;
  std::atomic<bool> held_{false};
  std::atomic<int64_t> waitSlices_{0};
  SliceGate sliceGate_;
  mutable std::mutex mutex_;
  std::vector<std::chrono::milliseconds> pauses_;
};
