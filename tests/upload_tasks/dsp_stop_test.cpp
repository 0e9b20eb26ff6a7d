// Stop requests and Disconnect in each phase of a DSP upload: before the
// header the task ends without a word; from the header on with the failure
// box. The waits without a limit hold the task until one of them comes.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "dsp_upload_fixture.h"

namespace dsptest {
namespace {

using namespace std::chrono_literals;
using stbsim::Fault;
using stbsim::FaultKind;
using stbsim::kAnyIndex;
using stbsim::kForever;
using stbsim::SimPhase;
using stbsim::SimRecord;

constexpr size_t kFileSize = 5 * 1024;
// Fake time that must pass in a wait without a limit before the test is
// satisfied that nothing ends it but a stop: well past the 10-second limit.
constexpr int kBeyondEveryLimitSeconds = 15;

enum class Action { Stop, Disconnect };

struct StopCase {
  std::string label;
  std::vector<Fault> faults;
  bool holdClock;  // fake time stands still until the test has stepped in
  // The phase has been reached (checked against the STB's record).
  std::function<bool(const SimRecord&)> reached;
  bool waitsWithoutLimit;  // fake time runs far past every limit first
  Action action;
  bool failureBox;
};
void PrintTo(const StopCase& c, std::ostream* os) { *os << c.label; }

bool HeaderSent(const SimRecord& r) {
  return !r.uploads.empty() && !r.uploads.back().headerBlocks.empty();
}
bool EotSent(const SimRecord& r) { return !r.uploads.empty() && r.uploads.back().eotCount > 0; }
bool ClosingSent(const SimRecord& r) {
  return !r.uploads.empty() && !r.uploads.back().closingBlocks.empty();
}
bool OtherByteSent(const SimRecord& r) { return r.contactCs > 0; }
bool Started(const SimRecord& r) { return r.running; }

class DspStop : public DspUploadTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(DspStop, EndsTheTaskAsItsPhaseSays) {
  const StopCase& c = GetParam();
  stbsim::SimOptions options = DspOptions(c.faults);
  StartStb(options);
  clock_ = std::make_unique<LineAwareClock>(port_, clockOptions_, stallLimit_);
  if (c.holdClock) clock_->Fake().Hold();
  UpDspThread* task = StartUpload(WriteFile("STOP.DSP", Pattern(kFileSize)));
  ASSERT_TRUE(sim_->WaitFor(c.reached, kDeadline));
  if (c.waitsWithoutLimit) {
    // The test moves the held clock on a second at a time, and lets the task
    // look at each second before the next.
    clock_->Fake().Hold();
    for (int second = 0; second < kBeyondEveryLimitSeconds; ++second) {
      clock_->Fake().Advance(1s);
      const int64_t slices = clock_->Fake().WaitSlices();
      ASSERT_TRUE(host_.PumpUntil(
          [&] { return clock_->Fake().WaitSlices() >= slices + 2 || !TaskRunning.load(); },
          kDeadline));
    }
  }
  ASSERT_TRUE(TaskRunning.load()) << "the task ended before the test stepped in";
  const auto linesBefore = host_.Log();

  if (c.action == Action::Stop) {
    task->RequestStop();
  } else {
    Disconnect(task);
  }
  clock_->Fake().Release();
  FinishUpload();

  // The task adds no line of its own after the stop.
  auto expected = linesBefore;
  expected.push_back("Download task terminated!!!");
  EXPECT_EQ(host_.Log(), expected);
  const auto boxes = host_.Boxes();
  if (c.failureBox) {
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Problem reading from file.");
    EXPECT_EQ(boxes[0].title, "File Error");
  } else {
    EXPECT_TRUE(boxes.empty());
  }
  EXPECT_EQ(host_.Ended(), std::optional<bool>(false));
  EXPECT_FALSE(TheImageFile().IsOpen());
}

std::vector<StopCase> Cases() {
  const std::vector<Fault> silentContact = {Always(SimPhase::ContactC, {})};
  // One byte other than 'C', then silence: the 3-second rule never gets to run.
  const std::vector<Fault> otherByteThenSilence = {
      Fault{SimPhase::ContactC, 0, FaultKind::Replace, {'x'}, 0x01, 0ms, 1}};
  const std::vector<Fault> silentHeader = {Always(SimPhase::DspHeaderReply, {})};
  const std::vector<Fault> ackWithoutC = {Always(SimPhase::DspHeaderReply, {ACK})};
  const std::vector<Fault> silentEot = {Always(SimPhase::EotReply, {})};
  const std::vector<Fault> silentClosing = {Always(SimPhase::ClosingReply, {})};

  std::vector<StopCase> cases;
  for (Action action : {Action::Stop, Action::Disconnect}) {
    const bool stop = action == Action::Stop;
    auto name = [&](const char* phase) {
      return phase + std::string(stop ? "Stop" : "Disconnect");
    };
    cases.push_back({name("FirstContact"), silentContact, true, Started, false, action, false});
    cases.push_back(
        {name("AfterOtherByte"), otherByteThenSilence, false, OtherByteSent, true, action, false});
    cases.push_back({name("HeaderReply"), silentHeader, true, HeaderSent, false, action, true});
    cases.push_back({name("AfterHeaderAck"), ackWithoutC, false, HeaderSent, true, action, true});
    cases.push_back({name("EotReply"), silentEot, true, EotSent, false, action, true});
    cases.push_back({name("ClosingReply"), silentClosing, true, ClosingSent, false, action, true});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Phases, DspStop, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.label; });

// The data blocks look at no stop request: the blocks all go out, and the
// stop ends the task at the first wait after them.
TEST_F(DspUploadTest, StopDuringDataBlocksTakesEffectAfterThem) {
  StartStb(DspOptions());
  // Set by the main thread once the task exists; the first packet line comes
  // only after a block's round trip.
  std::atomic<UpDspThread*> task{nullptr};
  host_.onLog = [&](const std::string& line) {
    if (line == "Packet 0/5 OK, sent 0Bytes") task.load()->RequestStop();
  };
  task = StartUpload(WriteFile("DATA.DSP", Pattern(kFileSize)));
  FinishUpload();

  // The STB notes a block just after it has answered it.
  EXPECT_TRUE(sim_->WaitFor(
      [](const SimRecord& r) {
        return !r.uploads.empty() && r.uploads.back().dataBlocks.size() >= 5;
      },
      kDeadline));
  EXPECT_EQ(Received().dataBlocks.size(), 5u);
  const auto lines = TaskLines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.rfind("Packet ", 0) == 0; }),
            5);
  ASSERT_EQ(host_.Boxes().size(), 1u);
  EXPECT_EQ(host_.Boxes()[0].text, "Problem reading from file.");
  EXPECT_EQ(host_.Ended(), std::optional<bool>(false));
}

// Disconnect closes the port under the data blocks: the next port operation
// fails and the task ends with the failure box, no further block sent.
TEST_F(DspUploadTest, DisconnectDuringDataBlocksEndsWithTheFailureBox) {
  // Slow answers leave the test time to step in between two blocks.
  StartStb(DspOptions(
      {Fault{SimPhase::BlockReply, kAnyIndex, FaultKind::Late, {}, 0x01, 100ms, kForever}}));
  UpDspThread* task = StartUpload(WriteFile("DATA.DSP", Pattern(kFileSize)));
  ASSERT_TRUE(host_.PumpUntil(
      [&] {
        const auto log = host_.Log();
        return std::find(log.begin(), log.end(), "Packet 1/5 OK, sent 1024Bytes") != log.end();
      },
      kDeadline));
  Disconnect(task);
  FinishUpload();

  ASSERT_EQ(host_.Boxes().size(), 1u);
  EXPECT_EQ(host_.Boxes()[0].text, "Problem reading from file.");
  EXPECT_EQ(host_.Boxes()[0].title, "File Error");
  EXPECT_LT(TaskLines().size(), 2u + 5u);
  EXPECT_EQ(sim_->Snapshot().uploads.back().eotCount, 0);
  EXPECT_EQ(host_.Ended(), std::optional<bool>(false));
}

}  // namespace
}  // namespace dsptest
