// The Windows drivers' rules the Win32 backend obeys, as tables: the XON/XOFF
// limits it may store, and what a failed pending operation means.
#include <gtest/gtest.h>

#include "DriverRules.h"

namespace {

struct LimitCase {
  TFlowLimits wanted;
  uint32_t receiveQueue;  // as the driver reports it
  TFlowLimits stored;
};

void PrintTo(const LimitCase& c, std::ostream* os) {
  *os << "xon " << c.wanted.xonLim << " xoff " << c.wanted.xoffLim << " queue " << c.receiveQueue;
}

class FlowLimits : public testing::TestWithParam<LimitCase> {};

TEST_P(FlowLimits, NeverExceedTheQueueTheDriverReports) {
  const LimitCase& c = GetParam();
  EXPECT_EQ(FitFlowLimits(c.wanted, c.receiveQueue), c.stored);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, FlowLimits,
    testing::Values(
        // The window's port: InSize 32768, no thresholds, a driver that took it.
        LimitCase{{0, 32768}, 32768, {0, 32768}},
        // A driver that kept a smaller queue than asked for (before, SetCommState
        // failed with ERROR_INVALID_PARAMETER on Microsoft's serial driver).
        LimitCase{{0, 32768}, 16384, {0, 16384}},
        LimitCase{{20000, 32768}, 4096, {4096, 4096}},
        LimitCase{{100, 1000}, 4096, {100, 1000}},
        LimitCase{{4096, 4096}, 4096, {4096, 4096}},
        // A driver that reports no queue: only the record's 16-bit width.
        LimitCase{{0, 32768}, 0, {0, 32768}},
        LimitCase{{70000, 65535}, 0, {65535, 65535}},
        LimitCase{{0, 0}, 1, {0, 0}}));
// clang-format on

struct PendingCase {
  const char* name;
  uint32_t error;
  bool cancelRequested;  // a purge or close since the operation started
  TPendingEnd end;
};

void PrintTo(const PendingCase& c, std::ostream* os) { *os << c.name; }

class PendingFailure : public testing::TestWithParam<PendingCase> {};

TEST_P(PendingFailure, IsAPurgeOnlyWhenThisProgramCancelledIt) {
  const PendingCase& c = GetParam();
  EXPECT_EQ(ClassifyPendingFailure(c.error, c.cancelRequested), c.end);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Errors, PendingFailure,
    testing::Values(
        PendingCase{"AbortedAfterAPurge", 995, true, TPendingEnd::Purged},
        // A driver that aborts on its own (a pulled adapter): the line is gone.
        PendingCase{"AbortedUnasked", 995, false, TPendingEnd::LineGone},
        // The removal errors, asked for or not.
        PendingCase{"AccessDenied", 5, false, TPendingEnd::LineGone},
        PendingCase{"InvalidHandle", 6, false, TPendingEnd::LineGone},
        PendingCase{"InvalidHandleDuringAPurge", 6, true, TPendingEnd::LineGone},
        PendingCase{"BadCommand", 22, false, TPendingEnd::LineGone},
        PendingCase{"GenFailure", 31, false, TPendingEnd::LineGone},
        PendingCase{"NetNameDeleted", 55, false, TPendingEnd::LineGone},
        PendingCase{"NoSuchDevice", 433, false, TPendingEnd::LineGone},
        PendingCase{"DeviceNotConnected", 1167, true, TPendingEnd::LineGone},
        PendingCase{"BrokenPipe", 109, false, TPendingEnd::LineGone},
        PendingCase{"NotReady", 21, false, TPendingEnd::LineGone}),
    [](const testing::TestParamInfo<PendingCase>& info) { return info.param.name; });
// clang-format on

struct RemovalCase {
  const char* name;
  uint32_t error;
  bool removal;
};

void PrintTo(const RemovalCase& c, std::ostream* os) { *os << c.name; }

class RemovalError : public testing::TestWithParam<RemovalCase> {};

TEST_P(RemovalError, IsTheDeviceGoneOnlyForTheDriversRemovalNumbers) {
  EXPECT_EQ(IsRemovalError(GetParam().error), GetParam().removal);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Errors, RemovalError,
    testing::Values(
        RemovalCase{"Aborted", 995, true},
        RemovalCase{"AccessDenied", 5, true},
        RemovalCase{"InvalidHandle", 6, true},
        RemovalCase{"BadCommand", 22, true},
        RemovalCase{"GenFailure", 31, true},
        RemovalCase{"NetNameDeleted", 55, true},
        RemovalCase{"NoSuchDevice", 433, true},
        RemovalCase{"DeviceNotConnected", 1167, true},
        RemovalCase{"BrokenPipe", 109, true},
        RemovalCase{"NotReady", 21, true},
        RemovalCase{"DeviceRemoved", 1617, true},
        // A refused setting or a bad argument is no removal.
        RemovalCase{"InvalidParameter", 87, false},
        RemovalCase{"SemTimeout", 121, false},
        RemovalCase{"NotEnoughMemory", 8, false},
        RemovalCase{"IoPending", 997, false}),
    [](const testing::TestParamInfo<RemovalCase>& info) { return info.param.name; });
// clang-format on

}  // namespace
