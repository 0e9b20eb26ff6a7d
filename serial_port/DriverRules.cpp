#include "DriverRules.h"

#include <algorithm>

namespace {

// The widest value of the line-settings record's WORD limit fields.
constexpr uint32_t kLimitFieldMax = 0xFFFF;

uint32_t Fit(uint32_t limit, uint32_t receiveQueue) {
  limit = std::min(limit, kLimitFieldMax);
  return receiveQueue == 0 ? limit : std::min(limit, receiveQueue);
}

}  // namespace

TFlowLimits FitFlowLimits(TFlowLimits wanted, uint32_t receiveQueue) {
  return {Fit(wanted.xonLim, receiveQueue), Fit(wanted.xoffLim, receiveQueue)};
}

TPendingEnd ClassifyPendingFailure(uint32_t error, bool cancelRequestedSinceStart) {
  if (error == kOperationAbortedError && cancelRequestedSinceStart) return TPendingEnd::Purged;
  return TPendingEnd::LineGone;
}
