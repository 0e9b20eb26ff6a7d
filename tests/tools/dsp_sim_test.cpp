// The simulated STB's DSP side, driven block by block by a scripted tool.
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "SimFixture.h"

using namespace std::chrono_literals;
using stbsim::Fault;
using stbsim::FaultKind;
using stbsim::SimMode;
using stbsim::SimOptions;
using stbsim::SimPhase;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr uint8_t kEot = 0x04, kAck = 0x06, kNak = 0x15, kCan = 0x18, kSub = 0x1A;
const Bytes kAckC = {kAck, 'C'};

class DspSimTest : public SimFixture {
 protected:
  static SimOptions Quick() { return QuickOptions(SimMode::Dsp); }

  Bytes Exchange(const Bytes& bytes, size_t answerLength = 1) {
    tool->Send(bytes);
    return tool->Receive(answerLength, kMustCome);
  }

  // First contact and an accepted header.
  void OpenTransfer(const std::string& name, int64_t size) {
    ASSERT_EQ(tool->Receive(1, kMustCome), Bytes{'C'});
    ASSERT_EQ(Exchange(DspHeaderBlock(name, size), 2), kAckC);
  }

  // The data blocks of `file`, each answered with ACK.
  void SendFile(const Bytes& file) {
    uint8_t number = 1;
    for (size_t offset = 0; offset < file.size(); offset += 1024, ++number) {
      const Bytes part(file.begin() + offset, file.begin() + std::min(file.size(), offset + 1024));
      ASSERT_EQ(Exchange(DspDataBlock(number, part)), Bytes{kAck}) << "block at " << offset;
    }
  }

  void CloseTransfer() {
    ASSERT_EQ(Exchange({kEot}), Bytes{kNak});
    ASSERT_EQ(Exchange({kEot}), Bytes{kAck});
    ASSERT_EQ(Exchange(DspClosingBlock()), Bytes{kAck});
  }
};

class DspFileSizeTest : public DspSimTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(DspFileSizeTest, WholeTransferKeepsTheFileTrimmedToItsSize) {
  StartSim(Quick());
  const Bytes file = Pattern(GetParam(), 3);
  OpenTransfer("IMAGE.DSP", static_cast<int64_t>(file.size()));
  SendFile(file);
  CloseTransfer();
  ASSERT_TRUE(sim->WaitUntilFinished(kMustCome));
  const stbsim::UploadRecord upload = sim->LastUpload();
  EXPECT_EQ(upload.mode, SimMode::Dsp);
  EXPECT_EQ(upload.dspName, "IMAGE.DSP");
  EXPECT_EQ(upload.dspSize, static_cast<int64_t>(file.size()));
  EXPECT_EQ(upload.dspFile, file);
  EXPECT_EQ(upload.Image(), file);
  EXPECT_EQ(upload.eotCount, 2);
  EXPECT_EQ(upload.headerBlocks.size(), 1u);
  ASSERT_EQ(upload.dataBlocks.size(), (file.size() + 1023) / 1024);
  for (size_t i = 0; i < upload.dataBlocks.size(); ++i) {
    EXPECT_EQ(upload.dataBlocks[i].raw.size(), 1030u);
    EXPECT_EQ(upload.dataBlocks[i].number, static_cast<uint8_t>(i + 1));
    EXPECT_TRUE(upload.dataBlocks[i].ok && upload.dataBlocks[i].accepted);
  }
  ASSERT_EQ(upload.closingBlocks.size(), 1u);
  EXPECT_TRUE(upload.closingBlocks[0].accepted);
  // The STB restarts and asks again.
  EXPECT_EQ(tool->Receive(1, kMustCome), Bytes{'C'});
}

// Empty, one byte, one byte past a block, two whole blocks, and block numbers
// that wrap past 0xFF.
INSTANTIATE_TEST_SUITE_P(Sizes, DspFileSizeTest,
                         ::testing::Values(0, 1, 1025, 2048, 256 * 1024 + 100));

struct BadBlockCase {
  const char* name;
  size_t offset;  // byte of the good block 1 that is changed
  uint8_t value;
};

void PrintTo(const BadBlockCase& c, std::ostream* os) { *os << c.name; }

class DspBadBlockTest : public DspSimTest, public ::testing::WithParamInterface<BadBlockCase> {};

TEST_P(DspBadBlockTest, BrokenBlockIsRefusedAndTheGoodOneTaken) {
  StartSim(Quick());
  const Bytes file = Pattern(1500);
  OpenTransfer("A.DSP", 1500);
  const Bytes first(file.begin(), file.begin() + 1024);
  Bytes broken = DspDataBlock(1, first);
  broken[GetParam().offset] = GetParam().value;
  EXPECT_EQ(Exchange(broken), Bytes{kNak});
  SendFile(file);
  CloseTransfer();
  ASSERT_TRUE(sim->WaitUntilFinished(kMustCome));
  const auto upload = sim->LastUpload();
  EXPECT_EQ(upload.dspFile, file);
  ASSERT_EQ(upload.dataBlocks.size(), 3u);
  EXPECT_FALSE(upload.dataBlocks[0].accepted);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Fields, DspBadBlockTest,
                         ::testing::Values(BadBlockCase{"WrongNumber", 1, 2},
                                           BadBlockCase{"WrongComplement", 2, 0x00},
                                           BadBlockCase{"DataChanged", 500, 0xEE},
                                           BadBlockCase{"CrcChanged", 1028, 0x00},
                                           BadBlockCase{"NoTrailingZero", 1029, 0x55}),
                         [](const ::testing::TestParamInfo<BadBlockCase>& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(DspSimTest, BrokenHeaderIsRefusedThenTheGoodOneTaken) {
  StartSim(Quick());
  ASSERT_EQ(tool->Receive(1, kMustCome), Bytes{'C'});
  Bytes broken = DspHeaderBlock("B.DSP", 10);
  broken[10] ^= 0x01;
  EXPECT_EQ(Exchange(broken), Bytes{kNak});
  EXPECT_EQ(Exchange(DspHeaderBlock("B.DSP", 10), 2), kAckC);
  EXPECT_EQ(sim->LastUpload().dspName, "B.DSP");
  EXPECT_EQ(sim->LastUpload().dspSize, 10);
}

TEST_F(DspSimTest, RepeatedHeaderInTheDataPhaseIsNotAnswered) {
  StartSim(Quick());
  OpenTransfer("R.DSP", 10);
  tool->Send(DspHeaderBlock("R.DSP", 10));
  ASSERT_TRUE(sim->WaitForEvent("header block repeated", kMustCome));
  EXPECT_EQ(Exchange(DspDataBlock(1, Pattern(10))), Bytes{kAck})
      << "the next answer is the block's";
  CloseTransfer();
  EXPECT_EQ(sim->LastUpload().dspFile, Pattern(10));
}

TEST_F(DspSimTest, RepeatedLastBlockIsAcknowledgedButKeptOnce) {
  StartSim(Quick());
  const Bytes file = Pattern(2048);
  OpenTransfer("D.DSP", 2048);
  const Bytes block1 = DspDataBlock(1, Bytes(file.begin(), file.begin() + 1024));
  EXPECT_EQ(Exchange(block1), Bytes{kAck});
  EXPECT_EQ(Exchange(block1), Bytes{kAck});
  EXPECT_EQ(Exchange(DspDataBlock(2, Bytes(file.begin() + 1024, file.end()))), Bytes{kAck});
  CloseTransfer();
  EXPECT_EQ(sim->LastUpload().dspFile, file);
}

TEST_F(DspSimTest, AsksWithCUntilTheToolSends) {
  SimOptions options = Quick();
  options.cInterval = 20ms;
  StartSim(options);
  EXPECT_EQ(tool->Receive(3, kMustCome), Bytes({'C', 'C', 'C'}));
  EXPECT_GE(sim->Snapshot().contactCs, 3);
}

TEST_F(DspSimTest, NoiseBeforeTheFirstC) {
  SimOptions options = Quick();
  options.cInterval = 10ms;
  options.faults.push_back(
      {SimPhase::ContactC, stbsim::kAnyIndex, FaultKind::Replace, {'x'}, 0, {}, 4});
  StartSim(options);
  EXPECT_EQ(tool->Receive(5, kMustCome), Bytes({'x', 'x', 'x', 'x', 'C'}));
}

TEST_F(DspSimTest, NaksABlockTheGivenTimesThenAcks) {
  SimOptions options = Quick();
  options.faults.push_back({SimPhase::BlockReply, 1, FaultKind::Replace, {kNak}, 0, {}, 2});
  StartSim(options);
  const Bytes file = Pattern(3000);
  OpenTransfer("N.DSP", 3000);
  const auto block = [&](uint8_t number) {
    const size_t offset = (number - 1) * size_t{1024};
    return DspDataBlock(
        number, Bytes(file.begin() + offset, file.begin() + std::min(file.size(), offset + 1024)));
  };
  EXPECT_EQ(Exchange(block(1)), Bytes{kAck});
  EXPECT_EQ(Exchange(block(2)), Bytes{kNak});
  EXPECT_EQ(Exchange(block(2)), Bytes{kNak});
  EXPECT_EQ(Exchange(block(2)), Bytes{kAck});
  EXPECT_EQ(Exchange(block(3)), Bytes{kAck});
  CloseTransfer();
  const auto upload = sim->LastUpload();
  EXPECT_EQ(upload.dspFile, file);
  ASSERT_EQ(upload.dataBlocks.size(), 5u);
  EXPECT_TRUE(upload.dataBlocks[1].ok);
  EXPECT_FALSE(upload.dataBlocks[1].accepted);
}

TEST_F(DspSimTest, LoneCToTheHeaderTheGivenTimes) {
  SimOptions options = Quick();
  options.faults.push_back(
      {SimPhase::DspHeaderReply, stbsim::kAnyIndex, FaultKind::Replace, {'C'}, 0, {}, 3});
  StartSim(options);
  ASSERT_EQ(tool->Receive(1, kMustCome), Bytes{'C'});
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Exchange(DspHeaderBlock("L.DSP", 5)), Bytes{'C'}) << i;
  EXPECT_EQ(Exchange(DspHeaderBlock("L.DSP", 5), 2), kAckC);
  EXPECT_EQ(sim->LastUpload().headerBlocks.size(), 4u);
}

TEST_F(DspSimTest, SilentAfterTheHeadersAck) {
  SimOptions options = Quick();
  options.faults.push_back(
      {SimPhase::DspHeaderReply, stbsim::kAnyIndex, FaultKind::Replace, {kAck}, 0, {}, 1});
  StartSim(options);
  ASSERT_EQ(tool->Receive(1, kMustCome), Bytes{'C'});
  EXPECT_EQ(Exchange(DspHeaderBlock("S.DSP", 5)), Bytes{kAck});
  // The header counts as accepted: the data phase follows, and no 'C' came
  // before the block's answer.
  EXPECT_EQ(Exchange(DspDataBlock(1, Pattern(5))), Bytes{kAck});
}

TEST_F(DspSimTest, SilentAfterABlock) {
  SimOptions options = Quick();
  options.faults.push_back({SimPhase::BlockReply, 0, FaultKind::Replace, {}, 0, {}, 1});
  StartSim(options);
  OpenTransfer("Q.DSP", 5);
  tool->Send(DspDataBlock(1, Pattern(5)));
  ASSERT_TRUE(sim->WaitForEvent("data block 0 (number 1): silent", kMustCome));
  // Not acknowledged, so not kept: the block is taken when it comes again.
  EXPECT_EQ(Exchange(DspDataBlock(1, Pattern(5))), Bytes{kAck});
  CloseTransfer();
  EXPECT_EQ(sim->LastUpload().dspFile, Pattern(5));
}

// A slow STB: the answer to a block comes no sooner than the reply delay.
TEST_F(DspSimTest, SlowStbAnswersEachBlockAfterItsDelay) {
  SimOptions options = Quick();
  options.blockReplyDelay = 150ms;
  StartSim(options);
  const Bytes file = Pattern(2048);
  OpenTransfer("W.DSP", 2048);
  for (uint8_t number = 1; number <= 2; ++number) {
    const auto sent = std::chrono::steady_clock::now();
    const size_t offset = (number - 1) * size_t{1024};
    EXPECT_EQ(
        Exchange(DspDataBlock(number, Bytes(file.begin() + offset, file.begin() + offset + 1024))),
        Bytes{kAck});
    EXPECT_GE(std::chrono::steady_clock::now() - sent, 150ms) << "block " << int{number};
  }
  CloseTransfer();
  EXPECT_EQ(sim->LastUpload().dspFile, file);
}

// A paced STB writes an accepted block away before it can take the next: a
// block right behind the ACK is lost (NAK), one after the write time taken.
TEST_F(DspSimTest, PacedStbLosesABlockThatComesWhileItWrites) {
  SimOptions options = Quick();
  options.dspPacing = stbsim::SimDspPacing::Paced;
  options.pacedWriteTime = 300ms;
  StartSim(options);
  const Bytes file = Pattern(2048);
  OpenTransfer("P.DSP", 2048);
  const Bytes block1 = DspDataBlock(1, Bytes(file.begin(), file.begin() + 1024));
  const Bytes block2 = DspDataBlock(2, Bytes(file.begin() + 1024, file.end()));
  ASSERT_EQ(Exchange(block1), Bytes{kAck});
  const auto acknowledged = std::chrono::steady_clock::now();
  EXPECT_EQ(Exchange(block2), Bytes{kNak});
  ASSERT_LT(std::chrono::steady_clock::now() - acknowledged, 300ms)
      << "the machine was too slow to tell";
  // The pause a paced STB relies on, until the moment the STB itself names.
  ASSERT_TRUE(sim->WaitFor(
      [](const stbsim::SimRecord& r) {
        return !r.uploads.empty() &&
               r.uploads.back().writtenAwayAt != std::chrono::steady_clock::time_point{};
      },
      kMustCome));
  std::this_thread::sleep_until(sim->LastUpload().writtenAwayAt);
  EXPECT_EQ(Exchange(block2), Bytes{kAck});
  CloseTransfer();
  const auto upload = sim->LastUpload();
  EXPECT_EQ(upload.dspFile, file);
  EXPECT_EQ(upload.earlyBlocks, 1);
  ASSERT_EQ(upload.dataBlocks.size(), 3u);
  EXPECT_FALSE(upload.dataBlocks[1].accepted);
}

struct EndingCase {
  const char* name;
  SimPhase phase;
  uint8_t byte;
};

void PrintTo(const EndingCase& c, std::ostream* os) { *os << c.name; }

class DspEndingTest : public DspSimTest, public ::testing::WithParamInterface<EndingCase> {};

// CAN or SUB in any phase ends the transfer; the STB counts the tool's CANs
// and asks again once the line is quiet.
TEST_P(DspEndingTest, CanOrSubEndsTheTransfer) {
  SimOptions options = Quick();
  options.faults.push_back(
      {GetParam().phase, stbsim::kAnyIndex, FaultKind::Replace, {GetParam().byte}, 0, {}, 1});
  StartSim(options);
  ASSERT_EQ(tool->Receive(1, kMustCome), Bytes{'C'});
  const Bytes ending{GetParam().byte};
  Bytes heard =
      Exchange(DspHeaderBlock("E.DSP", 5), GetParam().phase == SimPhase::DspHeaderReply ? 1 : 2);
  if (GetParam().phase != SimPhase::DspHeaderReply) {
    ASSERT_EQ(heard, kAckC);
    heard = Exchange(DspDataBlock(1, Pattern(5)));
    if (GetParam().phase != SimPhase::BlockReply) {
      ASSERT_EQ(heard, Bytes{kAck});
      heard = Exchange({kEot});
      if (GetParam().phase != SimPhase::EotReply) {
        ASSERT_EQ(heard, Bytes{kNak});
        ASSERT_EQ(Exchange({kEot}), Bytes{kAck});
        heard = Exchange(DspClosingBlock());
      }
    }
  }
  EXPECT_EQ(heard, ending);
  tool->Send({kCan, kCan, kCan});
  EXPECT_TRUE(sim->WaitFor(
      [](const stbsim::SimRecord& record) {
        return !record.uploads.empty() && record.uploads.back().canReceived == 3;
      },
      kMustCome));
  EXPECT_FALSE(sim->LastUpload().finished);
  EXPECT_EQ(tool->Receive(1, kMustCome), Bytes{'C'}) << "asks again after the quiet";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Phases, DspEndingTest,
                         ::testing::Values(EndingCase{"CanAtHeader", SimPhase::DspHeaderReply, kCan},
                                           EndingCase{"SubAtHeader", SimPhase::DspHeaderReply, kSub},
                                           EndingCase{"CanAtBlock", SimPhase::BlockReply, kCan},
                                           EndingCase{"SubAtBlock", SimPhase::BlockReply, kSub},
                                           EndingCase{"CanAtEot", SimPhase::EotReply, kCan},
                                           EndingCase{"SubAtClosing", SimPhase::ClosingReply, kSub}),
                         [](const ::testing::TestParamInfo<EndingCase>& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(DspSimTest, ClosingBlockAfterUnansweredEotsEndsTheTransfer) {
  SimOptions options = Quick();
  options.faults.push_back(
      {SimPhase::EotReply, stbsim::kAnyIndex, FaultKind::Replace, {kNak}, 0, {}, stbsim::kForever});
  StartSim(options);
  OpenTransfer("T.DSP", 5);
  SendFile(Pattern(5));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Exchange({kEot}), Bytes{kNak}) << i;
  EXPECT_EQ(Exchange(DspClosingBlock()), Bytes{kAck});
  ASSERT_TRUE(sim->WaitUntilFinished(kMustCome));
  EXPECT_EQ(sim->UploadCount(), 1);
  EXPECT_EQ(sim->LastUpload().eotCount, 3);
  EXPECT_EQ(sim->LastUpload().dspFile, Pattern(5));
}

TEST_F(DspSimTest, DifferentHeaderInTheDataPhaseStartsOver) {
  StartSim(Quick());
  OpenTransfer("FIRST.DSP", 3000);
  EXPECT_EQ(Exchange(DspDataBlock(1, Pattern(1024))), Bytes{kAck});
  EXPECT_EQ(Exchange(DspHeaderBlock("SECOND.DSP", 7), 2), kAckC);
  EXPECT_EQ(Exchange(DspDataBlock(1, Pattern(7, 5))), Bytes{kAck});
  CloseTransfer();
  EXPECT_EQ(sim->UploadCount(), 2);
  EXPECT_EQ(sim->LastUpload().dspName, "SECOND.DSP");
  EXPECT_EQ(sim->LastUpload().dspFile, Pattern(7, 5));
}

TEST_F(DspSimTest, VanishesInTheMiddleOfABlock) {
  SimOptions options = Quick();
  options.vanishAfterBytes = 133 + 500;
  StartSim(options);
  OpenTransfer("V.DSP", 2000);
  tool->Send(DspDataBlock(1, Pattern(1024)));
  EXPECT_TRUE(tool->HungUp(kMustCome));
  EXPECT_TRUE(sim->WaitUntilStopped(kMustCome));
  EXPECT_TRUE(sim->LastUpload().dataBlocks.empty());
}

TEST_F(DspSimTest, ComesBackInZarnMode) {
  SimOptions options = Quick();
  options.comeBackIn = SimMode::Zarn;
  StartSim(options);
  OpenTransfer("Z.DSP", 0);
  CloseTransfer();
  EXPECT_EQ(tool->Receive(3, kMustCome), Bytes({'K', 'G', 'S'}));
}

}  // namespace
