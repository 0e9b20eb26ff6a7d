// The command line of zarn-stb-sim.
#include <gtest/gtest.h>

#include "SimArgs.h"

using namespace std::chrono_literals;
using stbsim::Fault;
using stbsim::FaultKind;
using stbsim::SimPhase;
using Bytes = std::vector<uint8_t>;

namespace {

TEST(SimArgsTest, ProgramDefaultsPaceLinkAndLoop) {
  const auto command = stbsim::ParseSimArgs({});
  EXPECT_TRUE(command.error.empty());
  EXPECT_TRUE(command.options.pace);
  EXPECT_TRUE(command.options.makePortLink);
  EXPECT_TRUE(command.options.loop);
  EXPECT_EQ(command.options.mode, stbsim::SimMode::Zarn);
  EXPECT_EQ(command.options.ComeBackMode(), stbsim::SimMode::Zarn);
}

TEST(SimArgsTest, OptionsAreTaken) {
  const auto command = stbsim::ParseSimArgs({"--mode",
                                             "dsp",
                                             "--come-back",
                                             "zarn",
                                             "--no-pace",
                                             "--save",
                                             "out.img",
                                             "--no-link",
                                             "--once",
                                             "--quiet",
                                             "--greeting",
                                             "xKGS",
                                             "--greet-interval",
                                             "250",
                                             "--flash-time",
                                             "3000",
                                             "--idle-restart",
                                             "0",
                                             "--accept-word",
                                             "00000000",
                                             "--flash-error",
                                             "--vanish-after",
                                             "5000",
                                             "--vanish-at",
                                             "77",
                                             "--reject",
                                             "3x2",
                                             "--nak-block",
                                             "0",
                                             "--contact-noise",
                                             "5"});
  ASSERT_TRUE(command.error.empty()) << command.error;
  const auto& options = command.options;
  EXPECT_EQ(options.mode, stbsim::SimMode::Dsp);
  EXPECT_EQ(options.ComeBackMode(), stbsim::SimMode::Zarn);
  EXPECT_FALSE(options.pace);
  EXPECT_EQ(command.savePath, "out.img");
  EXPECT_FALSE(options.makePortLink);
  EXPECT_FALSE(options.loop);
  EXPECT_TRUE(command.quiet);
  EXPECT_EQ(options.greeting, Bytes({'x', 'K', 'G', 'S'}));
  EXPECT_EQ(options.greetInterval, 250ms);
  EXPECT_EQ(options.flashTime, 3000ms);
  EXPECT_EQ(options.idleRestart, 0ms);
  EXPECT_EQ(options.acceptWord, Bytes({0, 0, 0, 0}));
  EXPECT_TRUE(options.flashError);
  EXPECT_EQ(options.vanishAfterBytes, 5000);
  EXPECT_EQ(options.vanishAtByte, 77);
  ASSERT_EQ(options.faults.size(), 3u);
  EXPECT_EQ(options.faults[0].phase, SimPhase::PacketReply);
  EXPECT_EQ(options.faults[0].index, 3);
  EXPECT_EQ(options.faults[0].times, 2);
  EXPECT_EQ(options.faults[0].bytes, Bytes({0xAB, 0x4D, 0x4F, 0x52}));
  EXPECT_EQ(options.faults[1].phase, SimPhase::BlockReply);
  EXPECT_EQ(options.faults[1].bytes, Bytes{0x15});
  EXPECT_EQ(options.faults[2].phase, SimPhase::ContactC);
  EXPECT_EQ(options.faults[2].times, 5);
}

TEST(SimArgsTest, DspPacingAndReplyDelay) {
  const auto defaults = stbsim::ParseSimArgs({});
  EXPECT_EQ(defaults.options.dspPacing, stbsim::SimDspPacing::Fast);
  EXPECT_EQ(defaults.options.blockReplyDelay, 0ms);
  const auto command = stbsim::ParseSimArgs(
      {"--dsp-pacing", "paced", "--write-time", "150", "--reply-delay", "1000"});
  ASSERT_TRUE(command.error.empty()) << command.error;
  EXPECT_EQ(command.options.dspPacing, stbsim::SimDspPacing::Paced);
  EXPECT_EQ(command.options.pacedWriteTime, 150ms);
  EXPECT_EQ(command.options.blockReplyDelay, 1000ms);
  EXPECT_EQ(stbsim::ParseSimArgs({"--dsp-pacing", "fast"}).options.dspPacing,
            stbsim::SimDspPacing::Fast);
}

class SimArgsErrorTest : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(SimArgsErrorTest, WrongArgumentsAreNamed) {
  EXPECT_FALSE(stbsim::ParseSimArgs(GetParam()).error.empty());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, SimArgsErrorTest,
                         ::testing::Values(std::vector<std::string>{"--bogus"}, std::vector<std::string>{"--mode"},
                                           std::vector<std::string>{"--mode", "zarnn"},
                                           std::vector<std::string>{"--greet-interval", "-5"},
                                           std::vector<std::string>{"--flash-time", "12x"},
                                           std::vector<std::string>{"--accept-word", "ABCD"},
                                           std::vector<std::string>{"--reject", "x2"},
                                           std::vector<std::string>{"--reject", "1x0"},
                                           std::vector<std::string>{"--baud", "0"},
                                           std::vector<std::string>{"--dsp-pacing", "slow"},
                                           std::vector<std::string>{"--dsp-pacing"},
                                           std::vector<std::string>{"--reply-delay", "-1"},
                                           std::vector<std::string>{"--write-time", "soon"},
                                           std::vector<std::string>{"--fault", "packet=teleport"}));
// clang-format on

// --com: which names each system takes, and what a serial port changes.
struct ComCase {
  std::vector<std::string> args;
  stbsim::SimLineKinds kinds;
  std::string device;  // "" : the arguments are refused
  bool pace;
};

void PrintTo(const ComCase& c, std::ostream* os) {
  for (const auto& arg : c.args) *os << arg << ' ';
  *os << (c.kinds.pseudoTerminal ? "(POSIX)" : "(Windows)");
}

constexpr stbsim::SimLineKinds kPosix{true, true};
constexpr stbsim::SimLineKinds kWindows{false, false};

class SimComArgsTest : public ::testing::TestWithParam<ComCase> {};

TEST_P(SimComArgsTest, TakesOrRefusesThePort) {
  const ComCase& c = GetParam();
  const auto command = stbsim::ParseSimArgs(c.args, c.kinds);
  if (c.device.empty()) {
    EXPECT_FALSE(command.error.empty());
    return;
  }
  ASSERT_TRUE(command.error.empty()) << command.error;
  EXPECT_EQ(command.options.device, c.device);
  // A serial port is the tool's port's far end: no link names it.
  EXPECT_FALSE(command.options.makePortLink);
  EXPECT_EQ(command.options.pace, c.pace);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimComArgsTest,
    ::testing::Values(ComCase{{"--com", "COM6"}, kWindows, "COM6", false},
                      ComCase{{"--com", "\\\\.\\com012"}, kWindows, "COM12", false},
                      ComCase{{"--com", "COM256", "--pace"}, kWindows, "COM256", true},
                      ComCase{{"--com", "COM6", "--baud", "9600"}, kWindows, "COM6", true},
                      ComCase{{"--com", "COM6", "--no-link"}, kWindows, "COM6", false},
                      ComCase{{"--com", "COM5"}, kPosix, "COM5", false},
                      ComCase{{"--com", "/dev/ttyUSB0"}, kPosix, "/dev/ttyUSB0", false},
                      // Windows names ports only.
                      ComCase{{"--com", "/dev/ttyUSB0"}, kWindows, "", false},
                      ComCase{{"--com", "COM0"}, kPosix, "", false},
                      ComCase{{"--com", "COM257"}, kWindows, "", false},
                      ComCase{{"--com", ""}, kPosix, "", false},
                      ComCase{{"--com"}, kWindows, "", false},
                      // A link folder names pseudo-terminals, which a port line has none of.
                      ComCase{{"--com", "COM6", "--port-dir", "ports"}, kPosix, "", false},
                      ComCase{{"--port-dir", "ports"}, kWindows, "", false},
                      // Without pseudo-terminals the port must be named.
                      ComCase{{}, kWindows, "", false},
                      ComCase{{"--mode", "dsp"}, kWindows, "", false}));

TEST(SimComArgsTest, PseudoTerminalLineStaysTheDefaultWherePossible) {
  const auto command = stbsim::ParseSimArgs({}, kPosix);
  EXPECT_TRUE(command.error.empty());
  EXPECT_TRUE(command.options.device.empty());
  EXPECT_TRUE(command.options.pace);
}

struct FaultCase {
  std::string text;
  bool ok;
  Fault expected;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.text; }

class ParseFaultTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(ParseFaultTest, Parses) {
  Fault fault;
  std::string error;
  const bool ok = stbsim::ParseFault(GetParam().text, fault, error);
  ASSERT_EQ(ok, GetParam().ok) << error;
  if (!ok) {
    EXPECT_FALSE(error.empty());
    return;
  }
  const Fault& want = GetParam().expected;
  EXPECT_EQ(fault.phase, want.phase);
  EXPECT_EQ(fault.index, want.index);
  EXPECT_EQ(fault.kind, want.kind);
  EXPECT_EQ(fault.bytes, want.bytes);
  EXPECT_EQ(fault.flipMask, want.flipMask);
  EXPECT_EQ(fault.delay, want.delay);
  EXPECT_EQ(fault.times, want.times);
}

constexpr int kAny = stbsim::kAnyIndex;

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, ParseFaultTest,
    ::testing::Values(
        FaultCase{"packet@2=replace:AB4D4F52x3", true, {SimPhase::PacketReply, 2, FaultKind::Replace, {0xAB, 0x4D, 0x4F, 0x52}, 0x01, 0ms, 3}},
        FaultCase{"header=silent", true, {SimPhase::HeaderReply, kAny, FaultKind::Replace, {}, 0x01, 0ms, 1}},
        FaultCase{"dsp-header=replace:43xforever", true, {SimPhase::DspHeaderReply, kAny, FaultKind::Replace, {0x43}, 0x01, 0ms, stbsim::kForever}},
        FaultCase{"request=flip", true, {SimPhase::RequestReply, kAny, FaultKind::FlipBits, {}, 0x01, 0ms, 1}},
        FaultCase{"flash-done=flip:80", true, {SimPhase::FlashDone, kAny, FaultKind::FlipBits, {}, 0x80, 0ms, 1}},
        FaultCase{"greeting=garbage:00FF", true, {SimPhase::Greeting, kAny, FaultKind::Garbage, {0x00, 0xFF}, 0x01, 0ms, 1}},
        FaultCase{"eot@1=late:1500x2", true, {SimPhase::EotReply, 1, FaultKind::Late, {}, 0x01, 1500ms, 2}},
        FaultCase{"block@7=vanish", true, {SimPhase::BlockReply, 7, FaultKind::Vanish, {}, 0x01, 0ms, 1}},
        FaultCase{"contact=replace:78x10", true, {SimPhase::ContactC, kAny, FaultKind::Replace, {'x'}, 0x01, 0ms, 10}},
        FaultCase{"closing=replace:18", true, {SimPhase::ClosingReply, kAny, FaultKind::Replace, {0x18}, 0x01, 0ms, 1}},
        FaultCase{"flash-start=replace:", true, {SimPhase::FlashStart, kAny, FaultKind::Replace, {}, 0x01, 0ms, 1}},
        FaultCase{"packet", false, {}},
        FaultCase{"nowhere=silent", false, {}},
        FaultCase{"packet@x=silent", false, {}},
        FaultCase{"packet=replace:ABC", false, {}},
        FaultCase{"packet=replace:ZZ", false, {}},
        FaultCase{"packet=replace", false, {}},
        FaultCase{"packet=garbage:", false, {}},
        FaultCase{"packet=flip:0102", false, {}},
        FaultCase{"packet=late", false, {}},
        FaultCase{"packet=silentx0", false, {}}));
// clang-format on

TEST(ParseHexBytesTest, PairsOfHexDigits) {
  Bytes bytes;
  EXPECT_TRUE(stbsim::ParseHexBytes("abCD01", bytes));
  EXPECT_EQ(bytes, Bytes({0xAB, 0xCD, 0x01}));
  EXPECT_TRUE(stbsim::ParseHexBytes("", bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_FALSE(stbsim::ParseHexBytes("A", bytes));
  EXPECT_FALSE(stbsim::ParseHexBytes("G0", bytes));
  EXPECT_FALSE(stbsim::ParseHexBytes("+1", bytes));
}

}  // namespace
