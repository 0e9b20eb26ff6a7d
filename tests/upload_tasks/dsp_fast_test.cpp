// The fast DSP transfer (acknowledgement-driven pacing) against the simulated
// STB: the same blocks as the default mode, each sent as soon as the last one
// is acknowledged; its replies to a block, its stop handling and its answer
// to noise; and how both pacings fare with a slow STB and with an STB that
// relies on the 200 ms pause.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "dsp_upload_fixture.h"

namespace dsptest {
namespace {

using namespace std::chrono_literals;
using stbsim::Fault;
using stbsim::FaultKind;
using stbsim::kForever;
using stbsim::SimPhase;

constexpr int kMaxSends = 60;
// Three blocks, the last one partial.
constexpr size_t kFileSize = 3000;

const std::vector<std::string> kFastStart = {"Waiting for STB...", "connection established!!!",
                                             "Fast transfer"};

// The line of block `index` of a file of `size` bytes.
std::string PacketLine(size_t index, size_t size) {
  return dsptest::PacketLine(index, size / 1024, index * 1024);
}

std::vector<std::string> Then(std::vector<std::string> lines,
                              const std::vector<std::string>& more) {
  lines.insert(lines.end(), more.begin(), more.end());
  return lines;
}

std::vector<int> BlockNumbers(const stbsim::UploadRecord& upload) {
  std::vector<int> numbers;
  for (const auto& block : upload.dataBlocks) numbers.push_back(block.number);
  return numbers;
}

class DspFast : public DspUploadTest {
 protected:
  DspFast() { pacing_ = DspPacing::AckDriven; }
};

struct FastSizeCase {
  const char* label;
  size_t size;
};
void PrintTo(const FastSizeCase& c, std::ostream* os) { *os << c.label; }

class DspFastSizes : public DspFast, public ::testing::WithParamInterface<FastSizeCase> {};

TEST_P(DspFastSizes, EveryBlockGoesOnceWithoutAPause) {
  const size_t size = GetParam().size;
  const size_t blocks = (size + 1023) / 1024;
  const std::vector<uint8_t> original = Pattern(size);
  StartStb(DspOptions());
  RunUpload(WriteFile("FAST.DSP", original));

  ASSERT_TRUE(sim_->WaitUntilFinished(kDeadline));
  const stbsim::UploadRecord got = Received();
  EXPECT_TRUE(got.dspFile == original);
  EXPECT_EQ(got.dspSize, static_cast<int64_t>(size));
  EXPECT_EQ(got.eotCount, 2);
  EXPECT_EQ(got.closingBlocks.size(), 1u);
  ASSERT_EQ(got.dataBlocks.size(), blocks);
  for (size_t i = 0; i < blocks; ++i) {
    EXPECT_TRUE(got.dataBlocks[i].ok) << "block " << i;
    EXPECT_EQ(got.dataBlocks[i].raw.size(), 1030u);
    EXPECT_EQ(got.dataBlocks[i].number, static_cast<uint8_t>(i + 1));
  }

  std::vector<std::string> lines = kFastStart;
  for (size_t i = 0; i < blocks; ++i) lines.push_back(PacketLine(i, size));
  lines.push_back("Download task terminated!!!");
  EXPECT_EQ(host_.Log(), lines);
  EXPECT_EQ(host_.ProgressPosition(), static_cast<int>(size));
  EXPECT_TRUE(host_.Boxes().empty());
  EXPECT_EQ(host_.Ended(), std::optional<bool>(true));
  EXPECT_FALSE(TheImageFile().IsOpen());
  EXPECT_TRUE(clock_->Pauses().empty());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Sizes, DspFastSizes,
                         ::testing::Values(FastSizeCase{"Empty", 0}, FastSizeCase{"OneByte", 1},
                                           FastSizeCase{"OneBlockAndAByte", 1025},
                                           FastSizeCase{"PartialThird", kFileSize},
                                           FastSizeCase{"BlockNumberWraps", 256 * 1024 + 1}),
                         [](const auto& info) { return std::string(info.param.label); });
// clang-format on

// The STB's answers to the second block (index 1) of three.
struct ReplyCase {
  const char* label;
  std::vector<Fault> faults;
  std::vector<int> blockNumbersSent;
  std::vector<std::string> linesAfterStart;  // the task's lines after kFastStart
  bool finished;
  int cansReceived = 0;
};
void PrintTo(const ReplyCase& c, std::ostream* os) { *os << c.label; }

Fault SecondBlock(std::vector<uint8_t> reply, int times = 1) {
  return Fault{SimPhase::BlockReply, 1, FaultKind::Replace, std::move(reply), 0x01, 0ms, times};
}

const std::vector<std::string> kAllPackets = {PacketLine(0, kFileSize), PacketLine(1, kFileSize),
                                              PacketLine(2, kFileSize)};

std::vector<int> SecondBlockSentTimes(int times) {
  std::vector<int> numbers = {1};
  numbers.insert(numbers.end(), times, 2);
  return numbers;
}

class DspFastReplies : public DspFast, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(DspFastReplies, EndAsInTheDefaultMode) {
  const ReplyCase& c = GetParam();
  StartStb(DspOptions(c.faults));
  const std::vector<uint8_t> original = Pattern(kFileSize);
  RunUpload(WriteFile("REPLY.DSP", original));

  EXPECT_EQ(TaskLines(), Then(kFastStart, c.linesAfterStart));
  EXPECT_TRUE(EndsWithTerminationLine(host_.Log()));
  EXPECT_TRUE(host_.Boxes().empty());
  EXPECT_FALSE(TheImageFile().IsOpen());
  EXPECT_EQ(host_.Ended(), std::optional<bool>(c.finished));
  // The three CANs are queued just before the task ends: let the record
  // catch up.
  EXPECT_TRUE(sim_->WaitFor(
      [&](const stbsim::SimRecord& r) {
        return !r.uploads.empty() && r.uploads.back().canReceived >= c.cansReceived &&
               (!c.finished || r.uploads.back().finished);
      },
      kDeadline));
  const stbsim::UploadRecord got = Received();
  EXPECT_EQ(BlockNumbers(got), c.blockNumbersSent);
  EXPECT_EQ(got.canReceived, c.cansReceived);
  if (c.finished) {
    EXPECT_TRUE(got.dspFile == original);
  } else {
    EXPECT_EQ(got.eotCount, 0);  // an ending sends nothing further
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Replies, DspFastReplies,
    ::testing::Values(
        ReplyCase{"NakTwiceThenAck", {SecondBlock({NAK}, 2)}, {1, 2, 2, 2, 3}, kAllPackets, true},
        // Any byte but ACK, CAN and SUB asks for the block again.
        ReplyCase{"OtherByteThenAck", {SecondBlock({'C'})}, {1, 2, 2, 3}, kAllPackets, true},
        ReplyCase{"NakEveryTime",
                  {SecondBlock({NAK}, kForever)},
                  SecondBlockSentTimes(kMaxSends),
                  {PacketLine(0, kFileSize), "Trasf. time expired!!!"},
                  false},
        ReplyCase{"Can", {SecondBlock({CAN})}, {1, 2}, {PacketLine(0, kFileSize), "Trasf. error!!!"},
                  false, 3},
        ReplyCase{"Sub", {SecondBlock({SUB})}, {1, 2}, {PacketLine(0, kFileSize), "Trasf. disabled!!!"},
                  false},
        // The 10-second wait runs out on the fake clock.
        ReplyCase{"Silent", {SecondBlock({})}, {1, 2}, {PacketLine(0, kFileSize), "Timeout!!!"}, false},
        // The first block's ACK comes twice. The second one must not pass
        // for the answer to the second block, which the STB refuses once.
        ReplyCase{"StrayAckAfterAnAck",
                  {Fault{SimPhase::BlockReply, 0, FaultKind::Replace, {ACK, ACK}, 0x01, 0ms, 1},
                   SecondBlock({NAK})},
                  {1, 2, 2, 3},
                  kAllPackets,
                  true}),
    [](const auto& info) { return std::string(info.param.label); });
// clang-format on

TEST_F(DspFast, SilentStbWaitsTheWholeTenSeconds) {
  StartStb(DspOptions({SecondBlock({})}));
  RunUpload(WriteFile("QUIET.DSP", Pattern(kFileSize)));
  ASSERT_EQ(TaskLines().back(), "Timeout!!!");
  // The wait began after the first block's ACK, at most a second of fake
  // time after the upload started, and gave up once past 10 whole seconds.
  const int64_t waited = clock_->Fake().NowMilliseconds() - clockOptions_.startMilliseconds;
  EXPECT_GE(waited, 10'000);
  EXPECT_LT(waited, 13'000);
}

// A stop asked for while a block's answer is awaited, and one asked for
// between two blocks (right after the first one's line): the failure box, and
// nothing further goes out.
TEST_F(DspFast, StopWhileAwaitingAReplyShowsTheFailureBox) {
  StartStb(DspOptions({SecondBlock({})}));
  clock_ = std::make_unique<LineAwareClock>(port_, clockOptions_, stallLimit_);
  clock_->Fake().Hold();  // no limit can pass before the stop
  UpDspThread* task = StartUpload(WriteFile("STOP.DSP", Pattern(kFileSize)));
  ASSERT_TRUE(sim_->WaitForEvent("data block 1 (number 2): silent", kDeadline));
  task->RequestStop();
  FinishUpload();

  EXPECT_EQ(TaskLines(), Then(kFastStart, {PacketLine(0, kFileSize)}));
  EXPECT_EQ(host_.Boxes(),
            std::vector<FakeTaskHost::Box>({{"Problem reading from file.", "File Error"}}));
  EXPECT_EQ(BlockNumbers(Received()), std::vector<int>({1, 2}));
  EXPECT_EQ(Received().eotCount, 0);
  EXPECT_FALSE(TheImageFile().IsOpen());
}

TEST_F(DspFast, StopBetweenBlocksShowsTheFailureBox) {
  StartStb(DspOptions());
  std::atomic<UpDspThread*> task{nullptr};
  host_.onLog = [&](const std::string& line) {
    // Runs on the task's thread after the first ACK was taken, before the
    // second block is queued.
    if (line == PacketLine(0, kFileSize)) task.load()->RequestStop();
  };
  host_.SetChosenPath(WriteFile("BETWEEN.DSP", Pattern(kFileSize)));
  clock_ = std::make_unique<LineAwareClock>(port_, clockOptions_, stallLimit_);
  clock_->SetPeerQuiet([sim = sim_.get()] { return sim->AwaitsTheTool(); });
  task = new UpDspThread(host_, *clock_, DspPacing::AckDriven);
  ASSERT_TRUE(host_.PumpUntil([&] { return !host_.Log().empty(); }, kDeadline));
  sim_->Start();
  FinishUpload();

  EXPECT_EQ(TaskLines(), Then(kFastStart, {PacketLine(0, kFileSize)}));
  EXPECT_EQ(host_.Boxes(),
            std::vector<FakeTaskHost::Box>({{"Problem reading from file.", "File Error"}}));
  EXPECT_EQ(BlockNumbers(Received()), std::vector<int>({1}));
  EXPECT_EQ(Received().eotCount, 0);
}

// Each pacing against two kinds of STB on the real clock's timing (the fake
// clock's waits and pauses take their full length of real time): one that
// answers every block a second late, and one that relies on the 200 ms
// pause to write each block away and loses a block that comes sooner.
struct StbKindCase {
  const char* label;
  DspPacing pacing;
  std::chrono::milliseconds replyDelay;
  stbsim::SimDspPacing stbPacing;
  std::chrono::milliseconds writeTime;
  std::vector<std::string> lines;  // the task's lines
  bool failureBox;
  std::vector<int> blockNumbersSent;
  int earlyBlocks;
};
void PrintTo(const StbKindCase& c, std::ostream* os) { *os << c.label; }

constexpr size_t kTwoBlocks = 2048;
const std::vector<std::string> kDefaultStart = {"Waiting for STB...", "connection established!!!"};

class DspStbKinds : public DspUploadTest, public ::testing::WithParamInterface<StbKindCase> {};

TEST_P(DspStbKinds, EndAsThePacingLetsThem) {
  const StbKindCase& c = GetParam();
  stbsim::SimOptions options = DspOptions();
  options.blockReplyDelay = c.replyDelay;
  options.dspPacing = c.stbPacing;
  options.pacedWriteTime = c.writeTime;
  StartStb(options);
  FakeTaskClock::Options realTiming;
  realTiming.realWaitPerSlice = 50ms;  // the task's wait slice
  realTiming.pauseScale = 1.0;
  FakeTaskClock clock(realTiming);
  pacing_ = c.pacing;
  RunUpload(WriteFile("KIND.DSP", Pattern(kTwoBlocks)), &clock);

  EXPECT_EQ(TaskLines(), c.lines);
  EXPECT_EQ(host_.Boxes().size(), c.failureBox ? 1u : 0u);
  if (c.failureBox) {
    EXPECT_EQ(host_.Boxes().front(),
              (FakeTaskHost::Box{"Problem reading from file.", "File Error"}));
  }
  const bool completes = !c.failureBox && c.lines.back() != "Trasf. time expired!!!";
  EXPECT_EQ(host_.Ended(), std::optional<bool>(completes));
  if (completes) {
    ASSERT_TRUE(sim_->WaitUntilFinished(kDeadline));
    EXPECT_TRUE(Received().dspFile == Pattern(kTwoBlocks));
  }
  EXPECT_EQ(BlockNumbers(Received()), c.blockNumbersSent);
  EXPECT_EQ(Received().earlyBlocks, c.earlyBlocks);
  EXPECT_FALSE(TheImageFile().IsOpen());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Kinds, DspStbKinds,
    ::testing::Values(
        StbKindCase{"SlowStbFast", DspPacing::AckDriven, 1000ms, stbsim::SimDspPacing::Fast, 0ms,
                    Then(kFastStart, {PacketLine(0, kTwoBlocks), PacketLine(1, kTwoBlocks)}), false,
                    {1, 2}, 0},
        // The reply is read once, 200 ms after the block went out; the ACK is
        // still a second away, so the read fails like any port failure.
        StbKindCase{"SlowStbDefault", DspPacing::PausePerBlock, 1000ms, stbsim::SimDspPacing::Fast,
                    0ms, kDefaultStart, true, {1}, 0},
        StbKindCase{"PacedStbDefault", DspPacing::PausePerBlock, 0ms, stbsim::SimDspPacing::Paced,
                    100ms, Then(kDefaultStart, {PacketLine(0, kTwoBlocks), PacketLine(1, kTwoBlocks)}),
                    false, {1, 2}, 0},
        // The paced STB is never done writing here: every send of the second
        // block comes too soon.
        StbKindCase{"PacedStbFast", DspPacing::AckDriven, 0ms, stbsim::SimDspPacing::Paced, 1h,
                    Then(kFastStart, {PacketLine(0, kTwoBlocks), "Trasf. time expired!!!"}), false,
                    SecondBlockSentTimes(kMaxSends), kMaxSends}),
    [](const auto& info) { return std::string(info.param.label); });
// clang-format on

}  // namespace
}  // namespace dsptest
