// The seven operations on a port opened over a pseudo-terminal.
#include <atomic>
#include <thread>

#include "Awuser.h"
#include "PortFixture.h"

namespace {

constexpr std::size_t kRing = TApdBaseDispatcher::kReceiveRingSize;
using std::chrono::milliseconds;

TEST_F(OpenPortTest, BytesFromTheLineReachGetBlockInOrder) {
  const auto sent = Pattern(5000);
  pty_.Send(sent);
  ASSERT_TRUE(WaitForReceived(sent.size()));
  EXPECT_EQ(Take(5000), sent);
  EXPECT_FALSE(port_.CharReady());
}

TEST_F(OpenPortTest, PutBlockAndPutCharReachTheLine) {
  const auto block = Pattern(3000);
  EXPECT_EQ(port_.PutBlock(block.data(), 3000), 0);
  port_.PutChar(0x7E);
  auto expected = block;
  expected.push_back(0x7E);
  EXPECT_EQ(pty_.Receive(expected.size(), std::chrono::seconds(10)), expected);
}

TEST_F(OpenPortTest, PeekTwiceThenGetYieldsTheSameBytesAndRemovesThem) {
  pty_.Send("ABCDEF");
  ASSERT_TRUE(WaitForReceived(6));
  char a[4] = {}, b[4] = {}, c[4] = {};
  EXPECT_EQ(port_.PeekBlock(a, 4), 4);
  EXPECT_EQ(port_.PeekBlock(b, 4), 4);
  EXPECT_EQ(port_.GetBlock(c, 4), 4);
  EXPECT_EQ(std::string(a, 4), "ABCD");
  EXPECT_EQ(std::string(b, 4), "ABCD");
  EXPECT_EQ(std::string(c, 4), "ABCD");
  EXPECT_EQ(port_.InBuffUsed(), 2u);
}

TEST_F(OpenPortTest, ShortTakeRaisesBufferIsEmptyAndLosesNothing) {
  pty_.Send("xyz");
  ASSERT_TRUE(WaitForReceived(3));
  char buffer[8];
  try {
    port_.GetBlock(buffer, 4);
    FAIL();
  } catch (const EBufferIsEmpty& e) {
    EXPECT_EQ(e.ErrorCode, ecBufferIsEmpty);
    EXPECT_STREQ(e.what(), "Buffer is empty");
  }
  EXPECT_THROW(port_.PeekBlock(buffer, 4), EBufferIsEmpty);
  EXPECT_EQ(port_.GetBlock(buffer, 3), 3);
  EXPECT_EQ(std::string(buffer, 3), "xyz");
}

TEST_F(OpenPortTest, LengthZeroOnAnEmptyRingTakesNothingAndRaisesNothing) {
  char byte = 'q';
  EXPECT_EQ(port_.GetBlock(&byte, 0), 0);
  EXPECT_EQ(port_.PeekBlock(&byte, 0), 0);
  EXPECT_EQ(port_.PutBlock(&byte, 0), 0);
  EXPECT_FALSE(port_.CharReady());
}

TEST_F(OpenPortTest, LengthsAboveTheRingsAlwaysFailAndLoseNothing) {
  std::vector<uint8_t> big(65535);
  const auto sent = Pattern(100);
  pty_.Send(sent);
  ASSERT_TRUE(WaitForReceived(100));
  EXPECT_THROW(port_.GetBlock(big.data(), kRing + 1), EBufferIsEmpty);
  EXPECT_THROW(port_.PeekBlock(big.data(), 65535), EBufferIsEmpty);
  EXPECT_THROW(port_.PutBlock(big.data(), 32769), EOutputBufferTooSmall);
  EXPECT_THROW(port_.PutBlock(big.data(), 65535), EOutputBufferTooSmall);
  EXPECT_EQ(Take(100), sent);
  EXPECT_TRUE(pty_.ReceiveAvailable(milliseconds(20)).empty());
}

TEST_F(OpenPortTest, AFullRingKeepsLaterBytesQueuedInOrder) {
  const auto sent = Pattern(kRing + 3000);
  pty_.Send(sent);
  ASSERT_TRUE(WaitForReceived(kRing));
  // The rest waits in the engine's queue, nothing is dropped.
  ASSERT_TRUE(WaitUntil([&] { return port_.Dispatcher()->Queue().Count() > 0; }));
  EXPECT_TRUE(port_.CharReady());
  auto got = Take(static_cast<uint16_t>(kRing));
  ASSERT_TRUE(WaitForReceived(3000));
  auto rest = Take(3000);
  got.insert(got.end(), rest.begin(), rest.end());
  EXPECT_EQ(got, sent);
}

TEST_F(OpenPortTest, FlushInBufferAlsoDropsBytesNotYetInTheRing) {
  constexpr std::size_t kBeyondTheRing = 2000;
  pty_.Send(Pattern(kRing + kBeyondTheRing));
  ASSERT_TRUE(WaitForReceived(kRing));
  // Every byte has left the kernel for the engine (a byte the pseudo-terminal
  // still held could come in after the flush, as new input would).
  ASSERT_TRUE(WaitUntil([&] { return port_.Dispatcher()->Queue().DataBytes() == kBeyondTheRing; }));
  port_.FlushInBuffer();
  EXPECT_FALSE(port_.CharReady());
  pty_.Send("Z");
  ASSERT_TRUE(WaitForReceived(1));
  // Whatever was left from before the flush must not show up either.
  EXPECT_EQ(port_.InBuffUsed(), 1u);
  EXPECT_EQ(Take(1), std::vector<uint8_t>{'Z'});
}

TEST_F(OpenPortTest, ALineEventBetweenTwoBurstsKeepsTheDataInOrder) {
  const auto first = Pattern(700);
  const auto second = Pattern(700, 700);
  pty_.Send(first);
  ASSERT_TRUE(WaitForReceived(700));
  port_.Dispatcher()->Queue().Push(std::make_unique<TStatusBuffer>(kEventCts));
  pty_.Send(second);
  ASSERT_TRUE(WaitForReceived(1400));
  auto got = Take(1400);
  auto expected = first;
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(got, expected);
}

TEST_F(OpenPortTest, WaitForInputSeesANewByteAndGivesUpAtItsLimit) {
  EXPECT_FALSE(port_.WaitForInput(milliseconds(5)));
  std::thread sender([&] { pty_.Send("!"); });
  EXPECT_TRUE(WaitUntil([&] { return port_.WaitForInput(milliseconds(100)); }));
  sender.join();
}

TEST_F(OpenPortTest, WakeInputWaitersEndsAWaitFromAnotherThread) {
  std::atomic<bool> returned{false};
  std::thread waiter([&] {
    port_.WaitForInput(std::chrono::seconds(30));
    returned = true;
  });
  EXPECT_TRUE(WaitUntil([&] {
    port_.WakeInputWaiters();
    return returned.load();
  }));
  waiter.join();
}

TEST_F(OpenPortTest, WaitForOutputDrainedReturnsOnceTheBytesLeft) {
  const auto block = Pattern(20000);
  ASSERT_EQ(port_.PutBlock(block.data(), 20000), 0);
  std::vector<uint8_t> got;
  std::thread reader([&] { got = pty_.Receive(20000, std::chrono::seconds(10)); });
  EXPECT_TRUE(port_.WaitForOutputDrained(std::chrono::seconds(10)));
  reader.join();
  EXPECT_EQ(got, block);
}

TEST_F(OpenPortTest, FlushOutBufferEndsAPendingWriteAndDropsItsBlock) {
  // Only the write thread's answer can end this flush.
  ScopedTimings timings(FlushEndedOnlyByTheWriteThread());
  port_.SetOpen(false);
  port_.SetOpen(true);
  const std::size_t queued = FillUntilWritePending(port_, pty_.MasterFd());
  port_.FlushOutBuffer();
  EXPECT_EQ(port_.OutBuffFree(), 32768u);
  const auto arrived = pty_.ReceiveAvailable(milliseconds(200));
  EXPECT_LT(arrived.size(), queued);
  // The line works on after the flush.
  port_.PutChar('K');
  const auto after = pty_.Receive(1, std::chrono::seconds(10));
  EXPECT_EQ(after, std::vector<uint8_t>{'K'});
}

TEST(PortAutoOpen, AnOperationOnAClosedPortOpensItFirst) {
  PtyPair pty;
  TApdComPort port;
  ConfigureLikeMainWindow(port, pty.SlavePath());
  port.SetAutoOpen(true);
  EXPECT_FALSE(port.CharReady());
  EXPECT_TRUE(port.Open());
  port.PutChar('a');
  EXPECT_EQ(pty.Receive(1, std::chrono::seconds(10)), std::vector<uint8_t>{'a'});
}

}  // namespace
