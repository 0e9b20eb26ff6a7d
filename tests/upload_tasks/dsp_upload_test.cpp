// Complete DSP uploads to the simulated STB: what arrives equals the file,
// every block is framed as the STB expects, and the log and progress bar say
// what happened.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Crc16.h"
#include "PortSetup.h"
#include "PtyPair.h"
#include "dsp_upload_fixture.h"

namespace dsptest {
namespace {

using namespace std::chrono_literals;
using stbsim::Fault;
using stbsim::FaultKind;
using stbsim::SimPhase;

std::vector<uint8_t> ClosingBlock() {
  std::vector<uint8_t> block(133, 0x00);
  block[0] = 0x01;
  block[2] = 0xFF;
  return block;
}

// The data field of a block as it came off the line.
std::vector<uint8_t> Field(const stbsim::DspBlock& block) {
  return {block.raw.begin() + 3, block.raw.begin() + 3 + 1024};
}

struct SizeCase {
  const char* label;
  size_t size;
};
void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.label; }

class DspCompleteUpload : public DspUploadTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(DspCompleteUpload, StbReceivesTheFileInFramedBlocks) {
  const size_t size = GetParam().size;
  const size_t blocks = (size + 1023) / 1024;
  const std::vector<uint8_t> original = Pattern(size);
  StartStb(DspOptions());
  RunUpload(WriteFile("IMAGE.DSP", original));

  ASSERT_TRUE(sim_->WaitUntilFinished(kDeadline));
  const stbsim::UploadRecord got = Received();
  EXPECT_EQ(got.dspName, "IMAGE.DSP");
  EXPECT_EQ(got.dspSize, static_cast<int64_t>(size));
  EXPECT_TRUE(got.dspFile == original);
  EXPECT_EQ(got.headerBlocks.size(), 1u);  // ACK then 'C': accepted at once
  EXPECT_EQ(got.eotCount, 2);              // NAK to the first, ACK to the second
  EXPECT_EQ(got.closingBlocks.size(), 1u);
  EXPECT_EQ(got.canReceived, 0);

  ASSERT_EQ(got.dataBlocks.size(), blocks);
  for (size_t i = 0; i < blocks; ++i) {
    const stbsim::DspBlock& block = got.dataBlocks[i];
    SCOPED_TRACE("block " + std::to_string(i));
    ASSERT_EQ(block.raw.size(), 1030u);
    EXPECT_TRUE(block.ok);
    EXPECT_EQ(block.raw[0], 0x02);
    EXPECT_EQ(block.raw[1], static_cast<uint8_t>(i + 1));
    EXPECT_EQ(block.raw[2], static_cast<uint8_t>(~(i + 1)));
    const uint16_t crc = Crc16(Field(block));
    EXPECT_EQ(block.raw[1027], crc >> 8);
    EXPECT_EQ(block.raw[1028], crc & 0xFF);
    EXPECT_EQ(block.raw[1029], 0x00);
  }

  std::vector<std::string> expectedLines = {"Waiting for STB...", "connection established!!!"};
  std::vector<std::string> expectedProgress = {"position 0", "min 0",
                                               "max " + std::to_string(size)};
  for (size_t i = 0; i < blocks; ++i) {
    const size_t offset = i * 1024;
    expectedLines.push_back(PacketLine(i, size / 1024, offset));
    expectedProgress.push_back("step " + std::to_string(std::min<size_t>(1024, size - offset)));
  }
  expectedLines.push_back("Download task terminated!!!");
  EXPECT_EQ(host_.Log(), expectedLines);
  EXPECT_EQ(host_.ProgressCalls(), expectedProgress);
  EXPECT_EQ(host_.ProgressPosition(), static_cast<int>(size));
  EXPECT_TRUE(host_.Boxes().empty());
  EXPECT_EQ(host_.Ended(), std::optional<bool>(true));
  EXPECT_FALSE(TheImageFile().IsOpen());
  // One 200 ms pause per block sent.
  EXPECT_EQ(clock_->Pauses(), std::vector<std::chrono::milliseconds>(blocks, 200ms));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Sizes, DspCompleteUpload,
    ::testing::Values(SizeCase{"Empty", 0}, SizeCase{"OneByte", 1}, SizeCase{"OneBlock", 1024},
                      SizeCase{"OneBlockAndAByte", 1025}, SizeCase{"TwoBlocks", 2048},
                      SizeCase{"PartialThird", 3000},
                      // 257 blocks: the 256th carries number 0x00 with complement
                      // 0xFF, the 257th number 0x01.
                      SizeCase{"BlockNumberWraps", 256 * 1024 + 1}),
    [](const auto& info) { return std::string(info.param.label); });
// clang-format on

TEST_F(DspUploadTest, EmptyFileSendsHeaderWithZeroSizeAndNoDataBlock) {
  StartStb(DspOptions());
  RunUpload(WriteFile("EMPTY.DSP", {}));
  ASSERT_TRUE(sim_->WaitUntilFinished(kDeadline));
  const auto header = Received().headerBlocks.at(0).raw;
  const std::string field(header.begin() + 3, header.begin() + 3 + 12);
  EXPECT_EQ(field, std::string("EMPTY.DSP\0"
                               "0\0",
                               12));
  EXPECT_TRUE(Received().dataBlocks.empty());
  EXPECT_EQ(host_.ProgressCalls(), (std::vector<std::string>{"position 0", "min 0", "max 0"}));
}

TEST_F(DspUploadTest, LastBlockIsPaddedAndItsCrcCoversThePadding) {
  const std::vector<uint8_t> original = Pattern(1025);
  StartStb(DspOptions());
  RunUpload(WriteFile("ODD.DSP", original));
  ASSERT_TRUE(sim_->WaitUntilFinished(kDeadline));
  const stbsim::DspBlock last = Received().dataBlocks.at(1);
  std::vector<uint8_t> expected(1024, 0x00);
  expected[0] = original[1024];
  EXPECT_EQ(Field(last), expected);
  const uint16_t crc = Crc16(expected);
  EXPECT_EQ(last.raw[1027], crc >> 8);
  EXPECT_EQ(last.raw[1028], crc & 0xFF);
  EXPECT_EQ(host_.ProgressPosition(), 1025);
}

TEST_F(DspUploadTest, HeaderCarriesNameWithoutDirectoryAndItsUtf8Bytes) {
  const std::string name =
      "pr\xC3\xBC"
      "fung-\xE6\x97\xA5.DSP";
  const std::vector<uint8_t> original = Pattern(100);
  StartStb(DspOptions());
  RunUpload(WriteFile(name, original));
  ASSERT_TRUE(sim_->WaitUntilFinished(kDeadline));
  EXPECT_EQ(Received().dspName, name);
  EXPECT_TRUE(Received().dspFile == original);
}

TEST_F(DspUploadTest, LongNameIsShortenedKeepingItsExtension) {
  const std::string name = std::string(200, 'n') + ".DSP";
  const std::vector<uint8_t> original = Pattern(5000);
  StartStb(DspOptions());
  RunUpload(WriteFile(name, original));
  ASSERT_TRUE(sim_->WaitUntilFinished(kDeadline));
  // 128 = name + 0x00 + "5000" + 0x00.
  EXPECT_EQ(Received().dspName, std::string(118, 'n') + ".DSP");
  EXPECT_EQ(Received().dspSize, 5000);
  EXPECT_TRUE(Received().dspFile == original);
  EXPECT_TRUE(Received().headerBlocks.at(0).ok);
}

TEST_F(DspUploadTest, NakTwiceThenAckResendsTheSameBlockAndLogsItOnce) {
  // Block 1 is refused twice; block 2 59 times: its count starts afresh.
  StartStb(DspOptions({Fault{SimPhase::BlockReply, 0, FaultKind::Replace, {NAK}, 0x01, 0ms, 2},
                       Fault{SimPhase::BlockReply, 1, FaultKind::Replace, {NAK}, 0x01, 0ms, 59}}));
  const std::vector<uint8_t> original = Pattern(2500);
  RunUpload(WriteFile("RETRY.DSP", original));
  ASSERT_TRUE(sim_->WaitUntilFinished(kDeadline));
  const auto blocks = Received().dataBlocks;
  ASSERT_EQ(blocks.size(), 3u + 60u + 1u);
  for (size_t i = 1; i < 3; ++i) EXPECT_EQ(blocks[i].raw, blocks[0].raw);
  for (size_t i = 4; i < 63; ++i) EXPECT_EQ(blocks[i].raw, blocks[3].raw);
  EXPECT_EQ(blocks[3].raw[1], 2);
  EXPECT_TRUE(Received().dspFile == original);
  EXPECT_EQ(TaskLines(), (std::vector<std::string>{
                             "Waiting for STB...", "connection established!!!", PacketLine(0, 2, 0),
                             PacketLine(1, 2, 1024), PacketLine(2, 2, 2048)}));
  EXPECT_EQ(host_.ProgressPosition(), 2500);
}

TEST_F(DspUploadTest, SixtyUnansweredEotsStillLeadToTheClosingBlock) {
  StartStb(DspOptions({Always(SimPhase::EotReply, {NAK})}));
  RunUpload(WriteFile("EOT.DSP", Pattern(10)));
  ASSERT_TRUE(sim_->WaitUntilFinished(kDeadline));
  EXPECT_EQ(Received().eotCount, 60);
  ASSERT_EQ(Received().closingBlocks.size(), 1u);
  EXPECT_EQ(Received().closingBlocks[0].raw, ClosingBlock());
  EXPECT_EQ(TaskLines().back(), PacketLine(0, 0, 0));
  EXPECT_TRUE(host_.Boxes().empty());
  EXPECT_EQ(host_.Ended(), std::optional<bool>(true));
}

TEST_F(DspUploadTest, SixtyUnansweredClosingBlocksStillFinish) {
  StartStb(DspOptions({Always(SimPhase::ClosingReply, {NAK})}));
  RunUpload(WriteFile("CLOSE.DSP", Pattern(10)));
  // The STB notes a block just after it has answered it.
  EXPECT_TRUE(sim_->WaitFor(
      [](const stbsim::SimRecord& r) { return r.uploads.back().closingBlocks.size() >= 60; },
      kDeadline));
  const auto closing = Received().closingBlocks;
  ASSERT_EQ(closing.size(), 60u);
  for (const auto& block : closing) EXPECT_EQ(block.raw, ClosingBlock());
  EXPECT_EQ(TaskLines().back(), PacketLine(0, 0, 0));
  EXPECT_TRUE(host_.Boxes().empty());
  EXPECT_EQ(host_.Ended(), std::optional<bool>(true));
}

// A receiver that follows its ACK with anything but 'C' has not accepted the
// header: the same header goes out again. Played by the test on a bare line.
TEST_F(DspUploadTest, AckFollowedByOtherThanCSendsTheHeaderAgain) {
  PtyPair line(PtyPair::SlaveEnd::HeldOpen);
  OpenPortOn(port_, line.SlavePath());
  stallLimit_ = 100ms;  // nobody answers the data block
  UpDspThread* task = StartUpload(WriteFile("AGAIN.DSP", Pattern(1500)));
  ASSERT_TRUE(host_.PumpUntil([&] { return !host_.Log().empty(); }, kDeadline));
  line.Send(std::vector<uint8_t>{'C'});
  const auto first = line.Receive(133, kDeadline);
  ASSERT_EQ(first.size(), 133u);
  EXPECT_EQ(first[0], 0x01);
  line.Send(std::vector<uint8_t>{ACK, NAK});
  EXPECT_EQ(line.Receive(133, kDeadline), first);
  line.Send(std::vector<uint8_t>{ACK, 'C'});
  const auto block = line.Receive(1030, kDeadline);
  ASSERT_EQ(block.size(), 1030u);
  EXPECT_EQ(block[0], 0x02);
  EXPECT_EQ(block[1], 0x01);
  Disconnect(task);
  FinishUpload();
  ASSERT_EQ(host_.Boxes().size(), 1u);
  EXPECT_EQ(host_.Boxes()[0].text, "Problem reading from file.");
}

// Bytes other than 'C' within the first three seconds are passed over.
TEST_F(DspUploadTest, OtherBytesBeforeTheCAreSkipped) {
  // The STB's first call is noise; its 'C' follows shortly after.
  stbsim::SimOptions options =
      DspOptions({Fault{SimPhase::ContactC, 0, FaultKind::Replace, {'x', NAK, 'y'}, 0x01, 0ms, 1}});
  options.cInterval = kRepeatInterval;
  StartStb(options);
  const std::vector<uint8_t> original = Pattern(700);
  RunUpload(WriteFile("NOISE.DSP", original));
  ASSERT_TRUE(sim_->WaitUntilFinished(kDeadline));
  EXPECT_TRUE(Received().dspFile == original);
  EXPECT_EQ(TaskLines(),
            (std::vector<std::string>{"Waiting for STB...", "connection established!!!",
                                      PacketLine(0, 0, 0)}));
}

// The real clock and real 200 ms pauses, end to end.
TEST_F(DspUploadTest, RealTimeUploadOfTwoBlocks) {
  const std::vector<uint8_t> original = Pattern(2048);
  StartStb(DspOptions());
  const auto started = std::chrono::steady_clock::now();
  RunUpload(WriteFile("REAL.DSP", original), &RealTaskClock());
  const auto took = std::chrono::steady_clock::now() - started;
  ASSERT_TRUE(sim_->WaitUntilFinished(kDeadline));
  EXPECT_TRUE(Received().dspFile == original);
  EXPECT_EQ(TaskLines(),
            (std::vector<std::string>{"Waiting for STB...", "connection established!!!",
                                      PacketLine(0, 2, 0), PacketLine(1, 2, 1024)}));
  EXPECT_GE(took, 400ms);  // two blocks, each with its fixed pause
}

}  // namespace
}  // namespace dsptest
