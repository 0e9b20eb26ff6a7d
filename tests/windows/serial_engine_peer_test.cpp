// The serial engine on the Windows backend, on COM5 with a Linux-side peer at
// the far end (PeerLine): bytes both ways through the rings, the flush, the
// wakes, a close during a wait, a line that goes away, and the open errors.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "Adexcept.h"
#include "Adport.h"
#include "EngineHooks.h"
#include "LinePattern.h"
#include "Lnswin32.h"
#include "PeerLine.h"
#include "PortSetup.h"
#include "SerialDevice.h"
#include "WaitUntil.h"

namespace {

using namespace std::chrono_literals;

constexpr const char kPeerPort[] = "\\\\.\\COM5";
// A generous limit: it bounds waits for the peer, it times nothing.
constexpr auto kConditionLimit = 10s;
// A wait the tests end early; far longer than any of their limits.
constexpr auto kLongWait = 30s;
constexpr int kLongWaitMs = 30000;
// The ring of the window's port setup.
constexpr std::size_t kRing = 32768;

struct FailureReport {
  std::string className;
  std::string message;
};

class PeerPortTest : public testing::Test {
 protected:
  void SetUp() override {
    SetThreadFailureReporter([this](const std::string& cls, const std::string& message) {
      std::lock_guard<std::mutex> guard(lock_);
      reports_.push_back({cls, message});
    });
    ASSERT_TRUE(peer_.Connected()) << "no peer on ZARN_PTY_PEER_PORT (run under with_pty_peer.sh)";
    ConfigureLikeMainWindow(port_, kPeerPort);
    port_.SetOpen(true);
    ASSERT_TRUE(port_.Open());
  }

  void TearDown() override {
    port_.SetOpen(false);
    SetThreadFailureReporter(nullptr);
    if (expectFailures_) return;
    for (const FailureReport& r : Reports()) ADD_FAILURE() << r.className << ": " << r.message;
  }

  std::vector<FailureReport> Reports() {
    std::lock_guard<std::mutex> guard(lock_);
    return reports_;
  }

  bool WaitForReceived(std::size_t count) {
    return WaitUntil([&] {
      port_.WaitForInput(10ms);
      return port_.InBuffUsed() >= count;
    });
  }

  uint8_t TakeOne() {
    uint8_t byte = 0;
    EXPECT_EQ(port_.GetBlock(&byte, 1), 1);
    return byte;
  }

  // Takes `count` bytes from the port as they come, in ring-sized bites.
  std::vector<uint8_t> TakeAll(std::size_t count) {
    std::vector<uint8_t> got;
    while (got.size() < count) {
      if (!WaitForReceived(1)) break;
      const auto bite =
          static_cast<uint16_t>(std::min<std::size_t>(port_.InBuffUsed(), count - got.size()));
      std::vector<uint8_t> part(bite);
      if (port_.GetBlock(part.data(), bite) != bite) break;
      got.insert(got.end(), part.begin(), part.end());
    }
    return got;
  }

  PeerLine peer_;
  TApdComPort port_;
  bool expectFailures_ = false;

 private:
  std::mutex lock_;
  std::vector<FailureReport> reports_;
};

TEST_F(PeerPortTest, BytesFromTheLineArriveExactlyAndInOrder) {
  // Eight rings' worth: the ring fills and empties many times on the way.
  const auto sent = Pattern(8 * kRing);
  std::thread sender([&] { peer_.Send(sent); });
  const auto got = TakeAll(sent.size());
  sender.join();
  EXPECT_EQ(got, sent);
}

TEST_F(PeerPortTest, BytesToTheLineArriveExactlyAndInOrder) {
  const auto block = Pattern(8 * kRing);
  std::vector<uint8_t> received;
  std::thread receiver([&] { received = peer_.Receive(block.size(), kConditionLimit); });
  for (std::size_t at = 0; at < block.size();) {
    const auto bite = static_cast<uint16_t>(std::min<std::size_t>(4096, block.size() - at));
    ASSERT_TRUE(WaitUntil([&] { return port_.OutBuffFree() >= bite; }));
    port_.PutBlock(block.data() + at, bite);
    at += bite;
  }
  receiver.join();
  EXPECT_EQ(received, block);
}

TEST_F(PeerPortTest, AReplyAfterEachSmallBlockComesBackEveryTime) {
  // The uploads' rhythm: a block out, one byte back, many times over.
  constexpr int kRounds = 200;
  constexpr std::size_t kBlock = 1030;
  const auto block = Pattern(kBlock);
  for (int round = 0; round < kRounds; ++round) {
    port_.PutBlock(block.data(), static_cast<uint16_t>(kBlock));
    ASSERT_EQ(peer_.Receive(kBlock, kConditionLimit), block) << "round " << round;
    ASSERT_TRUE(peer_.Send({static_cast<uint8_t>(round)}));
    ASSERT_TRUE(WaitForReceived(1)) << "round " << round;
    ASSERT_EQ(TakeOne(), static_cast<uint8_t>(round));
  }
}

TEST_F(PeerPortTest, FlushInBufferDropsWhatCameBeforeAndKeepsWhatComesAfter) {
  ASSERT_TRUE(peer_.Send(Pattern(1000)));
  ASSERT_TRUE(WaitForReceived(1000));
  port_.FlushInBuffer();
  EXPECT_FALSE(port_.CharReady());
  ASSERT_TRUE(peer_.Send({'Z'}));
  ASSERT_TRUE(WaitForReceived(1));
  EXPECT_EQ(port_.InBuffUsed(), 1u);
  EXPECT_EQ(TakeOne(), 'Z');
}

TEST_F(PeerPortTest, ACloseEndsAWaitForInputInProgress) {
  std::atomic<bool> started{false};
  std::atomic<bool> returned{false};
  std::atomic<bool> result{true};
  std::thread waiter([&] {
    started = true;
    result = port_.WaitForInput(kLongWait);
    returned = true;
  });
  ASSERT_TRUE(WaitUntil([&] { return started.load(); }));
  port_.SetOpen(false);
  EXPECT_TRUE(WaitUntil([&] { return returned.load(); }));
  waiter.join();
  EXPECT_FALSE(result);
}

TEST_F(PeerPortTest, ALineThatGoesAwayIsADeviceReadErrorAndTheCloseDoesNotHang) {
  expectFailures_ = true;
  const auto before = Pattern(100);
  ASSERT_TRUE(peer_.Send(before));
  ASSERT_TRUE(WaitForReceived(before.size()));
  peer_.Close();
  ASSERT_TRUE(WaitUntil([&] { return !Reports().empty(); }));
  auto* engine = static_cast<TApdWin32Dispatcher*>(port_.Dispatcher());
  ASSERT_TRUE(WaitUntil([&] { return engine->ActiveThreads() == 0; }));
  for (const FailureReport& r : Reports()) {
    EXPECT_EQ(r.className, "EInOutError");
    EXPECT_TRUE(r.message == "Device read error" || r.message == "Device write error") << r.message;
  }
  // What had arrived can still be taken.
  std::vector<uint8_t> got(before.size());
  EXPECT_EQ(port_.GetBlock(got.data(), static_cast<uint16_t>(got.size())), got.size());
  EXPECT_EQ(got, before);
  port_.SetOpen(false);
  EXPECT_FALSE(port_.Open());
}

// The device's waits, each ended by its wake from another thread.
struct WakeCase {
  const char* Name;
  std::function<TSerialDevice::TWaitResult(TSerialDevice&)> Wait;
  std::function<void(TSerialDevice&)> Wake;
};

class DeviceWake : public testing::TestWithParam<WakeCase> {};

TEST_P(DeviceWake, EndsAtOnceFromAnotherThread) {
  PeerLine peer;
  ASSERT_TRUE(peer.Connected());
  TSerialDevice device;
  ASSERT_FALSE(device.Open(kPeerPort).Failed());
  std::atomic<bool> returned{false};
  TSerialDevice::TWaitResult result = TSerialDevice::TWaitResult::Ready;
  std::thread waiter([&] {
    result = GetParam().Wait(device);
    returned = true;
  });
  GetParam().Wake(device);
  EXPECT_TRUE(WaitUntil([&] { return returned.load(); }));
  waiter.join();
  EXPECT_EQ(result, TSerialDevice::TWaitResult::Woken);
  EXPECT_EQ(device.Close(), 0);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Waits, DeviceWake,
    testing::Values(
        WakeCase{"Reader", [](TSerialDevice& d) { return d.WaitReadable(kLongWaitMs); },
                 [](TSerialDevice& d) { d.WakeReader(); }},
        WakeCase{"LineEvents", [](TSerialDevice& d) { return d.WaitLineEvent(kLongWaitMs); },
                 [](TSerialDevice& d) { d.WakeLineEventWaiter(); }}),
    [](const testing::TestParamInfo<WakeCase>& info) { return std::string(info.param.Name); });
// clang-format on

TEST(PeerDevice, APurgeDropsTheByteAReadHoldsAndLaterBytesStillCome) {
  PeerLine peer;
  ASSERT_TRUE(peer.Connected());
  TSerialDevice device;
  ASSERT_FALSE(device.Open(kPeerPort).Failed());
  ASSERT_TRUE(peer.Send({'a'}));
  ASSERT_EQ(device.WaitReadable(kLongWaitMs), TSerialDevice::TWaitResult::Ready);
  EXPECT_TRUE(device.PurgeInput());
  uint8_t byte = 0;
  uint8_t* buffers[] = {&byte};
  const TTransfer dropped = device.Read(buffers, 1, 1);
  EXPECT_FALSE(dropped.failure.Failed());
  EXPECT_EQ(dropped.count, 0u);
  ASSERT_TRUE(peer.Send({'b'}));
  // The purge may have woken the reader; it looks again until the byte is in.
  TSerialDevice::TWaitResult waited = TSerialDevice::TWaitResult::Woken;
  ASSERT_TRUE(WaitUntil([&] {
    waited = device.WaitReadable(kLongWaitMs);
    return waited != TSerialDevice::TWaitResult::Woken;
  }));
  ASSERT_EQ(waited, TSerialDevice::TWaitResult::Ready);
  const TTransfer got = device.Read(buffers, 1, 1);
  EXPECT_FALSE(got.failure.Failed());
  EXPECT_EQ(got.count, 1u);
  EXPECT_EQ(byte, 'b');
  EXPECT_EQ(device.Close(), 0);
}

// Open errors, as the port component raises them.
struct OpenErrorCase {
  const char* Name;
  std::string path;
  uint16_t ComNumber;
};

class PortOpenError : public testing::TestWithParam<OpenErrorCase> {};

TEST_P(PortOpenError, ANameWithoutADeviceIsBadId) {
  TApdComPort port;
  ConfigureLikeMainWindow(port, GetParam().path);
  port.SetComNumber(GetParam().ComNumber);
  try {
    port.SetOpen(true);
    FAIL() << "opened";
  } catch (const EBadId& e) {
    EXPECT_STREQ(e.what(), "ie_BadId - Specified comport doesn't exist");
  }
  EXPECT_FALSE(port.Open());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Names, PortOpenError,
    testing::Values(OpenErrorCase{"DevicePath", "\\\\.\\COM250", 0},
                    OpenErrorCase{"ComNumber", "", 250},
                    OpenErrorCase{"PlainFile", "C:\\windows\\win.ini", 0}),
    [](const testing::TestParamInfo<OpenErrorCase>& info) { return std::string(info.param.Name); });
// clang-format on

TEST(PortOpenHeld, APortHeldByAnotherHolderIsAlreadyOpen) {
  if (UnderWine()) {
    GTEST_SKIP() << "wine opens a COM port on a pseudo-terminal as often as asked (no exclusive "
                    "open), so a second holder cannot be shown here";
  }
  PeerLine peer;
  ASSERT_TRUE(peer.Connected());
  TApdComPort first;
  ConfigureLikeMainWindow(first, kPeerPort);
  first.SetOpen(true);
  TApdComPort second;
  ConfigureLikeMainWindow(second, kPeerPort);
  EXPECT_THROW(second.SetOpen(true), EAlreadyOpen);
}

}  // namespace
