// The fake task clock, except that fake time moves on in a wait slice only
// while the line is quiet: the tool has nothing left to write and the peer
// has nothing more to say until it does (see StbSimulator::AwaitsTheTool).
// While an answer is on its way a slice still waits for it in real time, but
// fake time stays where it is, so no limit can run out however slow the
// machine; once the peer keeps silent, a limit passes after limit / slice
// quiet slices of `realWaitPerSlice` each.
//  - WaitForInput(port, slice): waits on the port for at most
//    realWaitPerSlice; when no byte came and the line is quiet, fake time
//    moves on by `slice`.
//  - Pause(length): waits until the line is quiet, looking again every
//    realWaitPerSlice: the peer has taken all that was sent before the pause
//    and its answer, if any, has come in, as the protocol's pauses are meant
//    to allow; then as FakeTaskClock::Pause.
// Should the line stay busy for `stallLimit` of real time on end (a peer
// that repeats itself on its own timer), the slices move fake time on again,
// so that the wait still ends.
//
// Threads: the task's thread drives it; a test may read the fake time and the
// recorded pauses from any thread. Set the quiet check before the task starts.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "Adport.h"
#include "TaskClock.h"
#include "testing/FakeTaskClock.h"

class QuietLineClock final : public TaskClock {
 public:
  // True while the peer has nothing more to say until the tool writes again.
  using PeerQuiet = std::function<bool()>;

  QuietLineClock(TApdCustomComPort& port, FakeTaskClock::Options options,
                 std::chrono::milliseconds stallLimit)
      : port_(port), fake_(options), realWaitPerSlice_(options.realWaitPerSlice),
        stallLimit_(stallLimit) {}

  void SetPeerQuiet(PeerQuiet quiet) { peerQuiet_ = std::move(quiet); }

  int64_t WholeSeconds() override { return fake_.WholeSeconds(); }

  void Pause(std::chrono::milliseconds length) override {
    const auto busySince = std::chrono::steady_clock::now();
    while (!LineQuiet(port_) && std::chrono::steady_clock::now() - busySince < stallLimit_) {
      std::this_thread::sleep_for(realWaitPerSlice_);
    }
    fake_.Pause(length);
  }

  void WaitForInput(TApdCustomComPort& port, std::chrono::milliseconds slice) override {
    if (port.WaitForInput(realWaitPerSlice_)) return;  // the caller sees the byte first
    const auto now = std::chrono::steady_clock::now();
    if (LineQuiet(port)) {
      busySince_.reset();
    } else {
      if (!busySince_) busySince_ = now;
      if (now - *busySince_ < stallLimit_) return;
    }
    fake_.Elapse(slice);
  }

  // --- for the test ---
  int64_t NowMilliseconds() const { return fake_.NowMilliseconds(); }
  std::vector<std::chrono::milliseconds> Pauses() const { return fake_.Pauses(); }
  FakeTaskClock& Fake() { return fake_; }

 private:
  bool LineQuiet(TApdCustomComPort& port) {
    // Nothing moves on the line of a closed port any more.
    if (port.PortState() != psOpen) return true;
    return port.WaitForOutputDrained(std::chrono::milliseconds(0)) && peerQuiet_ && peerQuiet_();
  }

  TApdCustomComPort& port_;
  FakeTaskClock fake_;
  const std::chrono::milliseconds realWaitPerSlice_;
  const std::chrono::milliseconds stallLimit_;
  PeerQuiet peerQuiet_;
  // Task's thread only.
  std::optional<std::chrono::steady_clock::time_point> busySince_;
};
