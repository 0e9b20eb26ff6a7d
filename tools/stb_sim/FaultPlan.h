// The faults the STB has been told to commit, and what is left of each.
//
// Threads: the simulator's thread only.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "SimOptions.h"

namespace stbsim {

// What to put on the line in place of one answer.
struct PlannedReply {
  std::chrono::milliseconds delay{0};  // wait this long first
  std::vector<uint8_t> garbage;        // then send these (a write of their own)
  std::vector<uint8_t> bytes;          // then the answer (empty: silence)
  bool vanish = false;                 // close the line instead of answering
  // Close the line this long after the answer went out (a pulled adapter
  // right after the STB spoke); nothing: keep it.
  std::optional<std::chrono::milliseconds> hangUpAfter;
};

class FaultPlan {
 public:
  explicit FaultPlan(const std::vector<Fault>& faults);
  // The reply for the answer `normal` of `phase` with `index`; uses up one
  // hit of every fault that matches.
  PlannedReply Plan(SimPhase phase, int index, const std::vector<uint8_t>& normal);

 private:
  struct Entry {
    Fault fault;
    int left;
  };
  std::vector<Entry> entries_;
};

}  // namespace stbsim
