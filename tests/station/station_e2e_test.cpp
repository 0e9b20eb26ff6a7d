// The station against simulated STBs on pseudo-terminals, with the real
// zarn-upload as its children: a mix of results each on its own port, the
// re-arm rule in loop mode with both restart behaviours, a stop during
// uploads, a child that crashes or prints garbage, and the console program's
// exit status.
#include <gtest/gtest.h>

#include <signal.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "BenchLine.h"
#include "ChildProcess.h"
#include "ImageBuilder.h"
#include "SimChannel.h"
#include "Station.h"
#include "StbSimulator.h"
#include "TempDir.h"
#include "TestUnits.h"
#include "UploadRecord.h"
#include "ZarnWords.h"

namespace {

using namespace std::chrono_literals;

const std::string kUploadProgram = ZARN_UPLOAD_PATH;
const std::string kStationProgram = ZARN_STATION_PATH;
// Limits no passing test comes near: each only ends a wait that went wrong.
constexpr auto kSettleLimit = 40s;
constexpr auto kStepLimit = 20s;
// The re-arm time of the loop tests: three greeting intervals, well above the
// simulators' restart pause.
constexpr auto kTestRearmQuiet = 1200ms;
// How often a wait looks at its condition.
constexpr int kCheckIntervalMs = 10;

// Runs the event loop until `condition` holds or `limit` passes.
bool SpinUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  if (condition()) return true;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  QEventLoop loop;
  QTimer check;
  check.setInterval(kCheckIntervalMs);
  QObject::connect(&check, &QTimer::timeout, [&] {
    if (condition() || std::chrono::steady_clock::now() >= deadline) loop.quit();
  });
  check.start();
  loop.exec();
  return condition();
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The record's rows as column -> value maps (the header row read first).
std::vector<std::map<std::string, std::string>> RecordRows(const std::string& path) {
  const auto rows = ParseCsv(ReadAll(path));
  EXPECT_TRUE(rows.has_value()) << "the record is no whole CSV";
  std::vector<std::map<std::string, std::string>> read;
  if (!rows || rows->empty()) return read;
  EXPECT_EQ((*rows)[0], RecordColumns());
  for (size_t i = 1; i < rows->size(); ++i) {
    const std::vector<std::string>& fields = (*rows)[i];
    EXPECT_EQ(fields.size(), RecordColumns().size()) << "row " << i << " is not whole";
    std::map<std::string, std::string> row;
    for (size_t c = 0; c < fields.size() && c < RecordColumns().size(); ++c) {
      row[RecordColumns()[c]] = fields[c];
    }
    read.push_back(row);
  }
  return read;
}

class StationOnSimulators : public testing::Test {
 protected:
  StationConfig Config(std::vector<std::string> ports, bool loop) const {
    StationConfig config;
    config.imagePath = image_;
    config.ports = std::move(ports);
    config.recordPath = record_;
    config.loop = loop;
    config.rearmQuiet = kTestRearmQuiet;
    config.uploadProgram = kUploadProgram;
    return config;
  }

  TempDir folder_{"zarn_station"};
  // One packet: quick uploads.
  const std::string image_ = folder_.Write("unit.ZARN", MakeImage("APP", PatternBody(4000)));
  // Three packets; paced, about 2 s: long enough to be stopped in the middle.
  const std::string longImage_ = folder_.Write("long.ZARN", MakeImage("APP", PatternBody(20000)));
  const std::string record_ = (folder_ / "record.csv").string();
};

// Five ports, five outcomes: each port shows its own, each STB is flashed
// once, and each row of the record carries its own port's result.
TEST_F(StationOnSimulators, ShowsAndRecordsEachPortsOwnResult) {
  struct Position {
    const char* name;
    stbsim::SimOptions options;
    PortState state;
    std::string failureStart;
    std::string result;
  };
  std::vector<Position> positions;
  positions.push_back({"confirmed", TestUnit(), PortState::Pass, "", "confirmed"});
  stbsim::SimOptions rejecting = TestUnit();
  rejecting.faults.push_back({stbsim::SimPhase::PacketReply, stbsim::kAnyIndex,
                              stbsim::FaultKind::Replace, stbsim::BytesOf(zarn::PacketBad), 0x01,
                              0ms, stbsim::kForever});
  positions.push_back({"rejections", rejecting, PortState::Fail, "failed", "failed"});
  stbsim::SimOptions flashError = TestUnit();
  flashError.flashError = true;
  positions.push_back({"FlashErr", flashError, PortState::Fail, "flash error", "flash error"});
  stbsim::SimOptions silent = TestUnit();
  silent.faults.push_back({stbsim::SimPhase::HeaderReply,
                           stbsim::kAnyIndex,
                           stbsim::FaultKind::Replace,
                           {},
                           0x01,
                           0ms,
                           1});
  positions.push_back({"silence", silent, PortState::Fail, "failed", "failed"});
  stbsim::SimOptions vanishing = TestUnit();
  vanishing.faults.push_back(
      {stbsim::SimPhase::PacketReply, 1, stbsim::FaultKind::Vanish, {}, 0x01, 0ms, 1});
  positions.push_back({"vanished line", vanishing, PortState::Fail, "failed", "failed"});

  std::vector<std::unique_ptr<stbsim::StbSimulator>> units;
  std::vector<std::string> ports;
  for (const Position& position : positions) {
    units.push_back(std::make_unique<stbsim::StbSimulator>(position.options));
    ports.push_back(units.back()->SlavePath());
    units.back()->Start();
  }
  // Rejections show on the packet after the rejected one, and the line
  // vanishes in the middle: three packets.
  StationConfig config = Config(ports, false);
  config.imagePath = longImage_;
  Station station(config);
  station.Start();
  ASSERT_TRUE(SpinUntil([&] { return station.Settled(); }, kSettleLimit));
  EXPECT_FALSE(station.AllConfirmed());

  const std::vector<PortView> views = station.Views();
  const auto rows = RecordRows(record_);
  ASSERT_EQ(rows.size(), positions.size());
  for (size_t i = 0; i < positions.size(); ++i) {
    SCOPED_TRACE(positions[i].name);
    EXPECT_EQ(views[i].state, positions[i].state);
    EXPECT_EQ(views[i].failure.rfind(positions[i].failureStart, 0), 0u) << views[i].failure;
    EXPECT_EQ(views[i].passed + views[i].failed, 1);
    EXPECT_EQ(units[i]->UploadCount(), 1);
    int found = 0;
    for (const auto& row : rows) {
      if (row.at("port") != ports[i]) continue;
      ++found;
      EXPECT_EQ(row.at("result"), positions[i].result);
    }
    EXPECT_EQ(found, 1);
  }
  const StationTotals totals = station.Totals();
  EXPECT_EQ(totals.passed, 1);
  EXPECT_EQ(totals.failed, 4);
}

// Loop mode on one bench position, for both ways a flashed STB restarts.
// Greeting repeatedly, the flashed unit keeps the port in "replace unit" for
// as long as it stays; greeting once, it leaves the port listening, and the
// silent unit is not flashed again. Either way the next unit put in its
// place is flashed once.
struct RestartRow {
  const char* name;
  std::chrono::milliseconds restartGreeting;  // the flashed unit's greeting interval
};

void PrintTo(const RestartRow& row, std::ostream* os) { *os << row.name; }

class LoopRestart : public StationOnSimulators, public testing::WithParamInterface<RestartRow> {};

TEST_P(LoopRestart, FlashesEachUnitOnceAndTheNextOneWhenItComes) {
  BenchLine bench;
  stbsim::StbSimulator first(TestUnit(GetParam().restartGreeting));
  Station station(Config({bench.PortPath()}, true));
  const auto view = [&] { return station.Views().at(0); };
  station.Start();
  // A unit that greets only once must find its child listening.
  ASSERT_TRUE(SpinUntil([&] { return view().line == "Waiting for STB..."; }, kStepLimit));
  bench.Attach(first);
  first.Start();
  ASSERT_TRUE(SpinUntil([&] { return view().passed == 1; }, kStepLimit)) << view().failure;

  if (GetParam().restartGreeting.count() > 0) {
    // Greetings after its restart over two re-arm times: the port still
    // waits for the unit to go.
    const int greeted = first.Snapshot().greetings;
    ASSERT_TRUE(first.WaitFor(
        [&](const stbsim::SimRecord& record) { return record.greetings >= greeted + 6; },
        kStepLimit));
    QCoreApplication::processEvents();
    EXPECT_EQ(view().state, PortState::ReplaceUnit);
    bench.Detach();
  }
  ASSERT_TRUE(SpinUntil([&] { return view().state == PortState::Listening; }, kStepLimit));
  EXPECT_EQ(first.UploadCount(), 1);

  stbsim::StbSimulator second(TestUnit());
  bench.Attach(second);
  second.Start();
  ASSERT_TRUE(SpinUntil([&] { return view().passed == 2; }, kStepLimit)) << view().failure;
  ASSERT_TRUE(SpinUntil([&] { return view().state == PortState::ReplaceUnit; }, kStepLimit));
  EXPECT_EQ(first.UploadCount(), 1);
  EXPECT_EQ(second.UploadCount(), 1);
  EXPECT_EQ(view().failed, 0);

  station.Stop();
  ASSERT_TRUE(SpinUntil([&] { return station.Settled(); }, kStepLimit));
  const auto rows = RecordRows(record_);
  ASSERT_EQ(rows.size(), 2u);
  for (const auto& row : rows) EXPECT_EQ(row.at("result"), "confirmed");
}

INSTANTIATE_TEST_SUITE_P(Station, LoopRestart,
                         testing::Values(RestartRow{"GreetsRepeatedly", kTestGreetInterval},
                                         RestartRow{"GreetsOnce", 0ms}));

// Stop in the middle of three paced uploads: every child takes its Ctrl-C
// path within the stop limit, and every record row is whole.
TEST_F(StationOnSimulators, StopEndsEveryUploadWithinTheLimitAndKeepsEveryRowWhole) {
  std::vector<std::unique_ptr<stbsim::StbSimulator>> units;
  std::vector<std::string> ports;
  for (int i = 0; i < 3; ++i) {
    stbsim::SimOptions options = TestUnit();
    options.pace = true;
    units.push_back(std::make_unique<stbsim::StbSimulator>(options));
    ports.push_back(units.back()->SlavePath());
    units.back()->Start();
  }
  StationConfig config = Config(ports, true);
  config.imagePath = longImage_;
  Station station(config);
  station.Start();
  ASSERT_TRUE(SpinUntil(
      [&] {
        for (const PortView& view : station.Views()) {
          if (view.state != PortState::Uploading || view.done == 0) return false;
        }
        return true;
      },
      kStepLimit));
  const auto stopAt = std::chrono::steady_clock::now();
  station.Stop();
  ASSERT_TRUE(SpinUntil([&] { return station.Settled(); }, kStepLimit));
  const auto took = std::chrono::steady_clock::now() - stopAt;
  EXPECT_LT(took, kStopLimit) << "the children took their stop path too slowly";
  for (const PortView& view : station.Views()) {
    EXPECT_EQ(view.state, PortState::Fail) << view.port;
    EXPECT_EQ(view.failed, 1);
  }
  const auto rows = RecordRows(record_);
  ASSERT_EQ(rows.size(), 3u);
  for (const auto& row : rows) {
    EXPECT_EQ(row.at("result"), "failed");
    EXPECT_NE(row.at("bytes sent"), "0");
  }
  EXPECT_EQ(ReadAll(record_).substr(ReadAll(record_).size() - 2), "\r\n");
}

// A child that crashes and one that prints garbage fail on their own ports;
// the port between them uploads as ever. The crashed child's row, which it
// never wrote, is written by the station.
TEST_F(StationOnSimulators, AChildThatCrashesOrPrintsGarbageFailsOnlyItsOwnPort) {
  std::vector<std::unique_ptr<stbsim::StbSimulator>> units;
  std::vector<std::string> ports;
  for (int i = 0; i < 3; ++i) {
    units.push_back(std::make_unique<stbsim::StbSimulator>(TestUnit()));
    ports.push_back(units.back()->SlavePath());
    units.back()->Start();
  }
  const std::string start = R"({"event":"start","port":"x","file":"x","protocol":"ZARN",)"
                            R"("fast":false,"size":1,"crc32":"00000000"})";
  const std::string script = (folder_ / "upload.sh").string();
  {
    std::ofstream out(script);
    out << "#!/bin/sh\n"
        << "case \"$*\" in\n"
        << "  *'" << ports[0] << " '*) echo '" << start << "'; kill -SEGV $$ ;;\n"
        << "  *'" << ports[2] << " '*) echo 'Data packet  000  ........... OK'; exit 0 ;;\n"
        << "esac\n"
        << "exec '" << kUploadProgram << "' \"$@\"\n";
  }
  std::filesystem::permissions(script, std::filesystem::perms::owner_exec,
                               std::filesystem::perm_options::add);
  StationConfig config = Config(ports, false);
  config.uploadProgram = script;
  Station station(config);
  station.Start();
  ASSERT_TRUE(SpinUntil([&] { return station.Settled(); }, kSettleLimit));
  const std::vector<PortView> views = station.Views();
  EXPECT_EQ(views[0].state, PortState::Fail);
  EXPECT_EQ(views[0].failure.rfind("zarn-upload crashed", 0), 0u) << views[0].failure;
  EXPECT_EQ(views[1].state, PortState::Pass) << views[1].failure;
  EXPECT_EQ(views[2].state, PortState::Fail);
  EXPECT_EQ(views[2].failure,
            "unreadable output from zarn-upload: Data packet  000  ........... OK");
  EXPECT_EQ(units[1]->UploadCount(), 1);

  const auto rows = RecordRows(record_);
  ASSERT_EQ(rows.size(), 2u);
  std::map<std::string, std::string> results;
  for (const auto& row : rows) results[row.at("port")] = row.at("result") + "|" + row.at("box");
  EXPECT_EQ(results[ports[1]], "confirmed|");
  EXPECT_EQ(results[ports[0]].rfind("failed|zarn-upload crashed", 0), 0u) << results[ports[0]];
}

// The console program: its exit status says whether every unit was
// confirmed, and its table (a line per change on a pipe) shows each port.
TEST_F(StationOnSimulators, TheConsoleExitsZeroOnlyWhenEveryUnitWasConfirmed) {
  stbsim::StbSimulator good(TestUnit());
  stbsim::SimOptions failing = TestUnit();
  failing.flashError = true;
  stbsim::StbSimulator bad(failing);
  good.Start();
  bad.Start();
  const ChildResult mixed =
      RunChild(kStationProgram, {"--console", "--upload-program", kUploadProgram, "--port",
                                 good.SlavePath(), "--port", bad.SlavePath(), image_});
  EXPECT_EQ(mixed.exitStatus, 1) << mixed.out << mixed.err;
  EXPECT_NE(mixed.out.find(good.SlavePath() + " "), std::string::npos);
  EXPECT_NE(mixed.out.find("PASS"), std::string::npos) << mixed.out;
  EXPECT_NE(mixed.out.find("FAIL"), std::string::npos) << mixed.out;

  stbsim::StbSimulator fresh(TestUnit());
  fresh.Start();
  const ChildResult confirmed = RunChild(
      kStationProgram,
      {"--console", "--upload-program", kUploadProgram, "--port", fresh.SlavePath(), image_});
  EXPECT_EQ(confirmed.exitStatus, 0) << confirmed.out << confirmed.err;

  const ChildResult usage = RunChild(kStationProgram, {"--console", image_});
  EXPECT_EQ(usage.exitStatus, 2);
  EXPECT_NE(usage.err.find("no port given"), std::string::npos) << usage.err;
  const ChildResult missing = RunChild(
      kStationProgram, {"--console", "--port", good.SlavePath(), (folder_ / "none.ZARN").string()});
  EXPECT_EQ(missing.exitStatus, 2) << missing.err;
}

// An adapter that is not there: the port shows it, and once the adapter
// appears the port waits for a quiet line and then for a unit, which it
// flashes.
TEST_F(StationOnSimulators, APortWhoseAdapterIsMissingComesBackByItself) {
  const std::string adapterLink = (folder_ / "ttyBench").string();
  Station station(Config({adapterLink}, true));
  const auto view = [&] { return station.Views().at(0); };
  station.Start();
  ASSERT_TRUE(SpinUntil([&] { return view().state == PortState::AdapterGone; }, kStepLimit));
  EXPECT_EQ(view().passed + view().failed, 0);

  auto adapter = std::make_unique<BenchLine>();
  std::filesystem::create_symlink(adapter->PortPath(), adapterLink);
  ASSERT_TRUE(SpinUntil([&] { return view().state == PortState::Listening; }, kStepLimit));
  stbsim::StbSimulator unit(TestUnit());
  adapter->Attach(unit);
  unit.Start();
  ASSERT_TRUE(SpinUntil([&] { return view().passed == 1; }, kStepLimit)) << view().failure;

  // Pulled while the port waits for the unit to be replaced: its line dies.
  adapter.reset();
  std::filesystem::remove(adapterLink);
  ASSERT_TRUE(SpinUntil([&] { return view().state == PortState::AdapterGone; }, kStepLimit));
  // Back again, with the flashed unit still behind it: it is not flashed again.
  adapter = std::make_unique<BenchLine>();
  std::filesystem::create_symlink(adapter->PortPath(), adapterLink);
  adapter->Attach(unit);
  ASSERT_TRUE(SpinUntil([&] { return view().state == PortState::ReplaceUnit; }, kStepLimit));
  const int greeted = unit.Snapshot().greetings;
  ASSERT_TRUE(
      unit.WaitFor([&](const stbsim::SimRecord& record) { return record.greetings >= greeted + 6; },
                   kStepLimit));
  QCoreApplication::processEvents();
  EXPECT_EQ(view().state, PortState::ReplaceUnit);
  station.Stop();
  ASSERT_TRUE(SpinUntil([&] { return station.Settled(); }, kStepLimit));
  EXPECT_EQ(unit.UploadCount(), 1);
}

// Ctrl-C to the console program in the middle of two paced uploads: it
// passes the stop to each child, which stops its upload and writes its row;
// the program ends within the stop limit with status 1.
TEST_F(StationOnSimulators, CtrlCStopsTheConsoleAndEveryChildWritesItsRow) {
  std::vector<std::unique_ptr<stbsim::StbSimulator>> units;
  std::vector<std::string> arguments = {"--console", "--record", record_, "--upload-program",
                                        kUploadProgram};
  for (int i = 0; i < 2; ++i) {
    stbsim::SimOptions options = TestUnit();
    options.pace = true;
    units.push_back(std::make_unique<stbsim::StbSimulator>(options));
    arguments.insert(arguments.end(), {"--port", units.back()->SlavePath()});
    units.back()->Start();
  }
  arguments.push_back(longImage_);
  int uploading = 0;
  std::chrono::steady_clock::time_point interruptedAt{};
  ChildOptions options;
  options.onOutLine = [&](const std::string& line, int pid) {
    if (line.find("uploading") == std::string::npos || ++uploading != 2) return;
    interruptedAt = std::chrono::steady_clock::now();
    kill(pid, SIGINT);
  };
  const ChildResult stopped = RunChild(kStationProgram, arguments, options);
  const auto took = std::chrono::steady_clock::now() - interruptedAt;
  ASSERT_EQ(uploading, 2) << stopped.out << stopped.err;
  EXPECT_EQ(stopped.exitStatus, 1) << stopped.out << stopped.err;
  EXPECT_LT(took, kStopLimit);
  EXPECT_NE(stopped.err.find("stopping every upload"), std::string::npos) << stopped.err;
  const auto rows = RecordRows(record_);
  ASSERT_EQ(rows.size(), 2u);
  for (const auto& row : rows) EXPECT_EQ(row.at("result"), "failed");
}

// The operator's word on the console's standard input arms a port at once,
// even while its line is not quiet: here the unit just flashed, which the
// operator says is the next one, is flashed again.
TEST_F(StationOnSimulators, TheOperatorsNumberOnTheConsoleArmsThatPort) {
  BenchLine bench;
  stbsim::StbSimulator unit(TestUnit());
  bench.Attach(unit);
  unit.Start();
  QProcess station;
  station.start(
      QString::fromStdString(kStationProgram),
      {"--console", "--loop", "--upload-program", QString::fromStdString(kUploadProgram), "--port",
       QString::fromStdString(bench.PortPath()), QString::fromStdString(image_)});
  ASSERT_TRUE(station.waitForStarted());
  QByteArray out;
  const auto waitForLine = [&](const QByteArray& text) {
    const auto deadline = std::chrono::steady_clock::now() + kStepLimit;
    while (!out.contains(text) && std::chrono::steady_clock::now() < deadline) {
      station.waitForReadyRead(kCheckIntervalMs * 10);
      out += station.readAllStandardOutput();
    }
    return out.contains(text);
  };
  ASSERT_TRUE(waitForLine("replace unit     units 1")) << out.toStdString();
  station.write("1\n");
  ASSERT_TRUE(waitForLine("replace unit     units 2")) << out.toStdString();
  EXPECT_EQ(unit.UploadCount(), 2);
  kill(static_cast<pid_t>(station.processId()), SIGINT);
  ASSERT_TRUE(station.waitForFinished(static_cast<int>(kStepLimit.count() * 1000)));
  EXPECT_EQ(station.exitCode(), 0) << station.readAllStandardError().toStdString();
}

}  // namespace
