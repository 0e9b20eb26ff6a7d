#include "DriverRules.h"

#include <algorithm>
#include <array>

namespace {

// The widest value of the line-settings record's WORD limit fields.
constexpr uint32_t kLimitFieldMax = 0xFFFF;

// Windows' numbers for a device that has gone, as drivers give them: access
// denied, invalid handle, bad command, general failure, network name deleted,
// no such device, device not connected, broken pipe, not ready, device
// removed, and operation aborted.
constexpr std::array<uint32_t, 11> kRemovalErrors = {
    5, 6, 22, 31, 55, 433, 1167, 109, 21, 1617, kOperationAbortedError};

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

bool IsRemovalError(uint32_t error) {
  return std::find(kRemovalErrors.begin(), kRemovalErrors.end(), error) != kRemovalErrors.end();
}
