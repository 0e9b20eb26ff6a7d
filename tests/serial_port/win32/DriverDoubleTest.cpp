// The Win32 backend against the driver double (FakeSerialDriver.h): what real
// serial drivers do and wine does not. The handflow limits against the
// driver's queue, a pulled adapter's error sequences, reads that complete
// empty, writes that complete in part, and cancels the driver completes late
// or never.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "Adport.h"
#include "EngineHooks.h"
#include "FakeSerialDriver.h"
#include "LinePattern.h"
#include "Lnswin32.h"
#include "PortSetup.h"
#include "SerialDevice.h"
#include "WaitUntil.h"
#include "win32/CommCalls.h"

namespace {

// The window's rings, which Connect asks the driver for as its queues.
constexpr uint32_t kRing = 32768;
// A wait the double's behaviour must end well before; it times nothing.
constexpr int kSliceMs = 200;
// How many rounds of the engine's read loop a removal may take to show.
constexpr int kRoundsToNotice = 3;

std::vector<uint8_t> Bytes(std::size_t count) { return Pattern(count); }

// Puts the double behind the backend for the devices constructed while it
// lives.
class DriverDoubleTest : public testing::Test {
 protected:
  void SetUp() override {
    previous_ = ReplaceCommCalls(&driver_);
    device_ = std::make_unique<TSerialDevice>();
  }
  void TearDown() override {
    device_.reset();
    ReplaceCommCalls(previous_);
  }

  void OpenWithQueues() {
    ASSERT_FALSE(device_->Open(TFakeSerialDriver::kPortName).Failed());
    ASSERT_FALSE(device_->SetQueueSizes(kRing, kRing).Failed());
  }

  // The 1-byte read the reader keeps pending, started as the engine starts it.
  void StartPendingRead() {
    ASSERT_EQ(device_->WaitReadable(0), TSerialDevice::TWaitResult::TimedOut);
    ASSERT_EQ(driver_.Pending(), 1);
  }

  TTransfer ReadSome(std::vector<uint8_t>& into) {
    into.assign(64, 0);
    uint8_t* areas[1] = {into.data()};
    TTransfer got = device_->Read(areas, 1, into.size());
    into.resize(got.count);
    return got;
  }

  TFakeSerialDriver driver_;
  std::unique_ptr<TSerialDevice> device_;

 private:
  TCommCalls* previous_ = nullptr;
};

// --------------------------------------------------- queues and flow limits

struct LimitCase {
  const char* name;
  uint32_t askedQueue;  // 0: SetQueueSizes is not called
  uint32_t xonLim;
  uint32_t xoffLim;
  bool accepted;
};

void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }

class FlowLimitsAgainstQueue : public DriverDoubleTest,
                               public testing::WithParamInterface<LimitCase> {};

TEST_P(FlowLimitsAgainstQueue, StayWithinTheQueueTheDriverReports) {
  const LimitCase& c = GetParam();
  ASSERT_FALSE(device_->Open(TFakeSerialDriver::kPortName).Failed());
  if (c.askedQueue != 0) {
    ASSERT_FALSE(device_->SetQueueSizes(c.askedQueue, c.askedQueue).Failed());
  }
  TLineSettings settings;
  ASSERT_FALSE(device_->GetState(settings).Failed());
  settings.xonLim = c.xonLim;
  settings.xoffLim = c.xoffLim;
  const TDeviceFailure failure = device_->SetState(settings);
  if (!c.accepted) {
    EXPECT_EQ(failure, (TDeviceFailure{TDeviceFailureKind::Refused, ERROR_INVALID_PARAMETER}));
    return;
  }
  EXPECT_FALSE(failure.Failed()) << failure.systemCode;
  const DCB stored = driver_.State();
  EXPECT_LE(stored.XoffLim, driver_.ReceiveQueue());
  EXPECT_LE(stored.XonLim, driver_.ReceiveQueue());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, FlowLimitsAgainstQueue,
    testing::Values(
        // Connect's settings: the ring as the queue, XOFF at the ring's size.
        LimitCase{"TheWindowsPort", kRing, 0, kRing, true},
        // The driver keeps its larger queue; the limits follow what it reports.
        LimitCase{"ASmallerQueueKeepsTheLargerOne", 1024, 100, 4000, true},
        LimitCase{"LimitsAboveTheQueueAreFitted", 8192, 20000, 30000, true},
        // Without a queue of its own asking the driver refuses what exceeds
        // its starting queue, as Microsoft's serial driver does.
        LimitCase{"NoQueueAskedForAndLimitsAboveIt", 0, 0, kRing, false}),
    [](const testing::TestParamInfo<LimitCase>& info) { return info.param.name; });
// clang-format on

// ------------------------------------------------------------ a pulled adapter

struct RemovalCase {
  const char* name;
  std::vector<DWORD> errors;  // as the driver gives them, in order
  bool readPending;           // whether the reader had its read out when it went
};

void PrintTo(const RemovalCase& c, std::ostream* os) { *os << c.name; }

class Removal : public DriverDoubleTest, public testing::WithParamInterface<RemovalCase> {};

TEST_P(Removal, EndsEveryWaitAndCallAsHungUpWithoutSpinning) {
  const RemovalCase& c = GetParam();
  OpenWithQueues();
  if (c.readPending) StartPendingRead();
  driver_.Remove(c.errors);
  // The engine's read loop: wait, read, again. Each wait must end at once
  // (the removal is no time-out), and the line must show as gone within a
  // few rounds, never as woken over and over.
  TSerialDevice::TWaitResult waited = TSerialDevice::TWaitResult::Woken;
  int rounds = 0;
  while (rounds < kRoundsToNotice && waited != TSerialDevice::TWaitResult::HungUp) {
    waited = device_->WaitReadable(kSliceMs);
    ++rounds;
    EXPECT_NE(waited, TSerialDevice::TWaitResult::TimedOut);
  }
  EXPECT_EQ(waited, TSerialDevice::TWaitResult::HungUp);
  std::vector<uint8_t> got;
  EXPECT_EQ(ReadSome(got).failure.kind, TDeviceFailureKind::HungUp);
  const std::vector<uint8_t> block = Bytes(8);
  EXPECT_EQ(device_->Write(block.data(), block.size()).failure.kind, TDeviceFailureKind::HungUp);
  EXPECT_EQ(device_->WaitWritable(kSliceMs), TSerialDevice::TWaitResult::HungUp);
  EXPECT_EQ(device_->WaitLineEvent(kSliceMs), TSerialDevice::TWaitResult::HungUp);
  EXPECT_EQ(device_->Close(), 0);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Sequences, Removal,
    testing::Values(
        // A driver that aborts everything by itself, for ever: no purge was asked.
        RemovalCase{"AbortedEverAfter", {995}, true},
        RemovalCase{"AbortedAtOnceEverAfter", {995}, false},
        RemovalCase{"AbortedThenInvalidHandle", {995, 995, 6}, true},
        RemovalCase{"InvalidHandle", {6}, true},
        RemovalCase{"InvalidHandleAtOnce", {6}, false},
        RemovalCase{"AccessDenied", {5}, true},
        RemovalCase{"AccessDeniedAtOnce", {5}, false},
        RemovalCase{"BadCommand", {22}, true},
        RemovalCase{"GenFailure", {31, 22}, true},
        RemovalCase{"NetNameDeleted", {55}, false},
        RemovalCase{"NoSuchDevice", {433}, true},
        RemovalCase{"DeviceNotConnected", {1167}, false},
        RemovalCase{"AbortedThenNotConnected", {995, 1167}, true},
        RemovalCase{"BrokenPipe", {109}, true},
        RemovalCase{"NotReady", {21, 6}, false}),
    [](const testing::TestParamInfo<RemovalCase>& info) { return info.param.name; });
// clang-format on

TEST_F(DriverDoubleTest, APurgesAbortIsNoRemoval) {
  OpenWithQueues();
  StartPendingRead();
  ASSERT_TRUE(device_->PurgeInput());
  EXPECT_NE(device_->WaitReadable(0), TSerialDevice::TWaitResult::HungUp);
  const std::vector<uint8_t> after = Bytes(5);
  driver_.Arrive(after);
  ASSERT_EQ(device_->WaitReadable(kSliceMs), TSerialDevice::TWaitResult::Ready);
  std::vector<uint8_t> got;
  EXPECT_FALSE(ReadSome(got).failure.Failed());
  EXPECT_EQ(got, after);
  EXPECT_EQ(device_->WaitLineEvent(0), TSerialDevice::TWaitResult::TimedOut);
}

// The whole engine on a port whose adapter is pulled: its threads end, and
// the line's failure is recorded and reported as a read or write error (an
// invalid handle once ended them without a word, and a DSP task waited on).
class RemovedUnderTheEngine : public DriverDoubleTest,
                              public testing::WithParamInterface<RemovalCase> {};

TEST_P(RemovedUnderTheEngine, EndsItsThreadsWithALineFailure) {
  std::mutex lock;
  std::vector<std::string> reports;
  SetThreadFailureReporter([&](const std::string& cls, const std::string& message) {
    std::lock_guard<std::mutex> guard(lock);
    reports.push_back(cls + ": " + message);
  });
  {
    TApdComPort port;
    OpenPortOn(port, TFakeSerialDriver::kPortName);
    ASSERT_TRUE(port.Open());
    ASSERT_TRUE(WaitUntil([&] { return driver_.Pending() == 1; }));
    driver_.Remove(GetParam().errors);
    auto* engine = static_cast<TApdWin32Dispatcher*>(port.Dispatcher());
    EXPECT_TRUE(WaitUntil([&] { return engine->ActiveThreads() == 0; }));
    port.SetOpen(false);
  }
  SetThreadFailureReporter(nullptr);
  ASSERT_FALSE(reports.empty());
  for (const std::string& r : reports) {
    EXPECT_TRUE(r == "EInOutError: Device read error" || r == "EInOutError: Device write error")
        << r;
  }
}

INSTANTIATE_TEST_SUITE_P(Sequences, RemovedUnderTheEngine,
                         testing::Values(RemovalCase{"InvalidHandle", {6}, true},
                                         RemovalCase{"AbortedThenInvalidHandle", {995, 6}, true},
                                         RemovalCase{"DeviceNotConnected", {1167}, true}),
                         [](const testing::TestParamInfo<RemovalCase>& info) {
                           return info.param.name;
                         });

// --------------------------------------------------------------- empty reads

TEST_F(DriverDoubleTest, ReadsThatCompleteEmptyDoNotSpinTheReader) {
  OpenWithQueues();
  driver_.SetEmptyReads(true);
  // Nothing comes: the wait lasts its time, and the reads it makes meanwhile
  // are paced, not one after the other.
  EXPECT_EQ(device_->WaitReadable(kSliceMs), TSerialDevice::TWaitResult::TimedOut);
  EXPECT_LE(driver_.ReadCalls(), kSliceMs / 10);
  // Bytes that come after are still read.
  driver_.SetEmptyReads(false);
  const std::vector<uint8_t> later = Bytes(3);
  driver_.Arrive(later);
  ASSERT_EQ(device_->WaitReadable(kSliceMs), TSerialDevice::TWaitResult::Ready);
  std::vector<uint8_t> got;
  EXPECT_FALSE(ReadSome(got).failure.Failed());
  EXPECT_EQ(got, later);
}

TEST_F(DriverDoubleTest, AWakeEndsAWaitBetweenEmptyReads) {
  OpenWithQueues();
  driver_.SetEmptyReads(true);
  device_->WakeReader();
  EXPECT_EQ(device_->WaitReadable(kSliceMs * 50), TSerialDevice::TWaitResult::Woken);
}

TEST_F(DriverDoubleTest, BytesQueuedBeforeTheReadCompleteItAtOnce) {
  OpenWithQueues();
  const std::vector<uint8_t> sent = Bytes(40);
  driver_.Arrive(sent);
  ASSERT_EQ(device_->WaitReadable(0), TSerialDevice::TWaitResult::Ready);
  std::vector<uint8_t> got;
  EXPECT_FALSE(ReadSome(got).failure.Failed());
  EXPECT_EQ(got, sent);
}

// ------------------------------------------------------------ partial writes

struct PartialCase {
  const char* name;
  bool pending;  // writes stay pending until the driver completes them
  DWORD limit;   // bytes a write moves at most
};

void PrintTo(const PartialCase& c, std::ostream* os) { *os << c.name; }

class PartialWrites : public DriverDoubleTest, public testing::WithParamInterface<PartialCase> {};

TEST_P(PartialWrites, SendEveryByteInOrderOrSayHowManyWent) {
  const PartialCase& c = GetParam();
  OpenWithQueues();
  driver_.SetWritesPending(c.pending);
  driver_.SetWriteLimit(c.limit);
  const std::vector<uint8_t> block = Bytes(100);
  // The write thread's loop: wait for room, write what is left, go on from
  // the count the write reported.
  std::size_t offset = 0;
  for (int round = 0; round < 200 && offset < block.size(); ++round) {
    ASSERT_NE(device_->WaitWritable(0), TSerialDevice::TWaitResult::HungUp);
    const TTransfer sent = device_->Write(block.data() + offset, block.size() - offset);
    ASSERT_FALSE(sent.failure.Failed());
    offset += sent.count;
    ASSERT_LE(offset, block.size());
    if (c.pending) driver_.CompleteWrites();
  }
  EXPECT_EQ(offset, block.size());
  EXPECT_EQ(driver_.Sent(), block);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PartialWrites,
    testing::Values(PartialCase{"AtOnce", false, 7}, PartialCase{"Pending", true, 7},
                    PartialCase{"PendingOneByte", true, 1}, PartialCase{"PendingWhole", true, 0}),
    [](const testing::TestParamInfo<PartialCase>& info) { return info.param.name; });

// --------------------------------------------------------------- late cancels

TEST_F(DriverDoubleTest, ACloseWhoseCancelCompletesLateLeavesTheDriverOwnedMemory) {
  OpenWithQueues();
  StartPendingRead();
  driver_.SetWritesPending(true);
  const std::vector<uint8_t> block = Bytes(16);
  ASSERT_FALSE(device_->Write(block.data(), block.size()).failure.Failed());
  ASSERT_EQ(driver_.Pending(), 2);
  driver_.SetCancel(TFakeSerialDriver::TCancel::Late);
  EXPECT_EQ(device_->Close(), 0);
  device_.reset();
  // The driver completes both long after the device has gone.
  driver_.CompleteCancelled();
  EXPECT_EQ(driver_.StrayWrites(), 0);
  EXPECT_EQ(driver_.Pending(), 0);
}

TEST_F(DriverDoubleTest, APurgeWhoseCancelCompletesLateLeavesTheDriverOwnedMemory) {
  OpenWithQueues();
  StartPendingRead();
  driver_.SetCancel(TFakeSerialDriver::TCancel::Late);
  ASSERT_TRUE(device_->PurgeInput());
  EXPECT_NE(device_->WaitReadable(0), TSerialDevice::TWaitResult::HungUp);
  EXPECT_EQ(device_->Close(), 0);
  device_.reset();
  driver_.CompleteCancelled();
  EXPECT_EQ(driver_.StrayWrites(), 0);
}

TEST_F(DriverDoubleTest, AReopenAfterACancelThatNeverCompletedUsesFreshOperations) {
  OpenWithQueues();
  StartPendingRead();
  driver_.SetCancel(TFakeSerialDriver::TCancel::Late);
  EXPECT_EQ(device_->Close(), 0);
  OpenWithQueues();
  EXPECT_EQ(device_->WaitReadable(0), TSerialDevice::TWaitResult::TimedOut);
  EXPECT_EQ(driver_.ReusedOverlapped(), 0);
  // The old read's late end must not pass for a byte of the new one.
  driver_.CompleteCancelled();
  EXPECT_EQ(driver_.StrayWrites(), 0);
  const std::vector<uint8_t> sent = {0x41};
  driver_.Arrive(sent);
  ASSERT_EQ(device_->WaitReadable(kSliceMs), TSerialDevice::TWaitResult::Ready);
  std::vector<uint8_t> got;
  EXPECT_FALSE(ReadSome(got).failure.Failed());
  EXPECT_EQ(got, sent);
}

}  // namespace
