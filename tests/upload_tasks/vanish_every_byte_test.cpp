// The line vanishes at every byte of a small session of each protocol: the
// STB takes k bytes from the tool and closes the line when the next one
// comes. Whatever k, the task ends at once through the path its phase has for
// a failed port (the box and log lines that phase gives), never waits out a
// limit and never reports a finish; with k the whole session it completes.
// And the line that goes right after an answer, while the tool sits in one of
// the protocol's fixed pauses, ends the task within moments, not after the
// pauses that follow.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "Session.h"
#include "TempDir.h"
#include "ZarnWords.h"

namespace {

using campaign::Box;
using Strings = std::vector<std::string>;

// The STB runs in real time: its answers get ample real time (a 200 ms pause
// is 40 ms, a 5 s limit 2 s), so that a busy machine cannot turn an answer
// into a time-out. A vanished line ends each wait at once all the same.
campaign::SessionBudget AmpleTime() {
  campaign::SessionBudget budget;
  budget.clock.pauseScale = 0.2;
  budget.clock.realWaitPerSlice = std::chrono::milliseconds(20);
  budget.stopAfterFake = std::chrono::minutes(10);
  budget.stopAfterReal = std::chrono::minutes(2);
  return budget;
}

// What the task showed: its log and its box, if any.
struct Ending {
  Strings log;
  std::optional<Box> box;
  bool operator==(const Ending&) const = default;
};

void PrintTo(const Ending& ending, std::ostream* os) {
  for (const std::string& line : ending.log) *os << "\n  " << line;
  if (ending.box) *os << "\n  box: " << ending.box->title << ": " << ending.box->text;
}

struct PhaseRow {
  const char* phase;
  int64_t firstByte;  // the first k of the row (the STB took k bytes)
  int64_t endByte;    // one past its last k
  Ending ending;
  TaskEnd end;
  // Where the tool writes again right after the byte that killed the line,
  // that write meets the dead line and fails at once; a machine slow to
  // report the line's end lets it through, and the next wait then fails
  // with the later phase's ending instead.
  std::optional<Ending> whenTheWriteWins;
};

struct Protocol {
  stbsim::SimMode mode;
  std::string fileName;
  std::vector<uint8_t> file;
  std::vector<PhaseRow> rows;
  // The k worth running: every one, except inside long stretches where one
  // byte is like the next to the tool (a data block queued in one go).
  std::function<bool(int64_t)> worthRunning;
};

void PrintTo(const Protocol& protocol, std::ostream* os) { *os << protocol.fileName; }

std::vector<uint8_t> SmallImage() {
  constexpr size_t kBody = 10;
  std::vector<uint8_t> image(zarn::kHeaderSize + kBody, 0x5A);
  std::fill(image.begin() + zarn::kNameTagOffset, image.begin() + zarn::kHeaderSize, 0);
  const std::string tag = "APP";
  std::copy(tag.begin(), tag.end(), image.begin() + zarn::kNameTagOffset);
  image[zarn::kBodySizeOffset + 3] = kBody;
  return image;
}

const std::string kWaiting = "Waiting for STB...";
const std::string kInit = "Initializing Upload task...";
const std::string kZarnEnd = "Upload task terminated!!!";
const std::string kContact = "connection established!!!";
const std::string kDspEnd = "Download task terminated!!!";
const Box kInitBox{"Initialisation error", "Error!"};
const Box kTimeOutBox{"TimeOut waiting for STB!", "Error!"};
const Box kCommunicationBox{"Communication error", "Error!"};
const Box kProblemBox{"Problem reading from file.", "File Error"};

// Request 4, header 64, one packet (length word, 10 data bytes and CRC, end
// word) 22, EndOfImage 4.
constexpr int64_t kZarnSession = 4 + 64 + 22 + 4;
// The STB took the packet's length word and data when PacketEnd reaches it.
constexpr int64_t kPacketEndWordStart = 4 + 64 + 4 + 14;
// Header block 133, one data block 1030, two EOTs, closing block 133.
constexpr int64_t kDspSession = 133 + 1030 + 2 + 133;
constexpr int64_t kFirstEot = 133 + 1030;
constexpr int64_t kDenseMargin = 8;
constexpr int64_t kSparseStep = 64;

Protocol Zarn() {
  const std::string ok0 = zarn::PacketLine(0, true);
  return {stbsim::SimMode::Zarn,
          "image.zarn",
          SmallImage(),
          {{"request and header",
            0,
            68,
            {{kWaiting, kInit, kZarnEnd}, kInitBox},
            TaskEnd::Early,
            std::nullopt},
           // The pause after the length word or after the data ends with the
           // line, and the packet's next send fails.
           {"packet length and data",
            68,
            kPacketEndWordStart,
            {{kWaiting, kInit, kZarnEnd}, kCommunicationBox},
            TaskEnd::Early,
            Ending{{kWaiting, kInit, ok0, kZarnEnd}, kTimeOutBox}},
           // The packet is judged by HeaderAccept, so its line is written
           // before the end word meets the dead line.
           {"packet end and end word",
            kPacketEndWordStart,
            kZarnSession,
            {{kWaiting, kInit, ok0, kZarnEnd}, kTimeOutBox},
            TaskEnd::Early,
            std::nullopt},
           {"whole session",
            kZarnSession,
            kZarnSession + 1,
            {{kWaiting, kInit, ok0, "Writing to FLASH, please wait...",
              "Writing to FLASH [OK], restarting...", kZarnEnd},
             std::nullopt},
            TaskEnd::Confirmed,
            std::nullopt}},
          [](int64_t) { return true; }};
}

Protocol Dsp() {
  const std::string packet0 = "Packet 0/0 OK, sent 0Bytes";
  return {stbsim::SimMode::Dsp,
          "FW.DSP",
          std::vector<uint8_t>(100, 0xA5),
          {{"header and data block",
            0,
            kFirstEot,
            {{kWaiting, kContact, kDspEnd}, kProblemBox},
            TaskEnd::Early,
            std::nullopt},
           {"EOTs and closing block",
            kFirstEot,
            kDspSession,
            {{kWaiting, kContact, packet0, kDspEnd}, kProblemBox},
            TaskEnd::Early,
            std::nullopt},
           {"whole session",
            kDspSession,
            kDspSession + 1,
            {{kWaiting, kContact, packet0, kDspEnd}, std::nullopt},
            TaskEnd::Confirmed,
            std::nullopt}},
          [](int64_t k) {
            const bool inDataField = k > 133 + kDenseMargin && k < kFirstEot - kDenseMargin;
            return !inDataField || k % kSparseStep == 0;
          }};
}

stbsim::SimOptions QuickStb(stbsim::SimMode mode) {
  stbsim::SimOptions options;
  options.mode = mode;
  options.greetInterval = std::chrono::milliseconds(0);
  options.flashTime = std::chrono::milliseconds(5);
  options.restartTime = std::chrono::milliseconds(5);
  options.idleRestart = std::chrono::milliseconds(0);
  options.loop = false;
  return options;
}

class VanishAtEveryByte : public testing::TestWithParam<Protocol> {
 protected:
  TempDir folder_{"zarn_vanish"};
};

TEST_P(VanishAtEveryByte, EndsThroughThePhasesPortFailurePath) {
  const Protocol& protocol = GetParam();
  for (const PhaseRow& row : protocol.rows) {
    for (int64_t k = row.firstByte; k < row.endByte; ++k) {
      if (!protocol.worthRunning(k)) continue;
      SCOPED_TRACE(std::string(row.phase) + ", k = " + std::to_string(k));
      campaign::SessionPlan plan;
      plan.sim = QuickStb(protocol.mode);
      plan.sim.vanishAtByte = k;
      plan.fileName = protocol.fileName;
      plan.file = protocol.file;
      const campaign::SessionResult result =
          campaign::RunSession(plan, folder_.Path(), AmpleTime());
      EXPECT_FALSE(result.stopRequested);
      const Ending shown{result.log, result.boxes.empty()
                                         ? std::nullopt
                                         : std::optional<Box>(result.boxes.front())};
      if (!(row.whenTheWriteWins && shown == *row.whenTheWriteWins)) {
        EXPECT_EQ(shown, row.ending);
      }
      EXPECT_LE(result.boxes.size(), 1u);
      EXPECT_EQ(result.end, std::optional<TaskEnd>(row.end));
      EXPECT_EQ(result.stb.lineClosed, row.end != TaskEnd::Confirmed);
      if (testing::Test::HasFailure()) return;  // one k tells the story
    }
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Protocols, VanishAtEveryByte, testing::Values(Zarn(), Dsp()),
                         [](const testing::TestParamInfo<Protocol>& info) {
                           return info.param.mode == stbsim::SimMode::Zarn ? "Zarn" : "Dsp";
                         });
// clang-format on

// The STB vanishes in place of each of its answers.
struct AnswerRow {
  const char* label;
  stbsim::SimMode mode;
  stbsim::SimPhase phase;
  Strings log;
  std::optional<Box> box;
};

// A small session of `mode`'s protocol whose STB meets `fault` at its first
// answer of `phase`.
campaign::SessionPlan PlanWithFault(stbsim::SimMode mode, stbsim::SimPhase phase,
                                    stbsim::Fault fault) {
  const Protocol protocol = mode == stbsim::SimMode::Zarn ? Zarn() : Dsp();
  campaign::SessionPlan plan;
  plan.sim = QuickStb(mode);
  fault.phase = phase;
  fault.index = 0;
  plan.sim.faults = {fault};
  plan.fileName = protocol.fileName;
  plan.file = protocol.file;
  return plan;
}

class VanishInsteadOfAnAnswer : public testing::TestWithParam<AnswerRow> {
 protected:
  TempDir folder_{"zarn_vanish"};
};

TEST_P(VanishInsteadOfAnAnswer, EndsThroughThePhasesPortFailurePath) {
  const AnswerRow& row = GetParam();
  stbsim::Fault vanish;
  vanish.kind = stbsim::FaultKind::Vanish;
  const campaign::SessionPlan plan = PlanWithFault(row.mode, row.phase, vanish);
  const campaign::SessionResult result = campaign::RunSession(plan, folder_.Path(), AmpleTime());
  EXPECT_FALSE(result.stopRequested);
  EXPECT_EQ(result.log, row.log);
  EXPECT_EQ(result.boxes.empty() ? std::nullopt : std::optional<Box>(result.boxes.front()),
            row.box);
  EXPECT_EQ(result.end, std::optional<TaskEnd>(TaskEnd::Early));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Answers, VanishInsteadOfAnAnswer,
    testing::Values(
        // Before the file is open a failed port ends the task without a word.
        AnswerRow{"Greeting", stbsim::SimMode::Zarn, stbsim::SimPhase::Greeting, {kWaiting, kZarnEnd},
                  std::nullopt},
        AnswerRow{"RequestReply", stbsim::SimMode::Zarn, stbsim::SimPhase::RequestReply,
                  {kWaiting, kInit, kZarnEnd}, kInitBox},
        AnswerRow{"HeaderReply", stbsim::SimMode::Zarn, stbsim::SimPhase::HeaderReply,
                  {kWaiting, kInit, kZarnEnd}, kInitBox},
        AnswerRow{"FlashStart", stbsim::SimMode::Zarn, stbsim::SimPhase::FlashStart,
                  {kWaiting, kInit, zarn::PacketLine(0, true), kZarnEnd}, kTimeOutBox},
        AnswerRow{"FlashDone", stbsim::SimMode::Zarn, stbsim::SimPhase::FlashDone,
                  {kWaiting, kInit, zarn::PacketLine(0, true), "Writing to FLASH, please wait...",
                   kZarnEnd},
                  kTimeOutBox},
        AnswerRow{"ContactC", stbsim::SimMode::Dsp, stbsim::SimPhase::ContactC, {kWaiting, kDspEnd},
                  std::nullopt},
        AnswerRow{"DspHeaderReply", stbsim::SimMode::Dsp, stbsim::SimPhase::DspHeaderReply,
                  {kWaiting, kContact, kDspEnd}, kProblemBox},
        AnswerRow{"BlockReply", stbsim::SimMode::Dsp, stbsim::SimPhase::BlockReply,
                  {kWaiting, kContact, kDspEnd}, kProblemBox},
        AnswerRow{"EotReply", stbsim::SimMode::Dsp, stbsim::SimPhase::EotReply,
                  {kWaiting, kContact, "Packet 0/0 OK, sent 0Bytes", kDspEnd}, kProblemBox},
        AnswerRow{"ClosingReply", stbsim::SimMode::Dsp, stbsim::SimPhase::ClosingReply,
                  {kWaiting, kContact, "Packet 0/0 OK, sent 0Bytes", kDspEnd}, kProblemBox}),
    [](const testing::TestParamInfo<AnswerRow>& info) { return std::string(info.param.label); });
// clang-format on

// The adapter is pulled right after the STB's answer, so the tool is in one
// of its fixed pauses or about to start one when the line goes. The pauses
// run at their real length here: the task must end within kLineGoneToEnd of
// the line going, however long the pauses that would follow.
constexpr auto kLineGoneToEnd = std::chrono::milliseconds(300);
// Time for the answer to reach the tool's ring before the line goes.
constexpr auto kAnswerArrival = std::chrono::milliseconds(20);

struct HangUpRow {
  const char* label;
  stbsim::SimMode mode;
  stbsim::SimPhase phase;
};

class LineGoneAfterAnAnswer : public testing::TestWithParam<HangUpRow> {
 protected:
  TempDir folder_{"zarn_hangup"};
};

TEST_P(LineGoneAfterAnAnswer, EndsTheTaskWithoutSittingOutItsPauses) {
  const HangUpRow& row = GetParam();
  stbsim::Fault hangUp;
  hangUp.kind = stbsim::FaultKind::HangUpAfterAnswer;
  hangUp.delay = kAnswerArrival;
  const campaign::SessionPlan plan = PlanWithFault(row.mode, row.phase, hangUp);
  campaign::SessionBudget realPauses = AmpleTime();
  realPauses.clock.pauseScale = 1.0;

  const campaign::SessionResult result = campaign::RunSession(plan, folder_.Path(), realPauses);

  EXPECT_FALSE(result.stopRequested);
  EXPECT_FALSE(result.portClosedUnderTask);
  EXPECT_EQ(result.end, std::optional<TaskEnd>(TaskEnd::Early));
  const auto gone = std::find_if(
      result.stb.events.begin(), result.stb.events.end(),
      [](const stbsim::SimEvent& e) { return e.text.find("line closed") != std::string::npos; });
  ASSERT_NE(gone, result.stb.events.end()) << "the STB never hung up";
  ASSERT_TRUE(result.endedAt.has_value());
  const auto lineGoneToEnd =
      std::chrono::duration_cast<std::chrono::milliseconds>(*result.endedAt - gone->at);
  EXPECT_LE(lineGoneToEnd, kLineGoneToEnd) << "from the line gone to the task's end";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Answers, LineGoneAfterAnAnswer,
    testing::Values(
        HangUpRow{"Greeting",       stbsim::SimMode::Zarn, stbsim::SimPhase::Greeting},
        HangUpRow{"RequestReply",   stbsim::SimMode::Zarn, stbsim::SimPhase::RequestReply},
        HangUpRow{"HeaderReply",    stbsim::SimMode::Zarn, stbsim::SimPhase::HeaderReply},
        HangUpRow{"PacketReply",    stbsim::SimMode::Zarn, stbsim::SimPhase::PacketReply},
        HangUpRow{"FlashStart",     stbsim::SimMode::Zarn, stbsim::SimPhase::FlashStart},
        HangUpRow{"ContactC",       stbsim::SimMode::Dsp,  stbsim::SimPhase::ContactC},
        HangUpRow{"DspHeaderReply", stbsim::SimMode::Dsp,  stbsim::SimPhase::DspHeaderReply},
        HangUpRow{"BlockReply",     stbsim::SimMode::Dsp,  stbsim::SimPhase::BlockReply},
        HangUpRow{"EotReply",       stbsim::SimMode::Dsp,  stbsim::SimPhase::EotReply}),
    [](const testing::TestParamInfo<HangUpRow>& info) { return std::string(info.param.label); });
// clang-format on

}  // namespace
