// The ring rules of the engine, step by step, without device or threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "LinePattern.h"
#include "RingEngine.h"
#include "WaitUntil.h"

namespace {

constexpr std::size_t kRing = TApdBaseDispatcher::kReceiveRingSize;

std::vector<uint8_t> Get(RingEngine& engine, uint16_t length) {
  std::vector<uint8_t> out(length);
  EXPECT_EQ(engine.GetBlock(out.data(), length), length);
  return out;
}

// Received bytes cross the end of the ring at every position and come out in
// order, whether they are peeked first or not.
class ReceiveWrap : public testing::TestWithParam<std::size_t> {};

TEST_P(ReceiveWrap, BytesCrossTheRingEndInOrder) {
  RingEngine engine(64);
  const std::size_t offset = GetParam();
  // Move the positions to `offset` first.
  for (std::size_t done = 0; done < offset;) {
    const std::size_t step = std::min<std::size_t>(4096, offset - done);
    engine.PushData(Pattern(step));
    engine.MoveAll();
    Get(engine, static_cast<uint16_t>(step));
    done += step;
  }
  const auto sent = Pattern(1000, 7);
  engine.PushData(sent);
  engine.MoveAll();
  EXPECT_EQ(engine.InBuffUsed(), 1000u);
  std::vector<uint8_t> peek1(1000), peek2(1000);
  EXPECT_EQ(engine.PeekBlock(peek1.data(), 1000), 1000);
  EXPECT_EQ(engine.PeekBlock(peek2.data(), 1000), 1000);
  EXPECT_EQ(peek1, sent);
  EXPECT_EQ(peek2, sent);
  EXPECT_EQ(Get(engine, 1000), sent);
  EXPECT_FALSE(engine.CharReady());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Offsets, ReceiveWrap,
                         testing::Values<std::size_t>(0, 1, 4096, kRing - 1000, kRing - 999,
                                                      kRing - 1, kRing, kRing + 500));
// clang-format on

TEST(ReceiveRing, FullRingKeepsTheRestQueuedAndLetsItFollowInOrder) {
  RingEngine engine(64);
  const auto sent = Pattern(kRing + 300);
  engine.PushData(sent);
  engine.MoveAll();
  EXPECT_TRUE(engine.ReceiveFull());
  EXPECT_TRUE(engine.CharReady());
  EXPECT_EQ(engine.InBuffUsed(), kRing);
  EXPECT_FALSE(engine.Queue().Empty());

  const auto first = Get(engine, 100);
  EXPECT_FALSE(engine.ReceiveFull());
  engine.MoveAll();
  EXPECT_EQ(engine.InBuffUsed(), kRing);  // 100 more moved in behind
  const auto rest = Get(engine, static_cast<uint16_t>(kRing));
  engine.MoveAll();
  const auto tail = Get(engine, 200);
  std::vector<uint8_t> all(first);
  all.insert(all.end(), rest.begin(), rest.end());
  all.insert(all.end(), tail.begin(), tail.end());
  EXPECT_EQ(all, sent);
  EXPECT_FALSE(engine.CharReady());
}

TEST(ReceiveRing, ShortOrOversizedTakesFailAndTakeNothing) {
  RingEngine engine(64);
  engine.PushData(Pattern(kRing + 10));
  engine.MoveAll();
  std::vector<uint8_t> buffer(kRing + 1);
  EXPECT_EQ(engine.GetBlock(buffer.data(), static_cast<uint16_t>(kRing + 1)), ecBufferIsEmpty);
  EXPECT_EQ(engine.PeekBlock(buffer.data(), static_cast<uint16_t>(kRing + 1)), ecBufferIsEmpty);
  EXPECT_EQ(engine.GetBlock(buffer.data(), 65535), ecBufferIsEmpty);
  EXPECT_EQ(engine.InBuffUsed(), kRing);
  EXPECT_EQ(Get(engine, static_cast<uint16_t>(kRing)), Pattern(kRing));
  // Ten bytes still queued: eleven are too many, ten are right.
  engine.MoveAll();
  EXPECT_EQ(engine.GetBlock(buffer.data(), 11), ecBufferIsEmpty);
  EXPECT_EQ(Get(engine, 10), Pattern(10, kRing));
}

TEST(ReceiveRing, LengthZeroTakesNothingEvenWhenEmpty) {
  RingEngine engine(64);
  uint8_t byte = 0xAA;
  EXPECT_EQ(engine.GetBlock(&byte, 0), 0);
  EXPECT_EQ(engine.PeekBlock(&byte, 0), 0);
  EXPECT_EQ(byte, 0xAA);
  engine.PushData({1, 2, 3});
  engine.MoveAll();
  EXPECT_EQ(engine.GetBlock(&byte, 0), 0);
  EXPECT_EQ(engine.InBuffUsed(), 3u);
}

TEST(ReceiveRing, ALineEventHoldsBackTheBytesBehindItUntilItIsTaken) {
  RingEngine engine(64);
  const auto before = Pattern(300);
  const auto after = Pattern(300, 300);
  engine.PushData(before);
  engine.PushStatus(kEventCts);
  engine.PushData(after);
  engine.MoveAll();
  EXPECT_EQ(engine.InBuffUsed(), 300u);
  // The dispatch thread's next pass takes the status entry off the queue.
  auto status = engine.Queue().Pop();
  ASSERT_NE(dynamic_cast<TStatusBuffer*>(status.get()), nullptr);
  engine.MoveAll();
  std::vector<uint8_t> both(before);
  both.insert(both.end(), after.begin(), after.end());
  EXPECT_EQ(Get(engine, 600), both);
}

// Entries as the read thread hands them on.
std::vector<std::unique_ptr<TIOBuffer>> Entries(const std::vector<uint8_t>& bytes) {
  std::vector<std::unique_ptr<TIOBuffer>> out;
  for (std::size_t at = 0; at < bytes.size(); at += TDataBuffer::kDataSize) {
    auto entry = std::make_unique<TDataBuffer>();
    entry->bytesUsed = std::min(TDataBuffer::kDataSize, bytes.size() - at);
    std::copy_n(bytes.begin() + static_cast<long>(at), entry->bytesUsed, entry->data);
    out.push_back(std::move(entry));
  }
  return out;
}

TEST(ReceiveRing, FreshBytesGoStraightInOnlyWhenNothingWaitsAhead) {
  RingEngine engine(64);
  const uint64_t generation = engine.Queue().Generation();
  auto first = Entries(Pattern(1000));
  engine.DeliverReceived(first.data(), first.size(), generation);
  EXPECT_EQ(engine.InBuffUsed(), 1000u);
  EXPECT_TRUE(engine.Queue().Empty());
  for (const auto& entry : first) EXPECT_NE(entry, nullptr);  // read out, kept for reuse

  // Behind a line event the bytes queue up and keep their place.
  engine.PushStatus(kEventDsr);
  auto second = Entries(Pattern(500, 1000));
  engine.DeliverReceived(second.data(), second.size(), generation);
  EXPECT_EQ(engine.InBuffUsed(), 1000u);
  for (const auto& entry : second) EXPECT_EQ(entry, nullptr);  // taken over by the queue
  engine.Queue().Pop();
  engine.MoveAll();
  EXPECT_EQ(Get(engine, 1500), Pattern(1500));
}

TEST(ReceiveRing, FreshBytesThatDoNotFitQueueBehindTheOnesThatDid) {
  RingEngine engine(64);
  const uint64_t generation = engine.Queue().Generation();
  auto entries = Entries(Pattern(kRing + 700));
  engine.DeliverReceived(entries.data(), entries.size(), generation);
  EXPECT_TRUE(engine.ReceiveFull());
  EXPECT_FALSE(engine.Queue().Empty());
  auto all = Get(engine, static_cast<uint16_t>(kRing));
  engine.MoveAll();
  const auto rest = Get(engine, 700);
  all.insert(all.end(), rest.begin(), rest.end());
  EXPECT_EQ(all, Pattern(kRing + 700));
}

TEST(ReceiveRing, FreshBytesReadBeforeAFlushAreDropped) {
  RingEngine engine(64);
  const uint64_t generation = engine.Queue().Generation();
  engine.FlushInBuffer();
  auto entries = Entries(Pattern(300));
  engine.DeliverReceived(entries.data(), entries.size(), generation);
  EXPECT_FALSE(engine.CharReady());
  EXPECT_TRUE(engine.Queue().Empty());
}

TEST(ReceiveRing, FlushInBufferDropsTheRingAndWhatIsStillQueued) {
  RingEngine engine(64);
  engine.PushData(Pattern(kRing + 500));
  engine.MoveAll();
  EXPECT_GT(engine.FlushInBuffer(), 0);
  EXPECT_FALSE(engine.CharReady());
  EXPECT_TRUE(engine.Queue().Empty());
  engine.PushData({42});
  engine.MoveAll();
  EXPECT_EQ(Get(engine, 1), std::vector<uint8_t>{42});
}

struct PutCase {
  std::size_t outSize;
  std::size_t queued;  // already in the ring
  uint16_t Length;
  int result;
};

void PrintTo(const PutCase& c, std::ostream* os) {
  *os << "out " << c.outSize << " queued " << c.queued << " put " << c.Length;
}

class TransmitRoom : public testing::TestWithParam<PutCase> {};

TEST_P(TransmitRoom, PutBlockQueuesAllOrNothing) {
  const PutCase& c = GetParam();
  RingEngine engine(c.outSize);
  const auto queued = Pattern(c.queued);
  if (c.queued != 0) {
    ASSERT_EQ(engine.PutBlock(queued.data(), static_cast<uint16_t>(c.queued)), 0);
  }
  const auto block = Pattern(c.Length, 100);
  EXPECT_EQ(engine.PutBlock(block.data(), c.Length), c.result);
  std::vector<uint8_t> expected(queued);
  if (c.result == 0) expected.insert(expected.end(), block.begin(), block.end());
  EXPECT_EQ(engine.TakeTransmitRing(), expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, TransmitRoom,
    testing::Values(PutCase{4096, 0, 0, 0}, PutCase{4096, 0, 4096, 0}, PutCase{4096, 0, 4097, -3006},
                    PutCase{4096, 4000, 96, 0}, PutCase{4096, 4000, 97, -3006},
                    PutCase{32768, 0, 32768, 0}, PutCase{32768, 0, 32769, -3006},
                    PutCase{32768, 1, 65535, -3006}, PutCase{0, 0, 1, -3006},
                    PutCase{0, 0, 0, 0}));
// clang-format on

TEST(TransmitRing, ExactRoomSetsFullUntilTheWriteThreadTakesTheBytes) {
  RingEngine engine(4096);
  const auto block = Pattern(4096);
  ASSERT_EQ(engine.PutBlock(block.data(), 4096), 0);
  EXPECT_TRUE(engine.TransmitFull());
  EXPECT_EQ(engine.OutBufUsed(), 4096);
  const uint8_t one = 1;
  EXPECT_EQ(engine.PutBlock(&one, 1), ecOutputBufferTooSmall);
  EXPECT_EQ(engine.TakeTransmitRing(), block);
  EXPECT_EQ(engine.PutBlock(&one, 1), 0);
  EXPECT_EQ(engine.OutBufUsed(), 1);
}

TEST(TransmitRing, LengthZeroDoesNotWakeTheWriteThread) {
  RingEngine engine(16);
  EXPECT_EQ(engine.PutBlock(nullptr, 0), 0);
  EXPECT_EQ(engine.outputs, 0);
  const uint8_t one = 1;
  EXPECT_EQ(engine.PutBlock(&one, 1), 0);
  EXPECT_EQ(engine.outputs, 1);
}

using LineLevel = std::pair<TControlLine, bool>;

struct ControlLineCase {
  unsigned options;
  std::vector<LineLevel> levels;  // at open, before the line settings are stored
};

void PrintTo(const ControlLineCase& c, std::ostream* os) { *os << "options " << c.options; }

class ControlLinesAtOpen : public testing::TestWithParam<ControlLineCase> {};

TEST_P(ControlLinesAtOpen, FollowTheOptionsWord) {
  RingEngine engine(64);
  const std::vector<LineLevel>& levels = GetParam().levels;
  ASSERT_FALSE(engine.OpenLine(GetParam().options, 115200).Failed());
  ASSERT_GE(engine.controlLines.size(), levels.size());
  EXPECT_EQ(std::vector<LineLevel>(engine.controlLines.begin(),
                                   engine.controlLines.begin() + static_cast<long>(levels.size())),
            levels);
  // Every later store puts the same levels back.
  for (std::size_t i = levels.size(); i < engine.controlLines.size(); ++i) {
    EXPECT_NE(std::find(levels.begin(), levels.end(), engine.controlLines[i]), levels.end());
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Options, ControlLinesAtOpen,
    testing::Values(ControlLineCase{0, {{TControlLine::Dtr, false}, {TControlLine::Rts, false}}},
                    ControlLineCase{kOptionDtrHigh | kOptionRtsHigh,
                                    {{TControlLine::Dtr, true}, {TControlLine::Rts, true}}},
                    ControlLineCase{kOptionDtrHandshake, {{TControlLine::Rts, false}}},
                    ControlLineCase{kOptionDtrHandshake | kOptionRtsHandshake, {}}));
// clang-format on

struct LineCase {
  int32_t baud;
  uint8_t parity;
  uint16_t dataBits;
  uint16_t stopBits;
  uint32_t WantBaud;
  uint8_t WantParity;
  uint8_t WantDataBits;
  TStopBitSetting wantStopBits;
};

void PrintTo(const LineCase& c, std::ostream* os) {
  *os << c.baud << "/" << int(c.parity) << "/" << c.dataBits << "/" << c.stopBits;
}

class SetLineRules : public testing::TestWithParam<LineCase> {};

TEST_P(SetLineRules, WorkOutTheNewValuesFromTheCurrentOnes) {
  const LineCase& c = GetParam();
  RingEngine engine(64);
  ASSERT_FALSE(engine.OpenLine(0, 19200).Failed());
  engine.line.parity = 2;
  engine.line.stopBits = sbTwo;
  ASSERT_FALSE(engine.SetLine(c.baud, c.parity, c.dataBits, c.stopBits).Failed());
  EXPECT_EQ(engine.line.baud, c.WantBaud);
  EXPECT_EQ(engine.line.parity, c.WantParity);
  EXPECT_EQ(engine.line.dataBits, c.WantDataBits);
  EXPECT_EQ(engine.line.stopBits, c.wantStopBits);
  EXPECT_TRUE(engine.line.binary);
  EXPECT_FALSE(engine.line.parityCheck);
  EXPECT_TRUE(engine.line.txContinueOnXoff);
  EXPECT_EQ(engine.line.dtrControl, dtrDisable);
  EXPECT_EQ(engine.line.rtsControl, rtsDisable);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Rules, SetLineRules,
    testing::Values(LineCase{115200, 0, 8, 1, 115200, 0, 8, sbOne},
                    LineCase{0, 5, 9, 3, 19200, 2, 8, sbTwo},  // all kept
                    LineCase{9600, 1, 7, 0, 9600, 1, 7, sbOne},
                    LineCase{9600, 0, 8, 2, 9600, 0, 8, sbTwo},
                    LineCase{9600, 0, 8, 7, 9600, 0, 8, sbTwo},
                    LineCase{9600, 0, 5, 1, 9600, 0, 5, sbOneAndHalf},
                    LineCase{9600, 0, 5, 2, 9600, 0, 5, sbOneAndHalf}));
// clang-format on

TEST(SetLine, UnchangedSettingsAreNotWrittenAgain) {
  RingEngine engine(64);
  ASSERT_FALSE(engine.OpenLine(0, 115200).Failed());
  const int stores = engine.stores;
  EXPECT_FALSE(engine.SetLine(115200, 0, 8, 1).Failed());
  EXPECT_FALSE(engine.SetLine(0, 5, 9, 3).Failed());
  EXPECT_EQ(engine.stores, stores);
}

struct ThresholdCase {
  uint16_t BufferFull;
  uint16_t BufferResume;
  TDeviceFailureKind result;
};

void PrintTo(const ThresholdCase& c, std::ostream* os) {
  *os << "full " << c.BufferFull << " resume " << c.BufferResume;
}

class FlowThresholds : public testing::TestWithParam<ThresholdCase> {};

TEST_P(FlowThresholds, AreCheckedBeforeTheSettingsAreTouched) {
  RingEngine engine(64);
  ASSERT_FALSE(engine.OpenLine(0, 115200).Failed());
  const int stores = engine.stores;
  const ThresholdCase& c = GetParam();
  EXPECT_EQ(engine.SetHWFlowOptions(0, c.BufferFull, c.BufferResume).kind, c.result);
  if (c.result == TDeviceFailureKind::None) {
    EXPECT_EQ(engine.line.xoffLim, 32768u - c.BufferFull);
    EXPECT_EQ(engine.line.xonLim, c.BufferResume);
    EXPECT_FALSE(engine.line.outxCtsFlow);
    EXPECT_FALSE(engine.line.outxDsrFlow);
  } else {
    EXPECT_EQ(engine.stores, stores);
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, FlowThresholds,
                         testing::Values(ThresholdCase{0, 0, TDeviceFailureKind::None},
                                         ThresholdCase{1000, 100, TDeviceFailureKind::None},
                                         ThresholdCase{100, 1000, TDeviceFailureKind::BadArgument},
                                         ThresholdCase{40000, 0, TDeviceFailureKind::BadArgument}));
// clang-format on

TEST(InputWaiters, WakeOnArrivalOnRequestAndOnShutdown) {
  RingEngine engine(64);
  std::thread mover([&] {
    engine.PushData({9});
    engine.MoveAll();
  });
  EXPECT_TRUE(engine.WaitForInput(kNeverWaitedOut));
  mover.join();

  Get(engine, 1);
  std::atomic<bool> result{true};
  std::atomic<bool> returned{false};
  std::thread waiter([&] {
    result = engine.WaitForInput(kNeverWaitedOut);
    returned = true;
  });
  // A wake sent before the waiter began to wait does not count for it, so the
  // test wakes until it has returned.
  const bool woken = WaitUntil([&] {
    engine.WakeInputWaiters();
    return returned.load();
  });
  if (!woken) engine.BeginShutdown();  // lets the waiter go before the join
  waiter.join();
  EXPECT_TRUE(woken);
  EXPECT_FALSE(result);

  engine.BeginShutdown();
  EXPECT_FALSE(engine.WaitForInput(kNeverWaitedOut));
}

TEST(InputWaiters, GiveUpAtTheLimit) {
  RingEngine engine(64);
  EXPECT_FALSE(engine.WaitForInput(std::chrono::milliseconds(5)));
}

}  // namespace
