// How a DSP upload ends when the STB refuses, cancels, falls silent or never
// acknowledges, phase by phase, and when the file cannot be sent at all.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dsp_upload_fixture.h"

namespace dsptest {
namespace {

using namespace std::chrono_literals;
using stbsim::Fault;
using stbsim::FaultKind;
using stbsim::SimPhase;

constexpr int kAny = -1;

const std::string kFailureBox = "Problem reading from file.";

struct FailureCase {
  const char* label;
  std::vector<Fault> faults;
  std::string lastLine;  // the task's last line before the termination line
  bool failureBox;       // "Problem reading from file." titled "File Error"
  bool finished;         // reached the protocol's finish
  int cans;              // CAN bytes the STB receives
  // Sends the STB sees; kAny: not checked. A header count of 0 means the STB
  // receives no byte at all.
  int headers = kAny;
  int dataBlocks = kAny;
  int eots = kAny;
  int closings = kAny;
  bool repeatContact = false;  // the STB repeats its first-contact call
};
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.label; }

// The file has three blocks; faults in the data phase hit the second.
constexpr size_t kFileSize = 2500;
const std::string kLastPacket = "Packet 2/2 OK, sent 2048Bytes";

class DspFailure : public DspUploadTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(DspFailure, EndsAsTheFailureTableSays) {
  const FailureCase& c = GetParam();
  stbsim::SimOptions options = DspOptions(c.faults);
  // An STB that keeps sending other bytes at first contact.
  if (c.repeatContact) options.cInterval = kRepeatInterval;
  StartStb(options);
  RunUpload(WriteFile("FAIL.DSP", Pattern(kFileSize)));

  const auto lines = TaskLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), c.lastLine);
  EXPECT_TRUE(EndsWithTerminationLine(host_.Log()));
  const auto boxes = host_.Boxes();
  if (c.failureBox) {
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kFailureBox);
    EXPECT_EQ(boxes[0].title, "File Error");
  } else {
    EXPECT_TRUE(boxes.empty());
  }
  EXPECT_EQ(host_.Ended(), std::optional<bool>(c.finished));
  EXPECT_FALSE(TheImageFile().IsOpen());

  if (c.headers == 0) {
    EXPECT_EQ(sim_->Snapshot().bytesReceived, 0);
    return;
  }
  // The STB notes a block just after it has answered it, and the three CANs
  // are queued just before the task ends: let the record catch up.
  auto reached = [](int count, int expected) { return expected == kAny || count >= expected; };
  EXPECT_TRUE(sim_->WaitFor(
      [&](const stbsim::SimRecord& r) {
        if (r.uploads.empty()) return false;
        const stbsim::UploadRecord& u = r.uploads.back();
        return u.canReceived >= c.cans &&
               reached(static_cast<int>(u.headerBlocks.size()), c.headers) &&
               reached(static_cast<int>(u.dataBlocks.size()), c.dataBlocks) &&
               reached(u.eotCount, c.eots) &&
               reached(static_cast<int>(u.closingBlocks.size()), c.closings);
      },
      kDeadline));
  const stbsim::UploadRecord got = Received();
  EXPECT_EQ(got.canReceived, c.cans);
  if (c.headers != kAny) {
    EXPECT_EQ(static_cast<int>(got.headerBlocks.size()), c.headers);
  }
  if (c.dataBlocks != kAny) {
    EXPECT_EQ(static_cast<int>(got.dataBlocks.size()), c.dataBlocks);
  }
  if (c.eots != kAny) {
    EXPECT_EQ(got.eotCount, c.eots);
  }
  if (c.closings != kAny) {
    EXPECT_EQ(static_cast<int>(got.closingBlocks.size()), c.closings);
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Table, DspFailure,
    ::testing::Values(
        // First contact: the task has sent nothing and sends nothing.
        FailureCase{"FirstContactSilent", {Always(SimPhase::ContactC, {})},
                    "Timeout!!!", false, false, 0, 0},
        FailureCase{"FirstContactOtherBytes", {Always(SimPhase::ContactC, {'x'})},
                    "Timeout 2 !!!", false, false, 0, 0, kAny, kAny, kAny, true},
        // Header block.
        FailureCase{"HeaderSilent", {Always(SimPhase::DspHeaderReply, {})},
                    "Timeout!!!", false, false, 0, 1, 0},
        FailureCase{"HeaderCan", {Once(SimPhase::DspHeaderReply, 0, {CAN})},
                    "Header transf. error!!!", false, false, 3, 1, 0},
        FailureCase{"HeaderSub", {Once(SimPhase::DspHeaderReply, 0, {SUB})},
                    "Transf. disabled!!!", false, false, 0, 1, 0},
        FailureCase{"HeaderLoneC", {Always(SimPhase::DspHeaderReply, {'C'})},
                    "Transf. time expired!!!", false, false, 0, 60, 0},
        FailureCase{"HeaderNak", {Always(SimPhase::DspHeaderReply, {NAK})},
                    "Transf. time expired!!!", false, false, 0, 60, 0},
        // Data blocks: nothing after the failing block, no EOT.
        FailureCase{"DataCan", {Once(SimPhase::BlockReply, 1, {CAN})},
                    "Trasf. error!!!", false, false, 3, 1, 2, 0, 0},
        FailureCase{"DataSub", {Once(SimPhase::BlockReply, 1, {SUB})},
                    "Trasf. disabled!!!", false, false, 0, 1, 2, 0, 0},
        FailureCase{"DataSixtyNaks", {Always(SimPhase::BlockReply, {NAK})},
                    "Trasf. time expired!!!", false, false, 0, 1, 60, 0, 0},
        FailureCase{"DataSilent", {Once(SimPhase::BlockReply, 0, {})},
                    "connection established!!!", true, false, 0, 1, 1, 0, 0},
        // End of transmission.
        FailureCase{"EotSilent", {Always(SimPhase::EotReply, {})},
                    "Timeout!!!", false, false, 0, 1, 3, 1, 0},
        // Closing block.
        FailureCase{"ClosingSilent", {Always(SimPhase::ClosingReply, {})},
                    "Timeout!!!", false, false, 0, 1, 3, 2, 1},
        // Found by the STB campaign: a stray byte that comes with the NAK to
        // an EOT must not draw one EOT more, whose ACK (here a little late)
        // would pass for the answer to the silent closing block.
        FailureCase{"ClosingSilentAfterAStrayByteWithTheEotNak",
                    {Once(SimPhase::EotReply, 0, {NAK, 'x'}),
                     Fault{SimPhase::EotReply, 2, FaultKind::Late, {}, 0x01, 5ms, 1},
                     Always(SimPhase::ClosingReply, {})},
                    "Timeout!!!", false, false, 0, 1, 3, 2, 1},
        FailureCase{"ClosingCan", {Once(SimPhase::ClosingReply, 0, {CAN})},
                    "Trasf. file hr error!!!", false, false, 3, 1, 3, 2, 1},
        FailureCase{"ClosingSub", {Once(SimPhase::ClosingReply, 0, {SUB})},
                    "Trasf. disabled!!!", false, false, 0, 1, 3, 2, 1},
        FailureCase{"ClosingNeverAcked", {Always(SimPhase::ClosingReply, {NAK})},
                    kLastPacket, false, true, 0, 1, 3, 2, 60}),
    [](const auto& info) { return std::string(info.param.label); });
// clang-format on

// Files the admission rule refuses: image_admission_test.cpp, for both kinds.

// A clock that runs `step` on the task's thread at the first look at the time
// after it is armed, then passes every call on to `clock`.
class SteppingInClock final : public TaskClock {
 public:
  SteppingInClock(TaskClock& clock, std::function<void()> step)
      : clock_(clock), step_(std::move(step)) {}

  // Any thread.
  void Arm() { armed_ = true; }

  int64_t WholeSeconds() override {
    if (armed_.exchange(false)) step_();
    return clock_.WholeSeconds();
  }
  void Pause(TApdCustomComPort& port, std::chrono::milliseconds length) override {
    clock_.Pause(port, length);
  }
  void WaitForInput(TApdCustomComPort& port, std::chrono::milliseconds slice) override {
    clock_.WaitForInput(port, slice);
  }

 private:
  TaskClock& clock_;
  std::function<void()> step_;
  std::atomic<bool> armed_{false};
};

// A file that shrinks between the header and the read must not go out with
// zeros standing in for its missing content. The file shrinks on the task's
// own thread, at its first look at the clock after first contact: the wait
// for the header's answer, once the file is open and its size taken.
TEST_F(DspUploadTest, FileThatShrinksAfterTheHeaderEndsWithTheFailureBox) {
  StartStb(DspOptions());
  const std::string path = WriteFile("SHRINK.DSP", Pattern(4096));
  clock_ = std::make_unique<LineAwareClock>(port_, clockOptions_, stallLimit_);
  clock_->SetPeerQuiet([sim = sim_.get()] { return sim->AwaitsTheTool(); });
  SteppingInClock clock(*clock_, [&] { std::filesystem::resize_file(path, 1000); });
  host_.onLog = [&](const std::string& line) {
    if (line == "connection established!!!") clock.Arm();
  };
  StartUpload(path, &clock);
  FinishUpload();

  EXPECT_EQ(std::filesystem::file_size(path), 1000u);
  EXPECT_EQ(Received().dspSize, 4096);
  EXPECT_TRUE(Received().dataBlocks.empty());
  const auto boxes = host_.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, kFailureBox);
  EXPECT_EQ(boxes[0].title, "File Error");
  EXPECT_EQ(host_.Ended(), std::optional<bool>(false));
}

}  // namespace
}  // namespace dsptest
