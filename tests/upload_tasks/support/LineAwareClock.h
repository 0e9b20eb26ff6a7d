// The fake task clock, watching the line so that no limit can run out and no
// pause can end while an answer is still on its way, however slow the
// machine; fake time still moves on by every pause's and slice's full length.
//
// With a peer that tells when it waits for the tool (SetPeerQuiet, such as
// StbSimulator::AwaitsTheTool), the line is quiet once the port has written
// all it holds, the peer has taken it and has nothing more to say until the
// tool writes again:
//  - WaitForInput(port, slice): waits on the port for at most
//    realWaitPerSlice; when no byte came and the line is quiet, fake time
//    moves on by `slice`. Once the peer keeps silent, a limit passes after
//    limit / slice quiet slices.
//  - Pause(length): first waits until the line is quiet, looking again every
//    realWaitPerSlice: the peer has taken all that was sent before the pause
//    and its answer, if any, has come in, as the protocol's pauses are meant
//    to allow.
// Without one (a peer such as rb, which keeps real time of its own), the
// slices are the fake clock's own, and a pause first waits for a reply byte.
// Either way a wait for the line ends after `stallLimit` of real time on end
// (a peer that repeats itself on its own timer, or never answers), and fake
// time then moves on again.
//
// Threads: the task's thread drives it; a test may read the fake time and the
// recorded pauses, and hold or move the fake clock (Fake()), from any thread.
// Set the peer before the task starts.
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

class LineAwareClock final : public TaskClock {
 public:
  // True while the peer has nothing more to say until the tool writes again.
  using PeerQuiet = std::function<bool()>;

  LineAwareClock(TApdCustomComPort& port, FakeTaskClock::Options options,
                 std::chrono::milliseconds stallLimit)
      : port_(port),
        fake_(options),
        realWaitPerSlice_(options.realWaitPerSlice),
        stallLimit_(stallLimit) {
    fake_.SetSliceGate([this](TApdCustomComPort& line) { return SlicePasses(line); });
  }

  void SetPeerQuiet(PeerQuiet quiet) { peerQuiet_ = std::move(quiet); }

  int64_t WholeSeconds() override { return fake_.WholeSeconds(); }

  void WaitForInput(TApdCustomComPort& port, std::chrono::milliseconds slice) override {
    fake_.WaitForInput(port, slice);
  }

  void Pause(TApdCustomComPort& port, std::chrono::milliseconds length) override {
    AwaitAnswer();
    fake_.Pause(port, length);
  }

  // --- for the test ---
  int64_t NowMilliseconds() const { return fake_.NowMilliseconds(); }
  std::vector<std::chrono::milliseconds> Pauses() const { return fake_.Pauses(); }
  FakeTaskClock& Fake() { return fake_; }

 private:
  bool LineQuiet(TApdCustomComPort& port) const {
    // Nothing moves on the line of a closed port any more.
    if (port.PortState() != psOpen) return true;
    return port.WaitForOutputDrained(std::chrono::milliseconds(0)) && peerQuiet_();
  }

  bool SlicePasses(TApdCustomComPort& port) {
    if (!peerQuiet_ || LineQuiet(port)) {
      busySince_.reset();
      return true;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!busySince_) busySince_ = now;
    return now - *busySince_ >= stallLimit_;
  }

  void AwaitAnswer() {
    if (!peerQuiet_) {
      port_.WaitForInput(stallLimit_);
      return;
    }
    const auto busySince = std::chrono::steady_clock::now();
    while (!LineQuiet(port_) && std::chrono::steady_clock::now() - busySince < stallLimit_) {
      std::this_thread::sleep_for(realWaitPerSlice_);
    }
  }

  TApdCustomComPort& port_;
  FakeTaskClock fake_;
  const std::chrono::milliseconds realWaitPerSlice_;
  const std::chrono::milliseconds stallLimit_;
  PeerQuiet peerQuiet_;
  // Task's thread only.
  std::optional<std::chrono::steady_clock::time_point> busySince_;
};
