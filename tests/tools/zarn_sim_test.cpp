// The simulated STB's ZARN side, driven byte by byte by a scripted tool.
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
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

const Bytes kGreeting = {'K', 'G', 'S'};
const Bytes kDnAccept = Word(0xBA446E90);
const Bytes kHeaderAccept = Word(0xAB9000AB);
const Bytes kAcceptWord = Word(0xAB41434B);
const Bytes kPacketBad = Word(0xAB4D4F52);
const Bytes kFlashStart = Word(0xAB464C53);
const Bytes kFlashOk = Word(0xAB9090AB);
const Bytes kFlashErr = Word(0xAB9009AB);
const Bytes kEndOfImage = Word(0xAB454E44);

Bytes Request(uint8_t typeCode) { return Word(0xAB446E00u | typeCode); }

class ZarnSimTest : public SimFixture {
 protected:
  static SimOptions Quick() { return QuickOptions(SimMode::Zarn); }

  // Greeting, request and header up to HeaderAccept.
  void OpenUpload(uint32_t bodySize, const std::string& nameTag = "DAT", uint8_t typeCode = 0x01) {
    ASSERT_EQ(tool->Receive(3, kMustCome), kGreeting);
    tool->Send(Request(typeCode));
    ASSERT_EQ(tool->Receive(4, kMustCome), kDnAccept);
    tool->Send(ZarnHeader(bodySize, nameTag));
    ASSERT_EQ(tool->Receive(4, kMustCome), kHeaderAccept);
  }

  Bytes SendPacket(const Bytes& data) {
    tool->Send(ZarnPacketBytes(data));
    return tool->Receive(4, kMustCome);
  }
};

TEST_F(ZarnSimTest, CompleteUploadIsKeptAndAnsweredThroughTheRestart) {
  StartSim(Quick());
  const Bytes body = Pattern(8188 + 100);
  const Bytes header = ZarnHeader(static_cast<uint32_t>(body.size()), "SER");
  ASSERT_EQ(tool->Receive(3, kMustCome), kGreeting);
  tool->Send(Request(0x02));
  ASSERT_EQ(tool->Receive(4, kMustCome), kDnAccept);
  tool->Send(header);
  ASSERT_EQ(tool->Receive(4, kMustCome), kHeaderAccept);
  EXPECT_EQ(SendPacket(Bytes(body.begin(), body.begin() + 8188)), kAcceptWord);
  EXPECT_EQ(SendPacket(Bytes(body.begin() + 8188, body.end())), kAcceptWord);
  tool->Send(kEndOfImage);
  EXPECT_EQ(tool->Receive(8, kMustCome), Concat({kFlashStart, kFlashOk}));
  EXPECT_EQ(tool->Receive(3, kMustCome), kGreeting) << "the restarted STB greets again";

  ASSERT_TRUE(sim->WaitUntilFinished(kMustCome));
  const stbsim::UploadRecord upload = sim->LastUpload();
  EXPECT_EQ(upload.typeCode, 0x02);
  EXPECT_EQ(upload.header, header);
  EXPECT_EQ(upload.body, body);
  EXPECT_EQ(upload.Image(), Concat({header, body}));
  EXPECT_EQ(upload.headerSends, 1);
  ASSERT_EQ(upload.packets.size(), 2u);
  EXPECT_EQ(upload.packets[0].lengthWord, 0x2000u);
  EXPECT_EQ(upload.packets[1].lengthWord, 104u);
  EXPECT_EQ(upload.packets[1].raw, ZarnPacketBytes(Bytes(body.begin() + 8188, body.end())));
  for (const auto& packet : upload.packets) {
    EXPECT_TRUE(packet.crcOk && packet.endOk && packet.accepted);
  }
  EXPECT_TRUE(upload.endOfImage);
  EXPECT_TRUE(upload.flashOk);
  EXPECT_TRUE(sim->WaitForEvent("restarted in ZARN mode", kMustCome));
}

TEST_F(ZarnSimTest, HeaderOnlyImageFlashes) {
  StartSim(Quick());
  OpenUpload(0);
  tool->Send(kEndOfImage);
  EXPECT_EQ(tool->Receive(8, kMustCome), Concat({kFlashStart, kFlashOk}));
  ASSERT_TRUE(sim->WaitUntilFinished(kMustCome));
  EXPECT_TRUE(sim->LastUpload().body.empty());
  EXPECT_EQ(sim->LastUpload().Image(), ZarnHeader(0, "DAT"));
}

struct TypeCodeCase {
  uint8_t code;
  bool known;
};

void PrintTo(const TypeCodeCase& c, std::ostream* os) { *os << "type code " << int{c.code}; }

class ZarnTypeCodeTest : public ZarnSimTest, public ::testing::WithParamInterface<TypeCodeCase> {};

TEST_P(ZarnTypeCodeTest, OnlyKnownTypeCodesAreAccepted) {
  StartSim(Quick());
  ASSERT_EQ(tool->Receive(3, kMustCome), kGreeting);
  tool->Send(Request(GetParam().code));
  EXPECT_EQ(tool->Receive(4, kMustCome), GetParam().known ? kDnAccept : kPacketBad);
  EXPECT_EQ(sim->UploadCount(), GetParam().known ? 1 : 0);
  if (!GetParam().known) {
    // The refused STB still listens for a proper request.
    tool->Send(Request(0x08));
    EXPECT_EQ(tool->Receive(4, kMustCome), kDnAccept);
    EXPECT_EQ(sim->LastUpload().typeCode, 0x08);
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Codes, ZarnTypeCodeTest,
                         ::testing::Values(TypeCodeCase{0x01, true}, TypeCodeCase{0x02, true},
                                           TypeCodeCase{0x04, true}, TypeCodeCase{0x08, true},
                                           TypeCodeCase{0x00, false}, TypeCodeCase{0x03, false},
                                           TypeCodeCase{0x10, false}, TypeCodeCase{0xFF, false}));
// clang-format on

TEST_F(ZarnSimTest, RequestIsFoundAfterStrayBytes) {
  StartSim(Quick());
  ASSERT_EQ(tool->Receive(3, kMustCome), kGreeting);
  tool->Send(Concat({{0x00, 0xAB, 0x44}, Request(0x04)}));
  EXPECT_EQ(tool->Receive(4, kMustCome), kDnAccept);
  EXPECT_EQ(sim->LastUpload().typeCode, 0x04);
}

TEST_F(ZarnSimTest, GreetingRepeatsUntilTheToolSpeaksThenStops) {
  SimOptions options = Quick();
  options.greetInterval = 20ms;
  StartSim(options);
  EXPECT_EQ(tool->Receive(9, kMustCome), Concat({kGreeting, kGreeting, kGreeting}));
  tool->Send(Request(0x01));
  ASSERT_TRUE(sim->WaitForEvent("request reply", kMustCome));
  // Greetings already on the way may still come before the DnAccept, none after it.
  Bytes heard = tool->Receive(64, kStaysQuiet);
  while (heard.size() >= 3 && Bytes(heard.begin(), heard.begin() + 3) == kGreeting)
    heard.erase(heard.begin(), heard.begin() + 3);
  EXPECT_EQ(heard, kDnAccept);
}

TEST_F(ZarnSimTest, BrokenPacketsAreRejectedAndTheChunkIsTakenAgain) {
  StartSim(Quick());
  OpenUpload(20);
  const Bytes chunk = Pattern(20);
  Bytes badCrc = ZarnPacketBytes(chunk);
  badCrc[4 + 3] ^= 0x10;  // a data byte changed after the CRC was computed
  tool->Send(badCrc);
  EXPECT_EQ(tool->Receive(4, kMustCome), kPacketBad);
  EXPECT_EQ(SendPacket(chunk), kAcceptWord);
  tool->Send(kEndOfImage);
  EXPECT_EQ(tool->Receive(8, kMustCome), Concat({kFlashStart, kFlashOk}));

  const auto upload = sim->LastUpload();
  ASSERT_EQ(upload.packets.size(), 2u);
  EXPECT_FALSE(upload.packets[0].crcOk);
  EXPECT_FALSE(upload.packets[0].accepted);
  EXPECT_EQ(upload.packets[0].chunk, 0);
  EXPECT_TRUE(upload.packets[1].accepted);
  EXPECT_EQ(upload.packets[1].chunk, 0);
  EXPECT_EQ(upload.body, chunk);
}

TEST_F(ZarnSimTest, LostFramingIsFoundAgainAtTheNextPause) {
  StartSim(Quick());
  OpenUpload(30);
  const Bytes chunk = Pattern(30, 7);
  // A packet whose tail was flushed away: the STB reads on into the garbage
  // that follows and finds no PacketEnd.
  Bytes cut = ZarnPacketBytes(chunk);
  cut.resize(cut.size() - 10);
  tool->Send(Concat({cut, Pattern(40, 99)}));
  EXPECT_EQ(tool->Receive(4, kMustCome), kPacketBad);
  ASSERT_TRUE(sim->WaitForEvent("lost the packet framing", kMustCome));
  // The tool's own pause after PacketLength shows the STB where the packet begins.
  const Bytes packet = ZarnPacketBytes(chunk);
  tool->Send(Bytes(packet.begin(), packet.begin() + 4));
  ASSERT_TRUE(sim->WaitForEvent("framing found again", kMustCome));
  tool->Send(Bytes(packet.begin() + 4, packet.end()));
  EXPECT_EQ(tool->Receive(4, kMustCome), kAcceptWord);
  tool->Send(kEndOfImage);
  EXPECT_EQ(tool->Receive(8, kMustCome), Concat({kFlashStart, kFlashOk}));
  EXPECT_EQ(sim->LastUpload().body, chunk);
}

TEST_F(ZarnSimTest, RejectedChunkStaysTheChunkUntilTheTimesAreUsedUp) {
  SimOptions options = Quick();
  options.faults.push_back({SimPhase::PacketReply, 1, FaultKind::Replace, kPacketBad, 0, {}, 2});
  StartSim(options);
  OpenUpload(30);
  const Bytes a = Pattern(10, 1), b = Pattern(10, 2), c = Pattern(10, 3);
  EXPECT_EQ(SendPacket(a), kAcceptWord);
  EXPECT_EQ(SendPacket(b), kPacketBad);
  EXPECT_EQ(SendPacket(b), kPacketBad);
  EXPECT_EQ(SendPacket(b), kAcceptWord);
  EXPECT_EQ(SendPacket(c), kAcceptWord);
  const auto upload = sim->LastUpload();
  ASSERT_EQ(upload.packets.size(), 5u);
  const std::vector<int> chunks = {0, 1, 1, 1, 2};
  for (size_t i = 0; i < chunks.size(); ++i) EXPECT_EQ(upload.packets[i].chunk, chunks[i]) << i;
  EXPECT_EQ(upload.body, Concat({a, b, c}));
}

// Every answer of the exchange, each changed by one fault.
struct PhaseFaultCase {
  const char* name;
  Fault fault;
  // Expected answers: greeting, request, header, packet, flash start, flash
  // done, and the greeting of the restarted STB.
  std::vector<Bytes> answers;
};

void PrintTo(const PhaseFaultCase& c, std::ostream* os) { *os << c.name; }

class ZarnPhaseFaultTest : public ZarnSimTest,
                           public ::testing::WithParamInterface<PhaseFaultCase> {};

TEST_P(ZarnPhaseFaultTest, TheFaultedAnswerIsTheOnlyOneChanged) {
  SimOptions options = Quick();
  options.faults.push_back(GetParam().fault);
  StartSim(options);
  const auto& answers = GetParam().answers;
  const Bytes chunk = Pattern(16);
  // Each step reads exactly what the case expects. A silent step is seen in
  // the STB's log; that it sent nothing shows in the next step's bytes.
  auto expect = [&](size_t step, const char* what) {
    const Bytes& want = answers[step];
    if (want.empty()) {
      EXPECT_TRUE(sim->WaitForEvent(std::string(what) + ": silent", kMustCome)) << what;
    } else {
      EXPECT_EQ(tool->Receive(want.size(), kMustCome), want) << what;
    }
  };
  expect(0, "greeting");
  tool->Send(Request(0x01));
  expect(1, "request reply");
  tool->Send(ZarnHeader(16, "DAT"));
  expect(2, "header reply");
  tool->Send(ZarnPacketBytes(chunk));
  expect(3, "chunk 0)");
  tool->Send(kEndOfImage);
  expect(4, "flash start");
  expect(5, "flash done");
  expect(6, "restart greeting");
}

const Bytes kNormal[] = {kGreeting,   kDnAccept, kHeaderAccept, kAcceptWord,
                         kFlashStart, kFlashOk,  kGreeting};

std::vector<Bytes> NormalWith(size_t step, Bytes changed) {
  std::vector<Bytes> answers(std::begin(kNormal), std::end(kNormal));
  answers[step] = std::move(changed);
  return answers;
}

Fault Replace(SimPhase phase, Bytes bytes) {
  return {phase, stbsim::kAnyIndex, FaultKind::Replace, std::move(bytes), 0, {}, 1};
}
Fault Garbage(SimPhase phase, Bytes bytes) {
  return {phase, stbsim::kAnyIndex, FaultKind::Garbage, std::move(bytes), 0, {}, 1};
}
Fault Flip(SimPhase phase, uint8_t mask) {
  return {phase, stbsim::kAnyIndex, FaultKind::FlipBits, {}, mask, {}, 1};
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Phases, ZarnPhaseFaultTest,
    ::testing::Values(
        PhaseFaultCase{"GreetingWithLeadingX", Replace(SimPhase::Greeting, {'x', 'K', 'G', 'S'}), NormalWith(0, {'x', 'K', 'G', 'S'})},
        PhaseFaultCase{"GreetingKGX", Replace(SimPhase::Greeting, {'K', 'G', 'X'}), NormalWith(0, {'K', 'G', 'X'})},
        PhaseFaultCase{"WrongRequestReply", Replace(SimPhase::RequestReply, kPacketBad), NormalWith(1, kPacketBad)},
        PhaseFaultCase{"SilentRequestReply", Replace(SimPhase::RequestReply, {}), NormalWith(1, {})},
        PhaseFaultCase{"WrongHeaderReply", Replace(SimPhase::HeaderReply, kFlashErr), NormalWith(2, kFlashErr)},
        PhaseFaultCase{"SilentHeaderReply", Replace(SimPhase::HeaderReply, {}), NormalWith(2, {})},
        PhaseFaultCase{"GarbageBeforeHeaderReply", Garbage(SimPhase::HeaderReply, {0x55, 0xAA}), NormalWith(2, Concat({{0x55, 0xAA}, kHeaderAccept}))},
        PhaseFaultCase{"FlippedRequestReply", Flip(SimPhase::RequestReply, 0x01), NormalWith(1, {0xBB, 0x45, 0x6F, 0x91})},
        PhaseFaultCase{"ZeroPacketReply", Replace(SimPhase::PacketReply, {0, 0, 0, 0}), NormalWith(3, {0, 0, 0, 0})},
        PhaseFaultCase{"SilentPacketReply", Replace(SimPhase::PacketReply, {}), NormalWith(3, {})},
        PhaseFaultCase{"WrongFlashStart", Replace(SimPhase::FlashStart, {1, 2, 3, 4}), NormalWith(4, {1, 2, 3, 4})},
        PhaseFaultCase{"SilentFlashStart", Replace(SimPhase::FlashStart, {}), NormalWith(4, {})},
        PhaseFaultCase{"FlashDoneIsARestartGreeting", Replace(SimPhase::FlashDone, {'K', 'G', 'S', 0}), NormalWith(5, {'K', 'G', 'S', 0})},
        PhaseFaultCase{"FlashDoneInOrvaneMode", Replace(SimPhase::FlashDone, {'C', 'C', 'C', 'C'}), NormalWith(5, {'C', 'C', 'C', 'C'})},
        PhaseFaultCase{"FlippedFlashDone", Flip(SimPhase::FlashDone, 0x80), NormalWith(5, {0x2B, 0x10, 0x10, 0x2B})},
        PhaseFaultCase{"SilentFlashDone", Replace(SimPhase::FlashDone, {}), NormalWith(5, {})}),
    [](const ::testing::TestParamInfo<PhaseFaultCase>& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(ZarnSimTest, LateAnswerComesAfterItsDelay) {
  SimOptions options = Quick();
  options.faults.push_back(
      {SimPhase::RequestReply, stbsim::kAnyIndex, FaultKind::Late, {}, 0, 300ms, 1});
  StartSim(options);
  ASSERT_EQ(tool->Receive(3, kMustCome), kGreeting);
  const auto sent = std::chrono::steady_clock::now();
  tool->Send(Request(0x01));
  EXPECT_EQ(tool->Receive(4, kMustCome), kDnAccept);
  EXPECT_GE(std::chrono::steady_clock::now() - sent, 300ms);
}

TEST_F(ZarnSimTest, FlashErrorIsReportedWhenToldOrWhenTheBodyIsIncomplete) {
  for (const bool toldToFail : {true, false}) {
    SCOPED_TRACE(toldToFail ? "told to fail" : "incomplete body");
    SimOptions options = Quick();
    options.flashError = toldToFail;
    StartSim(options);
    OpenUpload(toldToFail ? 8 : 16);
    EXPECT_EQ(SendPacket(Pattern(8)), kAcceptWord);
    tool->Send(kEndOfImage);
    EXPECT_EQ(tool->Receive(8, kMustCome), Concat({kFlashStart, kFlashErr}));
    ASSERT_TRUE(sim->WaitUntilFinished(kMustCome));
    EXPECT_FALSE(sim->LastUpload().flashOk);
    TearDown();
  }
}

TEST_F(ZarnSimTest, ComesBackInTheOtherMode) {
  SimOptions options = Quick();
  options.comeBackIn = SimMode::Dsp;
  StartSim(options);
  OpenUpload(0);
  tool->Send(kEndOfImage);
  EXPECT_EQ(tool->Receive(8, kMustCome), Concat({kFlashStart, kFlashOk}));
  EXPECT_EQ(tool->Receive(1, kMustCome), Bytes{'C'});
  EXPECT_TRUE(sim->WaitForEvent("restarted in DSP mode", kMustCome));
}

TEST_F(ZarnSimTest, StalledUploadIsGivenUpAndTheStbGreetsAgain) {
  SimOptions options = Quick();
  options.idleRestart = 100ms;
  StartSim(options);
  ASSERT_EQ(tool->Receive(3, kMustCome), kGreeting);
  tool->Send(Request(0x01));
  ASSERT_EQ(tool->Receive(4, kMustCome), kDnAccept);
  EXPECT_EQ(tool->Receive(3, kMustCome), kGreeting);
  EXPECT_TRUE(sim->WaitForEvent("restarting", kMustCome));
}

TEST_F(ZarnSimTest, NewRequestInsteadOfAPacketStartsANewUpload) {
  StartSim(Quick());
  OpenUpload(100);
  EXPECT_EQ(SendPacket(Pattern(10)), kAcceptWord);
  tool->Send(Request(0x04));
  EXPECT_EQ(tool->Receive(4, kMustCome), kDnAccept);
  EXPECT_EQ(sim->UploadCount(), 2);
  EXPECT_EQ(sim->LastUpload().typeCode, 0x04);
  EXPECT_TRUE(sim->LastUpload().packets.empty());
}

TEST_F(ZarnSimTest, VanishesInsteadOfAnswering) {
  SimOptions options = Quick();
  options.faults.push_back({SimPhase::PacketReply, 1, FaultKind::Vanish, {}, 0, {}, 1});
  StartSim(options);
  OpenUpload(20);
  EXPECT_EQ(SendPacket(Pattern(10)), kAcceptWord);
  tool->Send(ZarnPacketBytes(Pattern(10)));
  EXPECT_TRUE(tool->HungUp(kMustCome));
  EXPECT_TRUE(sim->WaitUntilStopped(kMustCome));
  EXPECT_TRUE(sim->Snapshot().lineClosed);
  EXPECT_FALSE(sim->WaitUntilFinished(0ms));
}

TEST_F(ZarnSimTest, VanishesInTheMiddleOfAPacket) {
  SimOptions options = Quick();
  options.vanishAfterBytes = 64 + 100;  // the header, then 100 bytes of the packet
  StartSim(options);
  OpenUpload(1000);
  tool->Send(ZarnPacketBytes(Pattern(1000)));
  EXPECT_TRUE(tool->HungUp(kMustCome));
  EXPECT_TRUE(sim->WaitForEvent("vanished after 164 bytes", kMustCome));
  EXPECT_TRUE(sim->LastUpload().packets.empty());
}

TEST_F(ZarnSimTest, StopsAfterOneUploadWhenNotLooping) {
  SimOptions options = Quick();
  options.loop = false;
  StartSim(options);
  OpenUpload(0);
  tool->Send(kEndOfImage);
  EXPECT_EQ(tool->Receive(8, kMustCome), Concat({kFlashStart, kFlashOk}));
  EXPECT_TRUE(sim->WaitUntilStopped(kMustCome));
  EXPECT_TRUE(sim->WaitUntilFinished(0ms));
}

TEST_F(ZarnSimTest, SavesTheReceivedImage) {
  StartSim(Quick());
  EXPECT_FALSE(sim->SaveLastImage(::testing::TempDir() + "/none.img")) << "no upload yet";
  const Bytes body = Pattern(300);
  OpenUpload(300, "FULL", 0x08);
  EXPECT_EQ(SendPacket(body), kAcceptWord);
  tool->Send(kEndOfImage);
  ASSERT_TRUE(sim->WaitUntilFinished(kMustCome));
  const std::string path =
      ::testing::TempDir() + "/zarn_sim_saved_" + std::to_string(getpid()) + ".img";
  ASSERT_TRUE(sim->SaveLastImage(path));
  std::ifstream in(path, std::ios::binary);
  const Bytes saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(saved, Concat({ZarnHeader(300, "FULL"), body}));
  std::remove(path.c_str());
}

// The one real-time pacing check: a packet cannot be taken faster than the
// line carries it.
TEST_F(ZarnSimTest, PacedLineTakesThePacketAtTheLineRate) {
  SimOptions options = Quick();
  options.pace = true;
  StartSim(options);
  OpenUpload(1148);
  const Bytes packet = ZarnPacketBytes(Pattern(1148));  // 1160 bytes on the line
  const auto sent = std::chrono::steady_clock::now();
  tool->Send(packet);
  EXPECT_EQ(tool->Receive(4, kMustCome), kAcceptWord);
  const auto lineTime = std::chrono::microseconds(1160LL * 10 * 1'000'000 / 115200);
  EXPECT_GE(std::chrono::steady_clock::now() - sent, lineTime);
  EXPECT_EQ(sim->LastUpload().body, Pattern(1148));
}

}  // namespace
