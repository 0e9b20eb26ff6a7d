#include "FaultPlan.h"

namespace stbsim {

FaultPlan::FaultPlan(const std::vector<Fault>& faults) {
  for (const Fault& fault : faults) entries_.push_back({fault, fault.times});
}

PlannedReply FaultPlan::Plan(SimPhase phase, int index, const std::vector<uint8_t>& normal) {
  PlannedReply reply;
  reply.bytes = normal;
  std::vector<const Fault*> hits;
  for (Entry& entry : entries_) {
    if (entry.fault.phase != phase || entry.left == 0) continue;
    if (entry.fault.index != kAnyIndex && entry.fault.index != index) continue;
    if (entry.left > 0) --entry.left;
    hits.push_back(&entry.fault);
  }
  // Replacements first, so that a flip also hits a replaced answer.
  for (const Fault* fault : hits) {
    switch (fault->kind) {
      case FaultKind::Replace: reply.bytes = fault->bytes; break;
      case FaultKind::Garbage:
        reply.garbage.insert(reply.garbage.end(), fault->bytes.begin(), fault->bytes.end());
        break;
      case FaultKind::Late: reply.delay += fault->delay; break;
      case FaultKind::Vanish: reply.vanish = true; break;
      case FaultKind::HangUpAfterAnswer: reply.hangUpAfter = fault->delay; break;
      case FaultKind::FlipBits: break;
    }
  }
  for (const Fault* fault : hits)
    if (fault->kind == FaultKind::FlipBits)
      for (uint8_t& byte : reply.bytes) byte ^= fault->flipMask;
  return reply;
}

}  // namespace stbsim
