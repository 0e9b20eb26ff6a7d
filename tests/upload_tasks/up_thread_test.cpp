// The ZARN upload (UpThread's body) against the simulated STB over a
// pseudo-terminal: the whole road, the edge cases of the protocol, every row
// of its failure handling, stops and disconnects in each phase, and the files
// that must end the task before anything is sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "BigEndian.h"
#include "ImageFile.h"
#include "ZarnUploadFixture.h"
#include "ZarnWords.h"

namespace {

using namespace std::chrono_literals;
using Box = FakeTaskHost::Box;
using Strings = std::vector<std::string>;

const std::string kWaiting = "Waiting for STB...";
const std::string kInitializing = "Initializing Upload task...";
const std::string kTerminated = "Upload task terminated!!!";
const std::string kFlashing = "Writing to FLASH, please wait...";
const std::string kFlashOk = "Writing to FLASH [OK], restarting...";

const std::vector<uint8_t> kPacketBad = {0xAB, 0x4D, 0x4F, 0x52};

std::string Ok(int n) { return zarn::PacketLine(n, true); }
std::string Bad(int n) { return zarn::PacketLine(n, false); }

stbsim::Fault Silent(stbsim::SimPhase phase) {
  stbsim::Fault fault;
  fault.phase = phase;
  fault.kind = stbsim::FaultKind::Replace;
  fault.times = stbsim::kForever;
  return fault;
}

stbsim::Fault Answer(stbsim::SimPhase phase, std::vector<uint8_t> bytes, int times = 1,
                     int index = stbsim::kAnyIndex) {
  stbsim::Fault fault;
  fault.phase = phase;
  fault.kind = stbsim::FaultKind::Replace;
  fault.bytes = std::move(bytes);
  fault.times = times;
  fault.index = index;
  return fault;
}

class ZarnUpload : public ZarnUploadFixture {};

// --- The whole road.

TEST_F(ZarnUpload, CompleteUploadDeliversTheFileWithEveryLineAndProgressStep) {
  const auto image = MakeImage("APP", PatternBody(3 * 8188 + 100));
  Upload(image, {});

  EXPECT_EQ(Log(), (Strings{kWaiting, kInitializing, Ok(0), Ok(1), Ok(2), Ok(3), kFlashing,
                            kFlashOk, kTerminated}));
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(host_.ProgressCalls(),
            (Strings{"position 0", "min 0", "max " + std::to_string(3 * 8188 + 100), "step 8188",
                     "step 8188", "step 8188", "step 100", "position 0"}));
  EXPECT_EQ(host_.Ended(), std::optional<bool>(true));
  ASSERT_TRUE(sim_->WaitUntilFinished(5s));
  const auto received = StbUpload();
  EXPECT_EQ(received.typeCode, 0x04);
  EXPECT_EQ(received.Image(), image);
  EXPECT_EQ(received.headerSends, 1);
  EXPECT_EQ(received.packets.size(), 4u);
  EXPECT_TRUE(received.endOfImage);
  EXPECT_FALSE(::TheImageFile().IsOpen());
}

TEST_F(ZarnUpload, PausesComeInTheProtocolsOrderAndLength) {
  Upload(MakeImage("DAT", PatternBody(10)), {});
  using std::chrono::milliseconds;
  EXPECT_EQ(clock_.Pauses(),
            (std::vector<milliseconds>{milliseconds(50), milliseconds(150), milliseconds(50),
                                       milliseconds(550), milliseconds(120), milliseconds(550),
                                       milliseconds(120), milliseconds(120), milliseconds(350),
                                       milliseconds(50), milliseconds(50), milliseconds(50)}));
}

// --- Edge cases of the protocol.

TEST_F(ZarnUpload, HeaderOnlyImageSendsNoPacketAndGoesStraightToTheEndWord) {
  Upload(MakeImage("SER", {}), {});
  EXPECT_EQ(Log(), (Strings{kWaiting, kInitializing, kFlashing, kFlashOk, kTerminated}));
  EXPECT_EQ(host_.ProgressCalls(), (Strings{"position 0", "min 0", "max 0", "position 0"}));
  const auto received = StbUpload();
  EXPECT_TRUE(received.packets.empty());
  EXPECT_TRUE(received.endOfImage);
}

struct SplitRow {
  size_t bodyLength;
  std::vector<uint32_t> lengthWords;
};

class PacketSplit : public ZarnUploadFixture, public testing::WithParamInterface<SplitRow> {};

TEST_P(PacketSplit, BodyGoesInChunksOfAtMost8188WithTheirLengthWords) {
  const auto image = MakeImage("FULL", PatternBody(GetParam().bodyLength));
  Upload(image, {});
  const auto received = StbUpload();
  std::vector<uint32_t> words;
  for (const auto& packet : received.packets) {
    words.push_back(packet.lengthWord);
    EXPECT_TRUE(packet.crcOk);
    EXPECT_TRUE(packet.endOk);
  }
  EXPECT_EQ(words, GetParam().lengthWords);
  EXPECT_EQ(received.Image(), image);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Edges, PacketSplit,
                         testing::Values(SplitRow{1, {5}}, SplitRow{8188, {0x2000}},
                                         SplitRow{8189, {0x2000, 5}},
                                         SplitRow{2 * 8188, {0x2000, 0x2000}}));
// clang-format on

TEST_F(ZarnUpload, WrongBodySizeIsCorrectedInTheHeaderSentButNotInTheFile) {
  const auto image = MakeImage("DAT", PatternBody(100), 0);
  Upload(image, {});
  const auto received = StbUpload();
  ASSERT_EQ(received.header.size(), 64u);
  EXPECT_EQ(ReadBigEndian32(received.header.data() + 16), 100u);
  auto expectedHeader = std::vector<uint8_t>(image.begin(), image.begin() + 64);
  WriteBigEndian32(expectedHeader.data() + 16, 100);
  EXPECT_EQ(received.header, expectedHeader);
  EXPECT_EQ(host_.ProgressCalls()[2], "max 100");
  EXPECT_EQ(ReadBigEndian32(image.data() + 16), 0u);
}

TEST_F(ZarnUpload, CrcOfTheNineDigitsFollowsThemBigEndian) {
  const std::string digits = "123456789";
  Upload(MakeImage("DAT", std::vector<uint8_t>(digits.begin(), digits.end())), {});
  const auto received = StbUpload();
  ASSERT_EQ(received.packets.size(), 1u);
  const std::vector<uint8_t> expected = {0x00, 0x00, 0x00, 0x0D, '1',  '2',  '3',
                                         '4',  '5',  '6',  '7',  '8',  '9',  0xCB,
                                         0xF4, 0x39, 0x26, 0xAB, 0x50, 0x43, 0x4B};
  EXPECT_EQ(received.packets[0].raw, expected);
}

// Every tag's code is checked on TypeCodeForNameTag; here one upload shows
// the code chosen from the header reaching the request word.
TEST_F(ZarnUpload, TheRequestCarriesTheNameTagsTypeCode) {
  Upload(MakeImage("zarnlogo.logo", PatternBody(20)), {});
  EXPECT_EQ(StbUpload().typeCode, 0x08);
  EXPECT_EQ(host_.Ended(), std::optional<bool>(true));
}

TEST_F(ZarnUpload, UnknownNameTagEndsWithTheFileErrorAndNothingSent) {
  Upload(MakeImage("app", PatternBody(20)), {});
  EXPECT_EQ(Log(), (Strings{kWaiting, kTerminated}));
  EXPECT_EQ(Boxes(), (std::vector<Box>{{"Uknown file!!!", "File Error"}}));
  EXPECT_EQ(StbRecord().bytesReceived, 0);
}

TEST_F(ZarnUpload, ARejectedChunkGoesOutAgainUnchangedThenIsAccepted) {
  Scenario scenario;
  scenario.sim.faults = {Answer(stbsim::SimPhase::PacketReply, kPacketBad, 1, 0)};
  Upload(MakeImage("APP", PatternBody(2 * 8188)), scenario);
  // Each packet is judged by the oldest word waiting, so the STB's PacketBad
  // for packet 0 rejects chunk 1. The flush after a rejection drops the
  // STB's lag of one word, and with it what the flash phase reads next: only
  // the packet phase is fixed here.
  const auto log = Log();
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(Strings(log.begin(), log.begin() + 5),
            (Strings{kWaiting, kInitializing, Ok(0), Bad(1), Ok(1)}));
  EXPECT_EQ(log.back(), kTerminated);
  const auto received = StbUpload();
  ASSERT_EQ(received.packets.size(), 3u);
  EXPECT_EQ(received.packets[2].raw, received.packets[1].raw);
  const auto progress = host_.ProgressCalls();
  ASSERT_GE(progress.size(), 5u);
  EXPECT_EQ(Strings(progress.begin() + 3, progress.begin() + 5),
            (Strings{"step 8188", "step 8188"}));  // one step per chunk, not per send
}

TEST_F(ZarnUpload, AnyWordButPacketBadAcceptsAPacket) {
  Scenario scenario;
  scenario.sim.acceptWord = {0x00, 0x00, 0x00, 0x00};
  Upload(MakeImage("APP", PatternBody(3 * 8188)), scenario);
  EXPECT_EQ(Log(), (Strings{kWaiting, kInitializing, Ok(0), Ok(1), Ok(2), kFlashing, kFlashOk,
                            kTerminated}));
}

TEST_F(ZarnUpload, AByteBeforeTheGreetingIsDropped) {
  Scenario scenario;
  scenario.sim.greeting = {'x', 'K', 'G', 'S'};
  Upload(MakeImage("DAT", PatternBody(30)), scenario);
  EXPECT_EQ(Log(), (Strings{kWaiting, kInitializing, Ok(0), kFlashing, kFlashOk, kTerminated}));
}

TEST_F(ZarnUpload, NoFirstByteWithinTenSecondsStillSendsTheRequest) {
  Scenario scenario;
  scenario.sim.faults = {Silent(stbsim::SimPhase::Greeting)};
  Upload(MakeImage("DAT", PatternBody(30)), scenario);
  EXPECT_EQ(Log(), (Strings{kWaiting, "Timeout!!!", kInitializing, Ok(0), kFlashing, kFlashOk,
                            kTerminated}));
  const int64_t waited = LoggedAt("Timeout!!!") - LoggedAt(kWaiting);
  EXPECT_GT(waited, 10'000);
  EXPECT_LE(waited, 11'050);
}

TEST_F(ZarnUpload, ASilentStbTimesOutTwiceThenShowsTheInitialisationError) {
  Scenario scenario;
  scenario.sim.faults = {Silent(stbsim::SimPhase::Greeting),
                         Silent(stbsim::SimPhase::RequestReply)};
  Upload(MakeImage("DAT", PatternBody(30)), scenario);
  EXPECT_EQ(Log(), (Strings{kWaiting, "Timeout!!!", kInitializing, "Timeout!!!", kTerminated}));
  EXPECT_EQ(Boxes(), (std::vector<Box>{{"Initialisation error", "Error!"}}));
}

struct FinalWordRow {
  const char* name;
  std::vector<uint8_t> word;
  std::optional<std::string> line;
  TaskEnd end;  // only FlashOk confirms
};

class FinalWords : public ZarnUploadFixture, public testing::WithParamInterface<FinalWordRow> {};

TEST_P(FinalWords, TheRestartReportFollowsTheWord) {
  Scenario scenario;
  scenario.sim.faults = {Answer(stbsim::SimPhase::FlashDone, GetParam().word)};
  Upload(MakeImage("DAT", PatternBody(30)), scenario);
  Strings expected = {kWaiting, kInitializing, Ok(0), kFlashing};
  if (GetParam().line) expected.push_back(*GetParam().line);
  expected.push_back(kTerminated);
  EXPECT_EQ(Log(), expected);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(host_.Ended(), std::optional<bool>(true));
  EXPECT_EQ(host_.EndedAs(), std::optional<TaskEnd>(GetParam().end));
}

// Which word gives which report is the FinalWordReport table's business; the
// rows here show the task writing a report and writing none, and that only
// FlashOk confirms the upload.
// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Edges, FinalWords,
    testing::Values(
        FinalWordRow{"FlashOk", {0xAB, 0x90, 0x90, 0xAB}, kFlashOk, TaskEnd::Confirmed},
        FinalWordRow{"FlashErr", {0xAB, 0x90, 0x09, 0xAB}, "Writing to FLASH [ERR], restarting...",
                     TaskEnd::FlashError},
        FinalWordRow{"Greeting", {'K', 'G', 'S', 0x7F}, "STB restarted in ZARN mode!!!",
                     TaskEnd::Unconfirmed},
        FinalWordRow{"None", {0, 0, 0, 'C'}, std::nullopt, TaskEnd::Unconfirmed}),
    [](const testing::TestParamInfo<FinalWordRow>& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(ZarnUpload, FlashErrorReportedByTheStb) {
  Scenario scenario;
  scenario.sim.flashError = true;
  Upload(MakeImage("DAT", PatternBody(30)), scenario);
  EXPECT_EQ(Log()[Log().size() - 2], "Writing to FLASH [ERR], restarting...");
}

// --- Failure handling, row by row.

struct FailureRow {
  const char* name;
  size_t bodyLength;
  std::vector<uint8_t> greeting;
  std::vector<stbsim::Fault> faults;
  Strings log;
  std::vector<Box> boxes;
  bool endOfImageSent;
};

class FailureHandling : public ZarnUploadFixture, public testing::WithParamInterface<FailureRow> {};

TEST_P(FailureHandling, EachRowWritesItsLineShowsItsBoxAndEnds) {
  const FailureRow& row = GetParam();
  Scenario scenario;
  scenario.sim.greeting = row.greeting;
  scenario.sim.faults = row.faults;
  Upload(MakeImage("DAT", PatternBody(row.bodyLength)), scenario);
  EXPECT_EQ(Log(), row.log);
  EXPECT_EQ(Boxes(), row.boxes);
  const auto upload = StbUpload();
  EXPECT_EQ(upload.endOfImage, row.endOfImageSent);
  EXPECT_EQ(host_.Ended(), std::optional<bool>(false));
  EXPECT_FALSE(::TheImageFile().IsOpen());
}

const std::vector<uint8_t> kKGS = {'K', 'G', 'S'};
const Box kInitialisationBox{"Initialisation error", "Error!"};
const Box kCommunicationBox{"Communication error", "Error!"};
const Box kTimeOutBox{"TimeOut waiting for STB!", "Error!"};

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Rows, FailureHandling,
    testing::Values(
        FailureRow{"NoKWithinFiveSeconds", 30, {'x'}, {}, {kWaiting, "Level 2: Timeout!!!", kTerminated}, {}, false},
        FailureRow{"KNotFollowedByGS", 30, {'K', 'G', 'X'}, {}, {kWaiting, kTerminated}, {}, false},
        FailureRow{"KWithoutTwoMoreBytes", 30, {'K'}, {}, {kWaiting, kTerminated}, {}, false},
        FailureRow{"NoRequestReply", 30, kKGS, {Silent(stbsim::SimPhase::RequestReply)},
                   {kWaiting, kInitializing, "Timeout!!!", kTerminated}, {kInitialisationBox}, false},
        FailureRow{"OtherRequestReply", 30, kKGS,
                   {Answer(stbsim::SimPhase::RequestReply, {0xBA, 0x44, 0x6E, 0x91})},
                   {kWaiting, kInitializing, "Bad STB response! Aborting...", kTerminated},
                   {{"Bad STB response! Aborting ...", "Error"}}, false},
        FailureRow{"HalfARequestReply", 30, kKGS,
                   {Answer(stbsim::SimPhase::RequestReply, {0xBA, 0x44})},
                   {kWaiting, kInitializing, kTerminated}, {kInitialisationBox}, false},
        FailureRow{"NoHeaderReply", 30, kKGS, {Silent(stbsim::SimPhase::HeaderReply)},
                   {kWaiting, kInitializing, "Timeout!!!", kTerminated}, {kInitialisationBox}, false},
        FailureRow{"OtherHeaderReply", 30, kKGS,
                   {Answer(stbsim::SimPhase::HeaderReply, {0xAB, 0x90, 0x00, 0xAC})},
                   {kWaiting, kInitializing, kTerminated},
                   {{"STB rejected file type!!!", "Communication Error"}}, false},
        FailureRow{"NoPacketReply", 2 * 8188, kKGS, {Silent(stbsim::SimPhase::PacketReply)},
                   {kWaiting, kInitializing, Ok(0), "Timeout!!!", kTerminated}, {kCommunicationBox}, false},
        FailureRow{"ThreeRejections", 2 * 8188, kKGS,
                   {Answer(stbsim::SimPhase::PacketReply, kPacketBad, stbsim::kForever)},
                   {kWaiting, kInitializing, Ok(0), Bad(1), Bad(1), Bad(1),
                    "Too many errors!!! Aborting...", kTerminated},
                   {{"Communication error!!!", "Error"}}, false},
        // A silent phase makes the STB's later words move up one place in
        // what the task reads, so the phases after it keep silent too.
        FailureRow{"NoAnswerToTheLastPacket", 30, kKGS,
                   {Silent(stbsim::SimPhase::PacketReply), Silent(stbsim::SimPhase::FlashStart),
                    Silent(stbsim::SimPhase::FlashDone)},
                   {kWaiting, kInitializing, Ok(0), "Level 3: Timeout!!!", kTerminated}, {kTimeOutBox}, true},
        FailureRow{"NoFlashStart", 30, kKGS,
                   {Silent(stbsim::SimPhase::FlashStart), Silent(stbsim::SimPhase::FlashDone)},
                   {kWaiting, kInitializing, Ok(0), "Level 3: Timeout!!!", kTerminated}, {kTimeOutBox}, true},
        FailureRow{"NoFlashReport", 30, kKGS, {Silent(stbsim::SimPhase::FlashDone)},
                   {kWaiting, kInitializing, Ok(0), kFlashing, "Level 4: Timeout!!!", kTerminated},
                   {kTimeOutBox}, true}),
    [](const testing::TestParamInfo<FailureRow>& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(ZarnUpload, AnotherWordForFlashStartWritesNoLineAndGoesOn) {
  Scenario scenario;
  scenario.sim.faults = {Answer(stbsim::SimPhase::FlashStart, {0, 0, 0, 0})};
  Upload(MakeImage("DAT", PatternBody(30)), scenario);
  EXPECT_EQ(Log(), (Strings{kWaiting, kInitializing, Ok(0), kFlashOk, kTerminated}));
  EXPECT_EQ(host_.Ended(), std::optional<bool>(true));
}

struct LimitRow {
  const char* name;
  std::vector<stbsim::Fault> faults;
  std::string waitBegins;  // the line written just before the wait
  std::string timeOutLine;
  int limitSeconds;
};

class TimeLimits : public ZarnUploadFixture, public testing::WithParamInterface<LimitRow> {};

TEST_P(TimeLimits, AWaitGivesUpPastItsLimitInWholeSeconds) {
  Scenario scenario;
  scenario.sim.faults = GetParam().faults;
  Upload(MakeImage("DAT", PatternBody(30)), scenario);
  const int64_t begins = LoggedAt(GetParam().waitBegins);
  const int64_t gaveUp = LoggedAt(GetParam().timeOutLine);
  ASSERT_GE(begins, 0);
  ASSERT_GE(gaveUp, 0);
  // More than N seconds, at most N + 1 plus one wait slice and the pause
  // that may sit between the line and the wait.
  EXPECT_GT(gaveUp - begins, GetParam().limitSeconds * 1000);
  EXPECT_LE(gaveUp - begins, GetParam().limitSeconds * 1000 + 1000 + 50 + 50);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Rows, TimeLimits,
    testing::Values(LimitRow{"RequestReply", {Silent(stbsim::SimPhase::RequestReply)}, kInitializing, "Timeout!!!", 5},
                    LimitRow{"FlashReport", {Silent(stbsim::SimPhase::FlashDone)}, kFlashing, "Level 4: Timeout!!!", 30}),
    [](const testing::TestParamInfo<LimitRow>& info) { return std::string(info.param.name); });
// clang-format on

// --- Stop requests and disconnects in each phase.

struct StopRow {
  const char* name;
  ZarnUploadFixture::Intervention intervention;
  size_t bodyLength;
  std::vector<stbsim::Fault> faults;
  std::string atLine;
  std::optional<Box> box;
  bool endOfImageSent = false;
  // The whole log, where the phase fixes it (a stop among the packets lands
  // after a packet or two, as the task happens to look).
  Strings log = {};
};

class StopsAndDisconnects : public ZarnUploadFixture,
                            public testing::WithParamInterface<StopRow> {};

TEST_P(StopsAndDisconnects, EndWithThePhasesBoxAndSendNoEndWordOfTheirOwn) {
  const StopRow& row = GetParam();
  Scenario scenario;
  scenario.sim.faults = row.faults;
  scenario.intervention = row.intervention;
  scenario.interveneAtLine = row.atLine;
  Upload(MakeImage("DAT", PatternBody(row.bodyLength)), scenario);

  const auto log = Log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), kTerminated);
  if (!row.log.empty()) {
    EXPECT_EQ(log, row.log);
  }
  for (const auto& line : log) EXPECT_EQ(line.find("Timeout"), std::string::npos) << line;
  const auto boxes = Boxes();
  if (row.box) {
    EXPECT_EQ(boxes, std::vector<Box>{*row.box});
  } else {
    EXPECT_TRUE(boxes.empty());
  }
  EXPECT_EQ(StbUpload().endOfImage, row.endOfImageSent);
  EXPECT_EQ(host_.Ended(), std::optional<bool>(false));
}

const auto kStop = ZarnUploadFixture::Intervention::RequestStop;
const auto kDisconnect = ZarnUploadFixture::Intervention::Disconnect;

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Phases, StopsAndDisconnects,
    testing::Values(
        StopRow{"StopWhileWaitingForTheStb", kStop, 30, {Silent(stbsim::SimPhase::Greeting)}, kWaiting, std::nullopt,
                false, {kWaiting, kTerminated}},
        StopRow{"DisconnectWhileWaitingForTheStb", kDisconnect, 30, {Silent(stbsim::SimPhase::Greeting)}, kWaiting, std::nullopt,
                false, {kWaiting, kTerminated}},
        StopRow{"StopWhileWaitingForTheRequestReply", kStop, 30, {Silent(stbsim::SimPhase::RequestReply)}, kInitializing, kInitialisationBox,
                false, {kWaiting, kInitializing, kTerminated}},
        StopRow{"DisconnectWhileWaitingForTheRequestReply", kDisconnect, 30, {Silent(stbsim::SimPhase::RequestReply)}, kInitializing, kInitialisationBox,
                false, {kWaiting, kInitializing, kTerminated}},
        StopRow{"StopDuringThePackets", kStop, 4 * 8188, {}, Ok(0), kCommunicationBox},
        StopRow{"DisconnectDuringThePackets", kDisconnect, 4 * 8188, {}, Ok(0), kCommunicationBox},
        StopRow{"StopDuringTheFlashWait", kStop, 30, {Silent(stbsim::SimPhase::FlashDone)}, kFlashing, kTimeOutBox,
                true, {kWaiting, kInitializing, Ok(0), kFlashing, kTerminated}},
        StopRow{"DisconnectDuringTheFlashWait", kDisconnect, 30, {Silent(stbsim::SimPhase::FlashDone)}, kFlashing, kTimeOutBox,
                true, {kWaiting, kInitializing, Ok(0), kFlashing, kTerminated}}),
    [](const testing::TestParamInfo<StopRow>& info) { return std::string(info.param.name); });
// clang-format on

// Files the admission rule refuses: image_admission_test.cpp, for both kinds.

TEST_F(ZarnUpload, AReadErrorAmongThePacketsEndsWithTheFailureBoxAndNoEndWord) {
  const auto image = MakeImage("APP", PatternBody(3 * 8188));
  const std::string path = folder_.Write("shrinking.zarn", image);
  Scenario scenario;
  scenario.onLog = [path](const std::string& line) {
    if (line == Ok(0)) std::filesystem::resize_file(path, 64 + 8188 + 10);
  };
  UploadPath(path, scenario);
  EXPECT_EQ(Log(), (Strings{kWaiting, kInitializing, Ok(0), kTerminated}));
  EXPECT_EQ(Boxes(), std::vector<Box>{kCommunicationBox});
  const auto received = StbUpload();
  EXPECT_FALSE(received.endOfImage);
  for (const auto& packet : received.packets) {
    EXPECT_GE(packet.lengthWord, 5u);
    EXPECT_LE(packet.lengthWord, 8192u);
  }
}

}  // namespace
