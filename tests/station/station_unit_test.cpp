// The station's decisions without processes or lines: the children's JSON
// lines, the port state machine (results, the re-arm rule, stopping), the
// totals, the command line and the table's port lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ChildEvent.h"
#include "OperatorInput.h"
#include "PortMachine.h"
#include "Station.h"
#include "StationCommandLine.h"
#include "StationTable.h"

namespace {

using Kind = ChildEvent::Kind;
using namespace std::chrono_literals;

// --- the children's lines

struct LineRow {
  const char* name;
  std::string line;
  Kind kind;
};

void PrintTo(const LineRow& row, std::ostream* os) { *os << row.name; }

class ChildLines : public testing::TestWithParam<LineRow> {};

TEST_P(ChildLines, AreReadAsTheirEventOrAsUnreadable) {
  const LineRow& row = GetParam();
  const ChildEvent event = ParseChildEvent(row.line);
  EXPECT_EQ(event.kind, row.kind) << row.line;
  if (row.kind == Kind::Unreadable) {
    std::string expected = row.line;
    if (!expected.empty() && expected.back() == '\r') expected.pop_back();
    EXPECT_EQ(event.line, expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Station, ChildLines,
    testing::Values(
        LineRow{"start",
                R"({"event":"start","port":"COM31","file":"a.ZARN","protocol":"ZARN",)"
                R"("fast":false,"size":20064,"crc32":"A56A6849"})",
                Kind::Start},
        LineRow{"log with CR", "{\"event\":\"log\",\"line\":\"Waiting for STB...\"}\r", Kind::Log},
        LineRow{"progress", R"({"event":"progress","done":8188,"total":20000})", Kind::Progress},
        LineRow{"box", R"({"event":"box","title":"Error!","text":"Communication error"})",
                Kind::Box},
        LineRow{"end",
                R"({"event":"end","exitStatus":1,"result":"failed","seconds":9.713,)"
                R"("bytesSent":8188})",
                Kind::End},
        LineRow{"plain text", "Data packet  000  ........... OK", Kind::Unreadable},
        LineRow{"empty line", "", Kind::Unreadable},
        LineRow{"cut object", R"({"event":"progress","done":81)", Kind::Unreadable},
        LineRow{"array", "[1,2]", Kind::Unreadable},
        LineRow{"unknown event", R"({"event":"hello"})", Kind::Unreadable},
        LineRow{"progress as text", R"({"event":"progress","done":"1","total":2})",
                Kind::Unreadable},
        LineRow{"fractional bytes", R"({"event":"progress","done":1.5,"total":2})",
                Kind::Unreadable},
        LineRow{"negative total", R"({"event":"progress","done":0,"total":-2})", Kind::Unreadable},
        LineRow{"end without result",
                R"({"event":"end","exitStatus":0,"seconds":1,)"
                R"("bytesSent":0})",
                Kind::Unreadable},
        LineRow{"unknown result",
                R"({"event":"end","exitStatus":0,"result":"great",)"
                R"("seconds":1,"bytesSent":0})",
                Kind::Unreadable}));

TEST(ChildLines, CarryTheirMembers) {
  const ChildEvent end = ParseChildEvent(
      R"({"event":"end","exitStatus":3,"result":"unconfirmed","seconds":2.5,"bytesSent":77})");
  EXPECT_EQ(end.exitStatus, 3);
  EXPECT_EQ(end.result, "unconfirmed");
  EXPECT_DOUBLE_EQ(end.seconds, 2.5);
  EXPECT_EQ(end.bytesSent, 77);
  const ChildEvent progress = ParseChildEvent(R"({"event":"progress","done":5,"total":9})");
  EXPECT_EQ(progress.done, 5);
  EXPECT_EQ(progress.total, 9);
}

// --- one unit through the machine: the events a child prints, how it ends,
// and what the port then shows.

ChildEvent Line(const std::string& json) { return ParseChildEvent(json); }

const std::string kStart =
    R"({"event":"start","port":"COM31","file":"a.ZARN","protocol":"ZARN","fast":false,)"
    R"("size":100,"crc32":"00000000"})";
const std::string kWaiting = R"({"event":"log","line":"Waiting for STB..."})";
const std::string kProgress = R"({"event":"progress","done":50,"total":100})";
const std::string kBox = R"({"event":"box","title":"Error!","text":"Communication error"})";
const std::string kConfirmed =
    R"({"event":"end","exitStatus":0,"result":"confirmed","seconds":1,"bytesSent":100})";
const std::string kFailed =
    R"({"event":"end","exitStatus":1,"result":"failed","seconds":1,"bytesSent":50})";
const std::string kFlashError =
    R"({"event":"end","exitStatus":1,"result":"flash error","seconds":1,"bytesSent":100})";

struct UnitRow {
  const char* name;
  std::vector<std::string> lines;
  ChildExit exit;
  PortState single;     // the state without loop mode
  PortState looped;     // the state in loop mode
  std::string failure;  // the failure text ("" : passed or none)
  int units;            // units counted
};

void PrintTo(const UnitRow& row, std::ostream* os) { *os << row.name; }

class OneUnit : public testing::TestWithParam<UnitRow> {};

TEST_P(OneUnit, EndsInTheStateItsChildShowed) {
  const UnitRow& row = GetParam();
  for (const bool loop : {false, true}) {
    SCOPED_TRACE(loop ? "loop" : "single");
    PortMachine machine("COM31", loop);
    ASSERT_EQ(machine.Start(), PortAction::StartChild);
    EXPECT_EQ(machine.View().state, PortState::Waiting);
    for (const std::string& line : row.lines) machine.OnEvent(Line(line));
    const PortAction next = machine.OnChildExit(row.exit, std::chrono::system_clock::now());
    const PortView& view = machine.View();
    EXPECT_EQ(view.state, loop ? row.looped : row.single);
    EXPECT_EQ(view.failure, row.failure);
    EXPECT_EQ(view.passed + view.failed, row.units);
    EXPECT_FALSE(machine.ChildRunning());
    if (loop) {
      EXPECT_EQ(next, PortAction::WatchQuiet);
      EXPECT_FALSE(machine.Settled());
    } else {
      EXPECT_EQ(next, PortAction::None);
      EXPECT_TRUE(machine.Settled());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Station, OneUnit,
    testing::Values(UnitRow{"confirmed",
                            {kStart, kWaiting, kProgress, kConfirmed},
                            {false, 0, ""},
                            PortState::Pass,
                            PortState::ReplaceUnit,
                            "",
                            1},
                    UnitRow{"failure box",
                            {kStart, kWaiting, kProgress, kBox, kFailed},
                            {false, 1, ""},
                            PortState::Fail,
                            PortState::ReplaceUnit,
                            "failed: Communication error",
                            1},
                    UnitRow{"flash error",
                            {kStart, kProgress,
                             R"({"event":"log","line":"Writing to FLASH [ERR]"})", kFlashError},
                            {false, 1, ""},
                            PortState::Fail,
                            PortState::ReplaceUnit,
                            "flash error: Writing to FLASH [ERR]",
                            1},
                    UnitRow{"crash after the start",
                            {kStart, kProgress},
                            {true, 0, "Segmentation fault"},
                            PortState::Fail,
                            PortState::ReplaceUnit,
                            "zarn-upload crashed: Segmentation fault",
                            1},
                    UnitRow{"garbage, then a confirmed end",
                            {kStart, "#### garbage ####", kProgress, kConfirmed},
                            {false, 0, ""},
                            PortState::Fail,
                            PortState::ReplaceUnit,
                            "unreadable output from zarn-upload: #### garbage ####",
                            1},
                    UnitRow{"no end event",
                            {kStart, kProgress},
                            {false, 0, ""},
                            PortState::Fail,
                            PortState::ReplaceUnit,
                            "zarn-upload ended without a result (status 0)",
                            1},
                    UnitRow{"confirmed but a failing status",
                            {kStart, kProgress, kConfirmed},
                            {false, 1, ""},
                            PortState::Fail,
                            PortState::ReplaceUnit,
                            "zarn-upload reported confirmed but ended with status 1",
                            1},
                    UnitRow{"program missing",
                            {},
                            {true, 0, "cannot run zarn-upload"},
                            PortState::Fail,
                            PortState::ReplaceUnit,
                            "zarn-upload crashed: cannot run zarn-upload",
                            1}));

// A port that cannot be opened: a single run fails with zarn-upload's words;
// a loop waits for the adapter and then for a quiet line, never counting a
// unit.
TEST(PortMachine, AMissingAdapterFailsASingleRunAndIsWaitedForInALoop) {
  const ChildExit refused{false, 2,
                          "zarn-upload: COM40: ie_BadId - Specified comport doesn't exist"};
  PortMachine single("COM40", false);
  single.Start();
  single.OnChildExit(refused, {});
  EXPECT_EQ(single.View().state, PortState::Fail);
  EXPECT_EQ(single.View().failure, refused.errorText);

  PortMachine loop("COM40", true);
  loop.Start();
  EXPECT_EQ(loop.OnChildExit(refused, {}), PortAction::WatchQuiet);
  EXPECT_EQ(loop.View().state, PortState::AdapterGone);
  EXPECT_EQ(loop.View().passed + loop.View().failed, 0);
  EXPECT_EQ(loop.OnLineMissing("gone"), PortAction::None);  // still gone: nothing new
  EXPECT_EQ(loop.OnLineBack(), PortAction::WatchQuiet);
  EXPECT_EQ(loop.View().state, PortState::ReplaceUnit);
  EXPECT_EQ(loop.OnLineQuiet(), PortAction::WatchForUnit);
  EXPECT_EQ(loop.OnUnitSpoke(), PortAction::StartChild);
  EXPECT_EQ(loop.View().state, PortState::Waiting);

  // Pulled while the port waits for the unit to be replaced.
  loop.OnChildExit({false, 0, ""}, {});
  ASSERT_EQ(loop.View().state, PortState::ReplaceUnit);
  EXPECT_EQ(loop.OnLineMissing("ie_BadId"), PortAction::WatchQuiet);
  EXPECT_EQ(loop.View().state, PortState::AdapterGone);
  EXPECT_EQ(loop.View().line, "ie_BadId");
}

// The re-arm rule step by step: after a unit, only quiet and then a unit
// that speaks start the next child; a byte while waiting for quiet does
// nothing; the operator's word skips both.
TEST(PortMachine, ArmsAgainOnlyAfterQuietAndANewUnitOrTheOperatorsWord) {
  PortMachine machine("COM31", true);
  machine.Start();
  for (const std::string& line : {kStart, kProgress, kConfirmed}) machine.OnEvent(Line(line));
  ASSERT_EQ(machine.OnChildExit({false, 0, ""}, {}), PortAction::WatchQuiet);
  EXPECT_EQ(machine.View().state, PortState::ReplaceUnit);
  EXPECT_TRUE(machine.View().lastPassed);
  // The flashed unit greeting again is no new unit while the line is not quiet.
  EXPECT_EQ(machine.OnUnitSpoke(), PortAction::None);
  EXPECT_EQ(machine.View().state, PortState::ReplaceUnit);
  EXPECT_EQ(machine.OnLineQuiet(), PortAction::WatchForUnit);
  EXPECT_EQ(machine.View().state, PortState::Listening);
  EXPECT_EQ(machine.OnLineQuiet(), PortAction::None);
  EXPECT_EQ(machine.OnUnitSpoke(), PortAction::StartChild);
  EXPECT_TRUE(machine.ChildRunning());
  EXPECT_EQ(machine.OnNextUnit(), PortAction::None);  // a child runs already

  for (const std::string& line : {kStart, kProgress, kFailed}) machine.OnEvent(Line(line));
  machine.OnChildExit({false, 1, ""}, {});
  EXPECT_EQ(machine.View().state, PortState::ReplaceUnit);
  EXPECT_EQ(machine.OnNextUnit(), PortAction::StartChild);
  EXPECT_EQ(machine.View().passed, 1);
  EXPECT_EQ(machine.View().failed, 1);

  PortMachine single("COM32", false);
  single.Start();
  single.OnChildExit({false, 0, ""}, {});
  EXPECT_EQ(single.OnNextUnit(), PortAction::None);
}

// Stop: a running child gets its Ctrl-C; one still waiting for its STB ends
// as stopped (no unit), one that met its STB counts as failed; a port
// without a child stops at once.
TEST(PortMachine, StopInterruptsTheChildAndCountsOnlyUnitsThatWereThere) {
  PortMachine waiting("COM31", true);
  waiting.Start();
  waiting.OnEvent(Line(kStart));
  EXPECT_EQ(waiting.OnStop(), PortAction::InterruptChild);
  EXPECT_FALSE(waiting.Settled());
  EXPECT_EQ(waiting.OnChildExit({false, 1, ""}, {}), PortAction::None);
  EXPECT_EQ(waiting.View().state, PortState::Stopped);
  EXPECT_EQ(waiting.View().failed, 0);
  EXPECT_TRUE(waiting.Settled());

  PortMachine early("COM34", true);
  early.Start();
  early.OnEvent(Line(kStart));
  early.OnStop();
  early.OnChildExit({true, 0, ""}, {});
  EXPECT_EQ(early.View().state, PortState::Stopped) << "killed by its Ctrl-C before it took it";
  EXPECT_EQ(early.View().failed, 0);

  PortMachine uploading("COM32", true);
  uploading.Start();
  for (const std::string& line : {kStart, kProgress}) uploading.OnEvent(Line(line));
  EXPECT_EQ(uploading.View().state, PortState::Uploading);
  EXPECT_EQ(uploading.OnStop(), PortAction::InterruptChild);
  uploading.OnEvent(Line(kFailed));
  EXPECT_EQ(uploading.OnChildExit({false, 1, ""}, {}), PortAction::None);
  EXPECT_EQ(uploading.View().state, PortState::Fail);
  EXPECT_EQ(uploading.View().failed, 1);
  EXPECT_TRUE(uploading.Settled());

  PortMachine listening("COM33", true);
  listening.Start();
  listening.OnChildExit({false, 0, ""}, {});
  listening.OnLineQuiet();
  EXPECT_EQ(listening.OnStop(), PortAction::None);
  EXPECT_TRUE(listening.Settled());
  EXPECT_EQ(listening.OnUnitSpoke(), PortAction::None);
  EXPECT_EQ(listening.OnNextUnit(), PortAction::None);
}

TEST(StationTotals, SumThePortsAndRateTheUnitsPerHour) {
  PortView a;
  a.passed = 3;
  a.failed = 1;
  PortView b;
  b.passed = 2;
  const StationTotals totals = SumTotals({a, b}, std::chrono::minutes(30));
  EXPECT_EQ(totals.passed, 5);
  EXPECT_EQ(totals.failed, 1);
  EXPECT_DOUBLE_EQ(totals.unitsPerHour, 12.0);
  EXPECT_DOUBLE_EQ(SumTotals({PortView{}}, std::chrono::minutes(30)).unitsPerHour, 0.0);
  EXPECT_DOUBLE_EQ(SumTotals({a}, std::chrono::milliseconds(0)).unitsPerHour, 0.0);
}

// --- the command line

struct CommandRow {
  const char* name;
  std::vector<std::string> arguments;
  std::string error;  // "" : accepted
};

void PrintTo(const CommandRow& row, std::ostream* os) { *os << row.name; }

class StationCommands : public testing::TestWithParam<CommandRow> {};

TEST_P(StationCommands, AreAcceptedOrRefusedWithAReason) {
  const CommandRow& row = GetParam();
  const ParsedStationCommand parsed = ParseStationCommandLine(row.arguments);
  if (row.error.empty()) {
    ASSERT_TRUE(parsed.command) << parsed.error;
  } else {
    EXPECT_FALSE(parsed.command);
    EXPECT_EQ(parsed.error, row.error);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Station, StationCommands,
    testing::Values(
        CommandRow{"two ports", {"--console", "--port", "COM31", "-p", "COM32", "a.ZARN"}, ""},
        CommandRow{
            "loop, record, fast DSP",
            {"--console", "--loop", "--fast", "--record", "r.csv", "--port", "COM31", "x.DSP"},
            ""},
        CommandRow{"the window", {"--port", "COM31", "a.ZARN"}, ""},
        CommandRow{
            "no port", {"--console", "a.ZARN"}, "no port given (--port DEVICE, once per port)"},
        CommandRow{"port twice",
                   {"--console", "--port", "COM31", "--port", "COM31", "a.ZARN"},
                   "the port COM31 is given twice"},
        CommandRow{"no image", {"--console", "--port", "COM31"}, "no image file given"},
        CommandRow{"two images",
                   {"--console", "--port", "COM31", "a.ZARN", "b.ZARN"},
                   "one image file for all ports"},
        CommandRow{"fast ZARN",
                   {"--console", "--fast", "--port", "COM31", "a.ZARN"},
                   "--fast is for .DSP files only; a ZARN image has no fast transfer"},
        CommandRow{"unknown option",
                   {"--console", "--turbo", "--port", "COM31", "a.ZARN"},
                   "unknown option --turbo"},
        CommandRow{
            "port without device", {"--console", "a.ZARN", "--port"}, "--port needs a device"},
        CommandRow{"re-arm time zero",
                   {"--console", "--rearm-quiet", "0", "--port", "COM31", "a.ZARN"},
                   "--rearm-quiet takes milliseconds from 1 to 600000"},
        CommandRow{"re-arm time not a number",
                   {"--console", "--rearm-quiet", "3s", "--port", "COM31", "a.ZARN"},
                   "--rearm-quiet takes milliseconds from 1 to 600000"}));

TEST(StationCommands, CarryTheirSettings) {
  const ParsedStationCommand parsed =
      ParseStationCommandLine({"--console", "--loop", "--record", "r.csv", "--rearm-quiet", "1500",
                               "--port", "COM31", "--port", "/dev/ttyUSB0", "img.ZARN"});
  ASSERT_TRUE(parsed.command) << parsed.error;
  const StationConfig& config = parsed.command->config;
  EXPECT_EQ(config.ports, (std::vector<std::string>{"COM31", "/dev/ttyUSB0"}));
  EXPECT_EQ(config.imagePath, "img.ZARN");
  EXPECT_EQ(config.recordPath, "r.csv");
  EXPECT_TRUE(config.loop);
  EXPECT_FALSE(config.fast);
  EXPECT_EQ(config.rearmQuiet, 1500ms);
  const ParsedStationCommand defaults =
      ParseStationCommandLine({"--console", "--port", "COM31", "img.ZARN"});
  ASSERT_TRUE(defaults.command);
  EXPECT_EQ(defaults.command->config.rearmQuiet, kDefaultRearmQuiet);
}

TEST(OperatorInput, NamesAPortByItsNumberFromOne) {
  EXPECT_EQ(PortIndexFromLine("1", 3), std::optional<size_t>(0));
  EXPECT_EQ(PortIndexFromLine(" 3\r", 3), std::optional<size_t>(2));
  for (const char* line : {"", "0", "4", "x", "1x", "-1", "1 2", "99999999999999999999999"}) {
    EXPECT_EQ(PortIndexFromLine(line, 3), std::nullopt) << line;
  }
}

// --- the table

TEST(StationTable, ShowsEachPortsStateAndWhatMattersForIt) {
  PortView uploading;
  uploading.port = "COM31";
  uploading.state = PortState::Uploading;
  uploading.done = 50;
  uploading.total = 100;
  EXPECT_NE(PortLine(uploading).find("uploading"), std::string::npos);
  EXPECT_NE(PortLine(uploading).find("50%"), std::string::npos);

  PortView failed;
  failed.port = "COM32";
  failed.state = PortState::Fail;
  failed.hasResult = true;
  failed.failed = 1;
  failed.failure = "failed: Communication error";
  EXPECT_NE(PortLine(failed).find("FAIL"), std::string::npos);
  EXPECT_NE(PortLine(failed).find("failed: Communication error"), std::string::npos);
  EXPECT_NE(PortLine(failed).find("units 1 at "), std::string::npos);

  PortView replace = failed;
  replace.state = PortState::ReplaceUnit;
  EXPECT_NE(PortLine(replace).find("replace unit"), std::string::npos);
  EXPECT_NE(PortLine(replace).find("last FAIL: failed: Communication error"), std::string::npos);

  StationTotals totals;
  totals.passed = 4;
  totals.failed = 1;
  totals.unitsPerHour = 75;
  const std::vector<std::string> lines = StationTableLines("img.ZARN", {uploading, failed}, totals);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "zarn-station: img.ZARN");
  EXPECT_EQ(lines[3], "passed 4  failed 1  units/hour 75.0");
}

}  // namespace
