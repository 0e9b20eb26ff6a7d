// zarn-upload: its command line, its exit statuses and what goes to which
// stream, run as a child process against the simulated STB.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "Adexcept.h"
#include "AdmissionCases.h"
#include "ChildProcess.h"
#include "CommandLine.h"
#include "DspPath.h"
#include "ImageBuilder.h"
#include "ProgressBar.h"
#include "PtyPair.h"
#include "StbSimulator.h"
#include "TempDir.h"
#include "UploadCommand.h"
#include "ZarnWords.h"

namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

const std::string kProgram = ZARN_UPLOAD_PATH;

// --- The command line on its own.

struct ParseRow {
  const char* name;
  Strings arguments;
  bool valid;
  CommandLine::Action action;
  std::string devicePath;
  uint16_t comNumber;
  std::string imagePath;
};

class CommandLineParsing : public testing::TestWithParam<ParseRow> {};

TEST_P(CommandLineParsing, ReadsTheActionThePortAndTheFile) {
  const ParseRow& row = GetParam();
  const ParsedCommandLine parsed = ParseCommandLine(row.arguments);
  ASSERT_EQ(parsed.command.has_value(), row.valid) << parsed.error;
  if (!row.valid) {
    EXPECT_FALSE(parsed.error.empty());
    return;
  }
  EXPECT_EQ(parsed.command->action, row.action);
  EXPECT_EQ(parsed.command->devicePath, row.devicePath);
  EXPECT_EQ(parsed.command->comNumber, row.comNumber);
  EXPECT_EQ(parsed.command->imagePath, row.imagePath);
}

using A = CommandLine::Action;
// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Table, CommandLineParsing,
    testing::Values(
        ParseRow{"DevicePath", {"--port", "/dev/ttyUSB0", "a.zarn"}, true, A::Upload, "/dev/ttyUSB0", 0, "a.zarn"},
        ParseRow{"FileFirst", {"a.zarn", "--port", "/dev/pts/3"}, true, A::Upload, "/dev/pts/3", 0, "a.zarn"},
        ParseRow{"ComName", {"--port", "COM31", "a.zarn"}, true, A::Upload, "", 31, "a.zarn"},
        ParseRow{"ComNameAnyCase", {"-p", "com7", "a.zarn"}, true, A::Upload, "", 7, "a.zarn"},
        ParseRow{"WindowsDeviceName", {"--port", R"(\\.\COM12)", "a.zarn"}, true, A::Upload, "", 12, "a.zarn"},
        ParseRow{"WindowsDeviceNameNoNumber", {"--port", R"(\\.\COMx)", "a"}, true, A::Upload, R"(\\.\COMx)", 0, "a"},
        ParseRow{"WindowsDeviceComZero", {"--port", R"(\\.\COM0)", "a"}, false, A::Help, "", 0, ""},
        ParseRow{"PortWithEquals", {"--port=COM2", "a.zarn"}, true, A::Upload, "", 2, "a.zarn"},
        ParseRow{"DashDashFile", {"--port", "COM2", "--", "--odd.zarn"}, true, A::Upload, "", 2, "--odd.zarn"},
        ParseRow{"ListPorts", {"--list-ports"}, true, A::ListPorts, "", 0, ""},
        ParseRow{"Help", {"--help"}, true, A::Help, "", 0, ""},
        ParseRow{"HelpWinsOverErrors", {"--port", "COM1", "-h"}, true, A::Help, "", 0, ""},
        ParseRow{"Version", {"--version"}, true, A::Version, "", 0, ""},
        ParseRow{"Nothing", {}, false, A::Help, "", 0, ""},
        ParseRow{"NoPort", {"a.zarn"}, false, A::Help, "", 0, ""},
        ParseRow{"PortWithoutValue", {"--port"}, false, A::Help, "", 0, ""},
        ParseRow{"NoFile", {"--port", "COM1"}, false, A::Help, "", 0, ""},
        ParseRow{"TwoFiles", {"--port", "COM1", "a", "b"}, false, A::Help, "", 0, ""},
        ParseRow{"TwoPorts", {"--port", "COM1", "--port", "COM2", "a"}, false, A::Help, "", 0, ""},
        ParseRow{"ComZero", {"--port", "COM0", "a"}, false, A::Help, "", 0, ""},
        ParseRow{"ComTooLarge", {"--port", "COM70000", "a"}, false, A::Help, "", 0, ""},
        ParseRow{"ComHighest", {"--port", "COM256", "a"}, true, A::Upload, "", 256, "a"},
        ParseRow{"ComBeyondTheHighest", {"--port", "COM257", "a"}, false, A::Help, "", 0, ""},
        ParseRow{"UnknownOption", {"--speed", "9600"}, false, A::Help, "", 0, ""},
        ParseRow{"ListPortsWithMore", {"--list-ports", "a"}, false, A::Help, "", 0, ""}),
    [](const testing::TestParamInfo<ParseRow>& info) { return std::string(info.param.name); });
// clang-format on

// --fast: the fast transfer of a .DSP file; refused for a ZARN image.
struct FastRow {
  const char* name;
  Strings arguments;
  bool valid;
  bool fast;
};

class FastOption : public testing::TestWithParam<FastRow> {};

TEST_P(FastOption, IsForDspFilesOnly) {
  const FastRow& row = GetParam();
  const ParsedCommandLine parsed = ParseCommandLine(row.arguments);
  ASSERT_EQ(parsed.command.has_value(), row.valid) << parsed.error;
  if (row.valid) {
    EXPECT_EQ(parsed.command->fast, row.fast);
  } else {
    EXPECT_FALSE(parsed.error.empty());
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Table, FastOption,
    testing::Values(FastRow{"DspFile", {"--port", "COM1", "--fast", "a.DSP"}, true, true},
                    FastRow{"AfterTheFile", {"--port", "/dev/pts/3", "dir/b.dsp", "--fast"}, true, true},
                    FastRow{"NotGiven", {"--port", "COM1", "a.DSP"}, true, false},
                    FastRow{"ZarnImage", {"--port", "COM1", "--fast", "a.zarn"}, false, false},
                    FastRow{"WithListPorts", {"--list-ports", "--fast"}, false, false}),
    [](const testing::TestParamInfo<FastRow>& info) { return std::string(info.param.name); });
// clang-format on

struct DspRow {
  const char* path;
  bool dsp;
};

class TaskKindByName : public testing::TestWithParam<DspRow> {};

TEST_P(TaskKindByName, LastFourCharactersDecide) {
  EXPECT_EQ(IsDspPath(GetParam().path), GetParam().dsp) << GetParam().path;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, TaskKindByName,
                         testing::Values(DspRow{"a.dsp", true}, DspRow{"A.DSP", true},
                                         DspRow{"dir/x.Dsp", true}, DspRow{".DSP", true},
                                         DspRow{"a.dsp.bak", false}, DspRow{"aDSP", false},
                                         DspRow{"DSP", false}, DspRow{"a.zarn", false},
                                         DspRow{"\xc3\xa9t\xc3\xa9.dsp", true}, DspRow{"", false}));
// clang-format on

struct BarRow {
  int minimum, maximum, position;
  std::string line;
};

class ProgressBarText : public testing::TestWithParam<BarRow> {};

TEST_P(ProgressBarText, FillsInProportionAndShowsThePercentage) {
  const BarRow& row = GetParam();
  EXPECT_EQ(RenderProgressBar(row.minimum, row.maximum, row.position, 10), row.line);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, ProgressBarText,
                         testing::Values(BarRow{0, 100, 0, "[          ]   0%"},
                                         BarRow{0, 100, 50, "[#####     ]  50%"},
                                         BarRow{0, 100, 100, "[##########] 100%"},
                                         BarRow{0, 100, 250, "[##########] 100%"},
                                         BarRow{0, 0, 0, "[          ]   0%"},
                                         BarRow{0, 2000000000, 1999999999, "[######### ]  99%"},
                                         BarRow{100, 200, 150, "[#####     ]  50%"}));
// clang-format on

// --- The program.

TEST(ZarnUploadProgram, HelpAndVersionGoToStdoutAndExitZero) {
  const ChildResult help = RunChild(kProgram, {"--help"});
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_NE(help.out.find("--port DEVICE FILE"), std::string::npos);
  EXPECT_NE(help.out.find("--fast"), std::string::npos);
  EXPECT_NE(help.out.find("relies on the 200 ms pause"), std::string::npos);
  EXPECT_TRUE(help.err.empty());
  const ChildResult version = RunChild(kProgram, {"--version"});
  EXPECT_EQ(version.exitStatus, 0);
  EXPECT_NE(version.out.find("ZARN Multi-Loader V1.20"), std::string::npos);
  EXPECT_TRUE(version.err.empty());
}

class UsageErrors : public testing::TestWithParam<Strings> {};

TEST_P(UsageErrors, ExitTwoWithTheUsageOnStderrAndNothingOnStdout) {
  const ChildResult result = RunChild(kProgram, GetParam());
  EXPECT_EQ(result.exitStatus, 2);
  EXPECT_TRUE(result.out.empty()) << result.out;
  EXPECT_NE(result.err.find("Usage:"), std::string::npos) << result.err;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Program, UsageErrors,
                         testing::Values(Strings{}, Strings{"--port"}, Strings{"image.zarn"},
                                         Strings{"--bogus"}, Strings{"--port", "COM0", "x"},
                                         Strings{"--port", "COM1", "a", "b"},
                                         Strings{"--port", "COM1", "--fast", "image.zarn"}));
// clang-format on

class ZarnUploadRun : public testing::Test {
 protected:
  std::string WriteImage(const std::string& name, const std::vector<uint8_t>& bytes) {
    return folder_.Write(name, bytes);
  }

  // Runs zarn-upload on the STB's line; the STB starts once the task has
  // flushed and said so, or its greeting would be flushed away.
  ChildResult RunAgainst(stbsim::StbSimulator& sim, const std::string& file,
                         bool stderrOnTerminal = false, bool interruptWhenWaiting = false) {
    ChildOptions options;
    options.stderrOnTerminal = stderrOnTerminal;
    options.onOutLine = [&](const std::string& line, int pid) {
      if (line != "Waiting for STB...") return;
      if (interruptWhenWaiting) {
        kill(pid, SIGINT);
      } else {
        sim.Start();
      }
    };
    Strings arguments = {"--port", sim.SlavePath()};
    arguments.insert(arguments.end(), extraArguments_.begin(), extraArguments_.end());
    arguments.push_back(file);
    return RunChild(kProgram, arguments, options);
  }

  static stbsim::SimOptions QuickStb() {
    stbsim::SimOptions options;
    options.greetInterval = 0ms;
    options.flashTime = 20ms;
    options.restartTime = 20ms;
    options.loop = false;
    return options;
  }

  TempDir folder_{"zarn_tasks"};
  // Given before the file by RunAgainst.
  Strings extraArguments_;
};

// The files the admission rule refuses (the table the tasks' tests share):
// one that does not open as a regular file is a usage error found before the
// port is touched; one refused for its length is refused by the task, with
// its box, as Send refuses it.
using AdmissionParam = std::tuple<AdmissionCase, UploadProtocol>;

class RefusedFile : public ZarnUploadRun, public testing::WithParamInterface<AdmissionParam> {};

TEST_P(RefusedFile, ExitsTwoBeforeThePortOrOneWithTheTasksBox) {
  const auto& [row, protocol] = GetParam();
  const std::string path = row.make(folder_, ExtensionFor(protocol));
  const UploadProtocol chosen = ProtocolForPath(path);  // by the name, as Send chooses
  if (row.For(chosen) == ImageAdmission::Verdict::CannotOpen) {
    const ChildResult result = RunChild(kProgram, {"--port", "/dev/null", path});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_TRUE(result.out.empty()) << result.out;
    EXPECT_EQ(result.err, "zarn-upload: " + path + ": " + CheckImage(path, chosen).problem + "\n");
    EXPECT_NE(result.err.find(row.words), std::string::npos) << result.err;
    return;
  }
  stbsim::SimOptions stb = QuickStb();
  stb.mode = chosen == UploadProtocol::Dsp ? stbsim::SimMode::Dsp : stbsim::SimMode::Zarn;
  stbsim::StbSimulator sim(stb);
  const ChildResult result = RunAgainst(sim, path);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.err, "File Error: " + CheckImage(path, chosen).refusal + "\n");
  EXPECT_EQ(sim.Snapshot().bytesReceived, 0);
}

INSTANTIATE_TEST_SUITE_P(Program, RefusedFile, testing::ValuesIn(RefusedAdmissionCases()),
                         [](const testing::TestParamInfo<AdmissionParam>& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) == UploadProtocol::Dsp ? "_Dsp"
                                                                                  : "_Zarn");
                         });

TEST_F(ZarnUploadRun, PortThatCannotOpenExitsTwoWithTheSerialLayersMessage) {
  const std::string file = WriteImage("a.zarn", MakeImage("DAT", PatternBody(10)));
  const std::string device = folder_.Path() + "/no-such-tty";
  const ChildResult result = RunChild(kProgram, {"--port", device, file});
  EXPECT_EQ(result.exitStatus, 2);
  EXPECT_TRUE(result.out.empty());
  EXPECT_NE(result.err.find(device), std::string::npos) << result.err;
  EXPECT_NE(result.err.find(ErrorMsg(ecBadId)), std::string::npos) << result.err;
}

TEST_F(ZarnUploadRun, CompleteUploadExitsZeroWithTheLogOnStdoutOnly) {
  stbsim::StbSimulator sim(QuickStb());
  const auto image = MakeImage("FORCE", PatternBody(100));
  const ChildResult result = RunAgainst(sim, WriteImage("a.zarn", image));
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(result.OutLines(),
            (Strings{"Waiting for STB...", "Initializing Upload task...", zarn::PacketLine(0, true),
                     "Writing to FLASH, please wait...", "Writing to FLASH [OK], restarting...",
                     "Upload task terminated!!!"}));
  EXPECT_TRUE(result.err.empty()) << result.err;  // no terminal: no progress bar
  ASSERT_TRUE(sim.WaitUntilFinished(5s));
  EXPECT_EQ(sim.LastUpload().Image(), image);
}

// An STB that answers each block 300 ms late: only the fast transfer, which
// waits for the answer, gets the file through.
TEST_F(ZarnUploadRun, FastDspUploadNamesItsModeAndWaitsForASlowStb) {
  stbsim::SimOptions stb = QuickStb();
  stb.mode = stbsim::SimMode::Dsp;
  stb.blockReplyDelay = 300ms;
  stbsim::StbSimulator sim(stb);
  const auto content = PatternBody(2500);
  extraArguments_ = {"--fast"};
  const ChildResult result = RunAgainst(sim, WriteImage("slow.DSP", content));
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(result.OutLines(),
            (Strings{"Waiting for STB...", "connection established!!!", "Fast transfer",
                     "Packet 0/2 OK, sent 0Bytes", "Packet 1/2 OK, sent 1024Bytes",
                     "Packet 2/2 OK, sent 2048Bytes", "Download task terminated!!!"}));
  ASSERT_TRUE(sim.WaitUntilFinished(5s));
  EXPECT_EQ(sim.LastUpload().dspFile, content);
}

TEST_F(ZarnUploadRun, ProgressBarIsDrawnOnATerminalStderr) {
  stbsim::StbSimulator sim(QuickStb());
  const ChildResult result =
      RunAgainst(sim, WriteImage("a.zarn", MakeImage("DAT", PatternBody(100))), true);
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_NE(result.err.find("[########################################] 100%"), std::string::npos)
      << result.err;
  EXPECT_EQ(result.OutLines().back(), "Upload task terminated!!!");
}

TEST_F(ZarnUploadRun, FailureBoxGoesToStderrAndTheExitIsOne) {
  stbsim::SimOptions options = QuickStb();
  stbsim::Fault wrongReply;
  wrongReply.phase = stbsim::SimPhase::RequestReply;
  wrongReply.bytes = {0xBA, 0x44, 0x6E, 0x91};
  options.faults = {wrongReply};
  stbsim::StbSimulator sim(options);
  const ChildResult result =
      RunAgainst(sim, WriteImage("a.zarn", MakeImage("DAT", PatternBody(10))));
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.err, "Error: Bad STB response! Aborting ...\n");
  EXPECT_EQ(result.OutLines(),
            (Strings{"Waiting for STB...", "Initializing Upload task...",
                     "Bad STB response! Aborting...", "Upload task terminated!!!"}));
}

TEST_F(ZarnUploadRun, EarlyEndWithoutABoxExitsOne) {
  stbsim::SimOptions options = QuickStb();
  options.greeting = {'K', 'G', 'X'};
  stbsim::StbSimulator sim(options);
  const ChildResult result =
      RunAgainst(sim, WriteImage("a.zarn", MakeImage("DAT", PatternBody(10))));
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_TRUE(result.err.empty()) << result.err;
  EXPECT_EQ(result.OutLines(), (Strings{"Waiting for STB...", "Upload task terminated!!!"}));
}

struct InterruptRow {
  const char* fileName;
  const char* terminationLine;
};

class Interrupt : public ZarnUploadRun, public testing::WithParamInterface<InterruptRow> {};

TEST_P(Interrupt, FirstCtrlCStopsTheTaskAndTheTerminationLineComesLast) {
  PtyPair silentStb(PtyPair::SlaveEnd::HeldOpen);  // nobody answers
  const std::string file = WriteImage(GetParam().fileName, MakeImage("DAT", PatternBody(10)));
  ChildOptions options;
  options.onOutLine = [](const std::string& line, int pid) {
    if (line == "Waiting for STB...") kill(pid, SIGINT);
  };
  const ChildResult result = RunChild(kProgram, {"--port", silentStb.SlavePath(), file}, options);
  EXPECT_EQ(result.exitStatus, 1);
  const Strings lines = result.OutLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), GetParam().terminationLine);
  // Stopped in the first wait, long before its 10 s limit.
  for (const auto& line : lines) EXPECT_EQ(line.find("Timeout"), std::string::npos) << line;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Program, Interrupt,
                         testing::Values(InterruptRow{"image.zarn", "Upload task terminated!!!"},
                                         InterruptRow{"image.DSP", "Download task terminated!!!"}),
                         [](const testing::TestParamInfo<InterruptRow>& info) {
                           return std::string(info.param.fileName[6] == 'z' ? "ZarnImage" : "DspFile");
                         });
// clang-format on

// Ctrl-C in the middle of the transfer: the data blocks of the default DSP
// pacing look at no stop request, so only the port closed under them, as
// Disconnect closes it, ends them; the ZARN packets end on the stop request
// itself.
struct MidTransferRow {
  const char* name;
  stbsim::SimMode mode;
  std::string fileName;
  std::vector<uint8_t> content;  // long enough to run for many seconds
  std::string interruptAfter;    // the first packet's line
  std::string box;               // the failure box on stderr
  std::string terminationLine;
};

// Names the row in the test list instead of dumping its bytes.
void PrintTo(const MidTransferRow& row, std::ostream* os) { *os << row.name; }

class MidTransferInterrupt : public ZarnUploadRun,
                             public testing::WithParamInterface<MidTransferRow> {};

TEST_P(MidTransferInterrupt, EndsSoonWithTheFailureBoxAndTheTerminationLineLast) {
  const MidTransferRow& row = GetParam();
  stbsim::SimOptions stb = QuickStb();
  stb.mode = row.mode;
  stbsim::StbSimulator sim(stb);
  const std::string file = WriteImage(row.fileName, row.content);

  ChildOptions options;
  // Sent in full, either upload takes far longer than this.
  options.deadline = 15s;
  options.onOutLine = [&](const std::string& line, int pid) {
    if (line == "Waiting for STB...") sim.Start();
    if (line == row.interruptAfter) kill(pid, SIGINT);
  };
  const ChildResult result = RunChild(kProgram, {"--port", sim.SlavePath(), file}, options);

  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.err,
            "zarn-upload: stopping the upload (Ctrl-C again quits at once)\n" + row.box + "\n");
  const Strings lines = result.OutLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.back(), row.terminationLine);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), row.interruptAfter), 1);
}

constexpr size_t kDspBlocks = 150;   // 200 ms a block: half a minute in full
constexpr size_t kZarnPackets = 30;  // about 0.8 s a packet

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Program, MidTransferInterrupt,
    testing::Values(
        MidTransferRow{"DspDataBlocks", stbsim::SimMode::Dsp, "image.DSP",
                       PatternBody(kDspBlocks * 1024),
                       "Packet 0/" + std::to_string(kDspBlocks) + " OK, sent 0Bytes",
                       "File Error: Problem reading from file.", "Download task terminated!!!"},
        MidTransferRow{"ZarnPackets", stbsim::SimMode::Zarn, "image.zarn",
                       MakeImage("DAT", PatternBody(kZarnPackets * zarn::kMaxChunk)),
                       zarn::PacketLine(0, true), "Error!: Communication error",
                       "Upload task terminated!!!"}),
    [](const testing::TestParamInfo<MidTransferRow>& info) { return std::string(info.param.name); });
// clang-format on

// --- The exit status a script can trust: 0 only when the STB confirmed.

struct FinalWordRow {
  const char* name;
  stbsim::SimMode mode;
  std::string fileName;
  std::vector<uint8_t> content;
  std::vector<stbsim::Fault> faults;
  bool flashError;
  int exitStatus;
  std::string lastReport;  // the line before the termination line ("" : any)
};

void PrintTo(const FinalWordRow& row, std::ostream* os) { *os << row.name; }

class FinalWord : public ZarnUploadRun, public testing::WithParamInterface<FinalWordRow> {};

TEST_P(FinalWord, DecidesTheExitStatus) {
  const FinalWordRow& row = GetParam();
  stbsim::SimOptions stb = QuickStb();
  stb.mode = row.mode;
  stb.faults = row.faults;
  stb.flashError = row.flashError;
  stbsim::StbSimulator sim(stb);
  const ChildResult result = RunAgainst(sim, WriteImage(row.fileName, row.content));
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitStatus, row.exitStatus) << result.out << result.err;
  const Strings lines = result.OutLines();
  ASSERT_GE(lines.size(), 2u);
  if (!row.lastReport.empty()) {
    EXPECT_EQ(lines[lines.size() - 2], row.lastReport);
  }
}

stbsim::Fault FlashDoneWord(std::vector<uint8_t> word) {
  return {
      stbsim::SimPhase::FlashDone, 0, stbsim::FaultKind::Replace, std::move(word), 0x01, 0ms, 1};
}

std::vector<uint8_t> Word(uint32_t word) {
  return {static_cast<uint8_t>(word >> 24), static_cast<uint8_t>(word >> 16),
          static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)};
}

constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNak = 0x15;
constexpr uint8_t kCan = 0x18;

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Program, FinalWord,
    testing::Values(
        FinalWordRow{"FlashOk", stbsim::SimMode::Zarn, "a.zarn", MakeImage("DAT", PatternBody(10)),
                     {}, false, 0, "Writing to FLASH [OK], restarting..."},
        FinalWordRow{"FlashErr", stbsim::SimMode::Zarn, "a.zarn", MakeImage("DAT", PatternBody(10)),
                     {}, true, 1, "Writing to FLASH [ERR], restarting..."},
        FinalWordRow{"RestartGreeting", stbsim::SimMode::Zarn, "a.zarn",
                     MakeImage("DAT", PatternBody(10)), {FlashDoneWord({'K', 'G', 'S', 'K'})}, false, 3,
                     "STB restarted in ZARN mode!!!"},
        FinalWordRow{"OtherModeC", stbsim::SimMode::Zarn, "a.zarn", MakeImage("DAT", PatternBody(10)),
                     {FlashDoneWord({'C', 'C', 'C', 'C'})}, false, 3, "STB restarted in Orvane mode!!!"},
        FinalWordRow{"UnknownWord", stbsim::SimMode::Zarn, "a.zarn", MakeImage("DAT", PatternBody(10)),
                     {FlashDoneWord({0x00, 0x11, 0x22, 0x33})}, false, 3, "Writing to FLASH, please wait..."},
        // PacketBad stands for any other known word: none of them confirms.
        FinalWordRow{"PacketBadWord", stbsim::SimMode::Zarn, "a.zarn",
                     MakeImage("DAT", PatternBody(10)), {FlashDoneWord(Word(zarn::PacketBad))}, false, 3,
                     "Writing to FLASH, please wait..."},
        FinalWordRow{"FailureBox", stbsim::SimMode::Zarn, "a.zarn", MakeImage("DAT", PatternBody(10)),
                     {{stbsim::SimPhase::RequestReply, 0, stbsim::FaultKind::Replace,
                       Word(zarn::PacketBad), 0x01, 0ms, 1}},
                     false, 1, "Bad STB response! Aborting..."},
        FinalWordRow{"ClosingBlockAcknowledged", stbsim::SimMode::Dsp, "a.DSP", PatternBody(100), {},
                     false, 0, "Packet 0/0 OK, sent 0Bytes"},
        FinalWordRow{"ClosingBlockNeverAcknowledged", stbsim::SimMode::Dsp, "a.DSP", PatternBody(100),
                     {{stbsim::SimPhase::ClosingReply, stbsim::kAnyIndex, stbsim::FaultKind::Replace,
                       {kNak}, 0x01, 0ms, stbsim::kForever}},
                     false, 3, "Packet 0/0 OK, sent 0Bytes"},
        FinalWordRow{"ClosingBlockCancelled", stbsim::SimMode::Dsp, "a.DSP", PatternBody(100),
                     {{stbsim::SimPhase::ClosingReply, 0, stbsim::FaultKind::Replace, {kCan}, 0x01, 0ms, 1}},
                     false, 1, "Trasf. file hr error!!!"}),
    [](const testing::TestParamInfo<FinalWordRow>& info) { return std::string(info.param.name); });
// clang-format on

// --- A line that vanishes ends the program soon, with status 1.

struct VanishRow {
  const char* name;
  stbsim::SimMode mode;
  std::string fileName;
  std::vector<uint8_t> content;
  int64_t vanishAtByte;
  std::string box;
  std::string terminationLine;
};

void PrintTo(const VanishRow& row, std::ostream* os) { *os << row.name; }

class LineVanishes : public ZarnUploadRun, public testing::WithParamInterface<VanishRow> {};

// From the unplug to the exit: the task ends through its port-failure path at
// once (no limit waited out, nothing sent into the dead line), and the drain
// before the close returns at once on the dead port. It takes well under a
// second; the bound only has to stay below the shortest limit the program
// would otherwise wait out (5 s), with room for a sanitizer tree on a busy
// machine.
constexpr auto kUnplugToExit = 4s;

TEST_P(LineVanishes, ExitsOneSoonWithThePhasesBox) {
  const VanishRow& row = GetParam();
  stbsim::SimOptions stb = QuickStb();
  stb.mode = row.mode;
  stb.vanishAtByte = row.vanishAtByte;
  stbsim::StbSimulator sim(stb);
  const ChildResult result = RunAgainst(sim, WriteImage(row.fileName, row.content));
  const auto exited = std::chrono::steady_clock::now();
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitStatus, 1) << result.out << result.err;
  EXPECT_NE(result.err.find(row.box + "\n"), std::string::npos) << result.err;
  const Strings lines = result.OutLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), row.terminationLine);
  const auto events = sim.Events();
  const auto vanished = std::find_if(events.begin(), events.end(), [](const stbsim::SimEvent& e) {
    return e.text.find("vanished") != std::string::npos;
  });
  ASSERT_NE(vanished, events.end());
  EXPECT_LT(exited - vanished->at, kUnplugToExit);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Program, LineVanishes,
    testing::Values(
        VanishRow{"ZarnHeader", stbsim::SimMode::Zarn, "a.zarn", MakeImage("DAT", PatternBody(10)), 20,
                  "Error!: Initialisation error", "Upload task terminated!!!"},
        VanishRow{"ZarnPacket", stbsim::SimMode::Zarn, "a.zarn",
                  MakeImage("DAT", PatternBody(3 * zarn::kMaxChunk)), 68 + 100,
                  "Error!: Communication error", "Upload task terminated!!!"},
        VanishRow{"ZarnEndWord", stbsim::SimMode::Zarn, "a.zarn", MakeImage("DAT", PatternBody(10)),
                  4 + 64 + 22 + 1, "Error!: TimeOut waiting for STB!", "Upload task terminated!!!"},
        VanishRow{"DspHeader", stbsim::SimMode::Dsp, "a.DSP", PatternBody(4000), 50,
                  "File Error: Problem reading from file.", "Download task terminated!!!"},
        VanishRow{"DspDataBlock", stbsim::SimMode::Dsp, "a.DSP", PatternBody(4000), 133 + 1030 + 500,
                  "File Error: Problem reading from file.", "Download task terminated!!!"},
        VanishRow{"DspClosingBlock", stbsim::SimMode::Dsp, "a.DSP", PatternBody(100), 133 + 1030 + 2 + 10,
                  "File Error: Problem reading from file.", "Download task terminated!!!"}),
    [](const testing::TestParamInfo<VanishRow>& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(ZarnUploadRun, ListPortsShowsTheSimulatorsLink) {
  stbsim::SimOptions options = QuickStb();
  options.makePortLink = true;
  options.portDir = folder_.Path() + "/ports";
  std::filesystem::create_directories(options.portDir);
  stbsim::StbSimulator sim(options);
  ASSERT_FALSE(sim.PortName().empty());
  ChildOptions child;
  child.extraEnvironment = {"ZARN_PORT_DIR=" + options.portDir};
  const ChildResult result = RunChild(kProgram, {"--list-ports"}, child);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_NE(result.out.find(sim.PortName() + "  "), std::string::npos) << result.out;
}

}  // namespace
