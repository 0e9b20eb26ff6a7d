// Which answers a fault hits, how often, and how several faults combine.
#include <gtest/gtest.h>

#include "FaultPlan.h"

using namespace std::chrono_literals;
using stbsim::Fault;
using stbsim::FaultKind;
using stbsim::FaultPlan;
using stbsim::SimPhase;
using Bytes = std::vector<uint8_t>;

namespace {

const Bytes kNormal = {0xAB, 0x41, 0x43, 0x4B};

TEST(FaultPlanTest, NoFaultLeavesTheAnswerAlone) {
  FaultPlan plan({});
  const auto reply = plan.Plan(SimPhase::PacketReply, 0, kNormal);
  EXPECT_EQ(reply.bytes, kNormal);
  EXPECT_TRUE(reply.garbage.empty());
  EXPECT_EQ(reply.delay, 0ms);
  EXPECT_FALSE(reply.vanish);
}

TEST(FaultPlanTest, HitsOnlyItsPhaseAndIndexAndOnlyItsTimes) {
  FaultPlan plan({{SimPhase::PacketReply, 2, FaultKind::Replace, {1}, 0, {}, 2}});
  EXPECT_EQ(plan.Plan(SimPhase::HeaderReply, 2, kNormal).bytes, kNormal) << "other phase";
  EXPECT_EQ(plan.Plan(SimPhase::PacketReply, 1, kNormal).bytes, kNormal) << "other index";
  EXPECT_EQ(plan.Plan(SimPhase::PacketReply, 2, kNormal).bytes, Bytes{1});
  EXPECT_EQ(plan.Plan(SimPhase::PacketReply, 2, kNormal).bytes, Bytes{1});
  EXPECT_EQ(plan.Plan(SimPhase::PacketReply, 2, kNormal).bytes, kNormal) << "used up";
}

TEST(FaultPlanTest, ForeverAndAnyIndexHitEveryAnswer) {
  FaultPlan plan({{SimPhase::BlockReply,
                   stbsim::kAnyIndex,
                   FaultKind::Replace,
                   {0x15},
                   0,
                   {},
                   stbsim::kForever}});
  for (int index = 0; index < 100; ++index)
    EXPECT_EQ(plan.Plan(SimPhase::BlockReply, index, {0x06}).bytes, Bytes{0x15});
}

TEST(FaultPlanTest, FaultsCombineInTheirOrder) {
  FaultPlan plan(
      {{SimPhase::FlashDone, stbsim::kAnyIndex, FaultKind::FlipBits, {}, 0x0F, {}, 1},
       {SimPhase::FlashDone, stbsim::kAnyIndex, FaultKind::Replace, {0xF0, 0x00}, 0, {}, 1},
       {SimPhase::FlashDone, stbsim::kAnyIndex, FaultKind::Late, {}, 0, 20ms, 1},
       {SimPhase::FlashDone, stbsim::kAnyIndex, FaultKind::Late, {}, 0, 30ms, 1},
       {SimPhase::FlashDone, stbsim::kAnyIndex, FaultKind::Garbage, {7}, 0, {}, 1},
       {SimPhase::FlashDone, stbsim::kAnyIndex, FaultKind::Garbage, {8}, 0, {}, 1}});
  const auto reply = plan.Plan(SimPhase::FlashDone, 0, kNormal);
  EXPECT_EQ(reply.bytes, Bytes({0xFF, 0x0F})) << "the flip also hits the replacement";
  EXPECT_EQ(reply.delay, 50ms);
  EXPECT_EQ(reply.garbage, Bytes({7, 8}));
  EXPECT_FALSE(reply.vanish);
}

TEST(FaultPlanTest, VanishIsPlanned) {
  FaultPlan plan({{SimPhase::EotReply, 1, FaultKind::Vanish, {}, 0, {}, 1}});
  EXPECT_FALSE(plan.Plan(SimPhase::EotReply, 0, {0x15}).vanish);
  EXPECT_TRUE(plan.Plan(SimPhase::EotReply, 1, {0x06}).vanish);
}

}  // namespace
