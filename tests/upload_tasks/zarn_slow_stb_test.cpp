// The ZARN upload's fixture against a STB that takes its time: an answer that
// comes late in real time (the machine is loaded, the STB's thread waits for
// a core) must still be in before the wait's limit, whatever that limit's
// length in real time; only silence lets a limit pass.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ZarnUploadFixture.h"
#include "ZarnWords.h"

namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

// Longer in real time than the quiet slices of the longest limit (30 s, 600
// slices of 1 ms) take.
constexpr std::chrono::milliseconds kLate{1500};

struct LateRow {
  const char* name;
  stbsim::SimPhase phase;
};

class LateStb : public ZarnUploadFixture, public testing::WithParamInterface<LateRow> {};

TEST_P(LateStb, ALateAnswerIsStillInBeforeTheLimit) {
  stbsim::Fault late;
  late.phase = GetParam().phase;
  late.kind = stbsim::FaultKind::Late;
  late.delay = kLate;
  Scenario scenario;
  scenario.sim.faults = {late};
  const auto image = MakeImage("DAT", PatternBody(30));
  Upload(image, scenario);
  EXPECT_EQ(Log(), (Strings{"Waiting for STB...", "Initializing Upload task...",
                            zarn::PacketLine(0, true), "Writing to FLASH, please wait...",
                            "Writing to FLASH [OK], restarting...", "Upload task terminated!!!"}));
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(host_.Ended(), std::optional<bool>(true));
  EXPECT_EQ(StbUpload().Image(), image);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Phases, LateStb,
    testing::Values(LateRow{"Greeting", stbsim::SimPhase::Greeting},
                    LateRow{"RequestReply", stbsim::SimPhase::RequestReply},
                    LateRow{"HeaderReply", stbsim::SimPhase::HeaderReply},
                    LateRow{"PacketReply", stbsim::SimPhase::PacketReply},
                    LateRow{"FlashStart", stbsim::SimPhase::FlashStart},
                    LateRow{"FlashDone", stbsim::SimPhase::FlashDone}),
    [](const testing::TestParamInfo<LateRow>& info) { return std::string(info.param.name); });
// clang-format on

}  // namespace
