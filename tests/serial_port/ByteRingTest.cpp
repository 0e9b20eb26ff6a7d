// The ring class on its own: order across the end of the block, the full
// flag, the all-or-nothing takes and the producer's fill.
#include <gtest/gtest.h>

#include <algorithm>

#include "ByteRing.h"
#include "LinePattern.h"

namespace {

constexpr std::size_t kSize = 64;

// A ring whose positions have moved on by `offset` bytes and that is empty.
TByteRing RingAt(std::size_t offset) {
  TByteRing ring(kSize);
  std::vector<uint8_t> scratch(kSize);
  for (std::size_t done = 0; done < offset;) {
    const std::size_t step = std::min(kSize - 1, offset - done);
    EXPECT_EQ(ring.Write(Pattern(step).data(), step), step);
    EXPECT_TRUE(ring.Take(scratch.data(), step));
    done += step;
  }
  return ring;
}

struct WrapCase {
  std::size_t offset;  // where the positions stand
  std::size_t length;  // bytes written and read back
};

void PrintTo(const WrapCase& c, std::ostream* os) {
  *os << "at " << c.offset << " length " << c.length;
}

class RingWrap : public testing::TestWithParam<WrapCase> {};

TEST_P(RingWrap, BytesComeOutInOrderWhereverThePositionsStand) {
  const WrapCase& c = GetParam();
  TByteRing ring = RingAt(c.offset);
  const auto bytes = Pattern(c.length, 7);
  ASSERT_EQ(ring.Write(bytes.data(), bytes.size()), c.length);
  EXPECT_EQ(ring.Used(), c.length);
  EXPECT_EQ(ring.Full(), c.length == kSize);
  std::vector<uint8_t> peeked(c.length), taken(c.length);
  EXPECT_TRUE(ring.Peek(peeked.data(), c.length));
  EXPECT_EQ(peeked, bytes);
  EXPECT_EQ(ring.Used(), c.length);  // a peek takes nothing
  EXPECT_TRUE(ring.Take(taken.data(), c.length));
  EXPECT_EQ(taken, bytes);
  EXPECT_TRUE(ring.Empty());
  EXPECT_FALSE(ring.Full());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Positions, RingWrap,
    testing::Values(WrapCase{0, 1}, WrapCase{0, kSize}, WrapCase{1, kSize}, WrapCase{10, 54},
                    WrapCase{10, 55}, WrapCase{10, kSize}, WrapCase{kSize - 1, 2},
                    WrapCase{kSize - 1, kSize}, WrapCase{kSize, 30}, WrapCase{3 * kSize + 5, 63}));
// clang-format on

TEST(ByteRing, WriteStopsAtTheRoomAndTheFullFlagCountsTheWholeRing) {
  TByteRing ring = RingAt(20);
  const auto bytes = Pattern(100);
  EXPECT_EQ(ring.Write(bytes.data(), 40), 40u);
  EXPECT_EQ(ring.Write(bytes.data() + 40, 60), kSize - 40);
  EXPECT_TRUE(ring.Full());
  EXPECT_EQ(ring.Free(), 0u);
  EXPECT_EQ(ring.Write(bytes.data(), 1), 0u);
  std::vector<uint8_t> all(kSize);
  EXPECT_TRUE(ring.Peek(all.data(), kSize));
  EXPECT_EQ(all, Pattern(kSize));
}

TEST(ByteRing, TakesOfMoreThanItHoldsCopyAndTakeNothing) {
  TByteRing ring(kSize);
  const auto bytes = Pattern(10);
  ring.Write(bytes.data(), bytes.size());
  std::vector<uint8_t> out(11, 0xEE);
  EXPECT_FALSE(ring.Peek(out.data(), 11));
  EXPECT_FALSE(ring.Take(out.data(), 11));
  EXPECT_EQ(out, std::vector<uint8_t>(11, 0xEE));
  EXPECT_EQ(ring.Used(), 10u);
  EXPECT_TRUE(ring.Take(out.data(), 0));
  EXPECT_EQ(ring.Used(), 10u);
}

TEST(ByteRing, TakeAllHandsEverythingOverAndStartsAgainAtTheBeginning) {
  TByteRing ring = RingAt(50);
  const auto bytes = Pattern(kSize, 3);
  ring.Write(bytes.data(), bytes.size());
  EXPECT_EQ(ring.TakeAll(), bytes);
  EXPECT_TRUE(ring.Empty());
  EXPECT_FALSE(ring.Full());
  EXPECT_TRUE(ring.TakeAll().empty());
  // Room for a whole ring again, in one piece from the start.
  std::size_t pieces = 0;
  ring.Fill(kSize, [&pieces](uint8_t*, std::size_t room) {
    ++pieces;
    return room;
  });
  EXPECT_EQ(pieces, 1u);
  EXPECT_TRUE(ring.Full());
}

TEST(ByteRing, ClearDropsEveryByteAndTheFullFlag) {
  TByteRing ring = RingAt(7);
  const auto bytes = Pattern(kSize);
  ring.Write(bytes.data(), bytes.size());
  ring.Clear();
  EXPECT_TRUE(ring.Empty());
  EXPECT_FALSE(ring.Full());
  EXPECT_EQ(ring.Free(), kSize);
  const uint8_t one = 42;
  ring.Write(&one, 1);
  uint8_t back = 0;
  EXPECT_TRUE(ring.Take(&back, 1));
  EXPECT_EQ(back, 42);
}

// The fill a producer runs: two pieces across the end, a short piece ends it.
struct FillCase {
  std::size_t offset;
  std::size_t limit;
  std::size_t sourceHas;  // bytes the producer can give
  std::size_t wantFilled;
  std::size_t wantPieces;
};

void PrintTo(const FillCase& c, std::ostream* os) {
  *os << "at " << c.offset << " limit " << c.limit << " source " << c.sourceHas;
}

class RingFill : public testing::TestWithParam<FillCase> {};

TEST_P(RingFill, PutsWhatFitsInAtMostTwoPieces) {
  const FillCase& c = GetParam();
  TByteRing ring = RingAt(c.offset);
  const auto source = Pattern(c.sourceHas, 11);
  std::size_t given = 0;
  std::size_t pieces = 0;
  const std::size_t filled = ring.Fill(c.limit, [&](uint8_t* at, std::size_t room) {
    ++pieces;
    const std::size_t n = std::min(room, source.size() - given);
    std::copy_n(source.begin() + static_cast<long>(given), n, at);
    given += n;
    return n;
  });
  EXPECT_EQ(filled, c.wantFilled);
  EXPECT_EQ(pieces, c.wantPieces);
  EXPECT_EQ(ring.Used(), c.wantFilled);
  std::vector<uint8_t> out(filled);
  EXPECT_TRUE(ring.Take(out.data(), filled));
  EXPECT_EQ(out, Pattern(filled, 11));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, RingFill,
    testing::Values(FillCase{0, 100, 100, kSize, 1},      // the ring is the limit
                    FillCase{40, 100, 100, kSize, 2},     // across the end
                    FillCase{40, 30, 100, 30, 2},         // the caller's limit
                    FillCase{40, 20, 100, 20, 1},         // fits before the end
                    FillCase{40, 100, 10, 10, 1},         // a short first piece ends it
                    FillCase{40, 100, 30, 30, 2},         // a short second piece
                    FillCase{40, 0, 100, 0, 0}));
// clang-format on

TEST(ByteRing, AFullRingAndARingWithoutRoomTakeNothing) {
  TByteRing none;
  const uint8_t one = 1;
  EXPECT_EQ(none.Write(&one, 1), 0u);
  EXPECT_TRUE(none.Empty());
  EXPECT_TRUE(none.TakeAll().empty());

  TByteRing ring(kSize);
  const auto bytes = Pattern(kSize);
  ring.Write(bytes.data(), bytes.size());
  bool called = false;
  EXPECT_EQ(ring.Fill(kSize,
                      [&called](uint8_t*, std::size_t room) {
                        called = true;
                        return room;
                      }),
            0u);
  EXPECT_FALSE(called);
}

}  // namespace
