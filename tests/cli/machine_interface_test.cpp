// zarn-upload for programs: --info over the sample images and made files,
// --json on real uploads against the simulated STB (every event checked
// against the README's schema, the log events equal to a plain run's output),
// and --record's rows from those uploads.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "ImageBuilder.h"
#include "ImageInfo.h"
#include "Json.h"
#include "ProtocolFloor.h"
#include "StbSimulator.h"
#include "TempDir.h"
#include "UploadEvents.h"
#include "UploadRecord.h"
#include "UploadStory.h"
#include "ZarnWords.h"

namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

const std::string kProgram = ZARN_UPLOAD_PATH;
const std::string kSamples = ZARN_SAMPLES_DIR;
// Each upload here takes a few seconds; a hung one is cut off long after.
constexpr auto kUploadDeadline = std::chrono::seconds(60);

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// --- The schema, read from the README's tables: each kind's members and
// their types. Events list every member they carry; the info object lists
// those it may carry.

using Schema = std::map<std::string, std::map<std::string, std::string>>;

std::string Trim(std::string text) {
  const auto first = text.find_first_not_of(" `");
  const auto last = text.find_last_not_of(" `");
  return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

const Schema& ReadmeSchema() {
  static const Schema schema = [] {
    Schema read;
    std::istringstream readme(ReadAll(ZARN_README_PATH));
    for (std::string line; std::getline(readme, line);) {
      if (line.rfind("| ", 0) != 0) continue;
      Strings cells;
      std::istringstream row(line.substr(1));
      for (std::string cell; std::getline(row, cell, '|');) cells.push_back(Trim(cell));
      static const std::set<std::string> kinds = {"start", "log", "progress", "box", "end", "info"};
      if (cells.size() >= 3 && kinds.count(cells[0]) > 0) read[cells[0]][cells[1]] = cells[2];
    }
    return read;
  }();
  return schema;
}

bool HasType(const JsonValue& value, const std::string& type) {
  using K = JsonValue::Kind;
  const bool integer =
      value.kind == K::Number && value.number == static_cast<int64_t>(value.number);
  if (type == "string") return value.kind == K::String;
  if (type == "integer") return integer;
  if (type == "number") return value.kind == K::Number;
  if (type == "boolean") return value.kind == K::Bool;
  if (type == "integer or null") return integer || value.kind == K::Null;
  if (type == "number or null") return value.kind == K::Number || value.kind == K::Null;
  ADD_FAILURE() << "the README names an unknown type: " << type;
  return false;
}

// Checks `object` against the README's members of `kind`; `all` when every
// member must be there.
void ExpectFitsSchema(const JsonValue& object, const std::string& kind, bool all) {
  ASSERT_EQ(object.kind, JsonValue::Kind::Object);
  const auto found = ReadmeSchema().find(kind);
  ASSERT_NE(found, ReadmeSchema().end()) << "no README table rows for " << kind;
  const auto& members = found->second;
  for (const auto& [name, value] : object.members) {
    const auto member = members.find(name);
    ASSERT_NE(member, members.end()) << kind << " carries an undocumented member " << name;
    EXPECT_TRUE(HasType(value, member->second)) << kind << "." << name;
  }
  if (all) {
    EXPECT_EQ(object.members.size(), members.size()) << kind;
  }
}

TEST(ReadmeSchema, DocumentsEveryEventAndTheInfoObject) {
  for (const char* kind : {"start", "log", "progress", "box", "end", "info"}) {
    EXPECT_GT(ReadmeSchema().count(kind), 0u) << kind;
  }
  EXPECT_EQ(ReadmeSchema().at("end").size(), 5u);
}

// --- --info.

struct InfoRow {
  const char* name;
  std::function<std::string(const TempDir&)> make;
  int exitStatus;
  Strings lines;  // lines the output must hold
};

void PrintTo(const InfoRow& row, std::ostream* os) { *os << row.name; }

class Info : public testing::TestWithParam<InfoRow> {
 protected:
  TempDir folder_{"zarn_info_cli"};
};

TEST_P(Info, PrintsWhatTheFileIsAndExitsAsSendWouldDecide) {
  const InfoRow& row = GetParam();
  const std::string path = row.make(folder_);
  const ChildResult text = RunChild(kProgram, {"--info", path});
  EXPECT_EQ(text.exitStatus, row.exitStatus) << text.out << text.err;
  EXPECT_TRUE(text.err.empty()) << text.err;
  const Strings lines = text.OutLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "File:        " + path);
  for (const std::string& expected : row.lines) {
    EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << expected << "\n"
                                                                            << text.out;
  }

  const ChildResult json = RunChild(kProgram, {"--info", "--json", path});
  EXPECT_EQ(json.exitStatus, row.exitStatus);
  ASSERT_EQ(json.OutLines().size(), 1u) << json.out;
  const auto object = ParseJson(json.OutLines()[0]);
  ASSERT_TRUE(object.has_value()) << json.out;
  ExpectFitsSchema(*object, "info", false);
  EXPECT_EQ(object->Find("file")->text, path);
  EXPECT_EQ(object->Find("admitted")->boolean, row.exitStatus == 0);
}

std::string Sample(const char* name) { return kSamples + "/" + name; }

std::string FloorLine(double seconds, const char* stretch) {
  char text[96];
  std::snprintf(text, sizeof text, "Least time:  %.3f s at 115200 bps, %s", seconds, stretch);
  return text;
}

const char kZarnStretch[] = "from the request to the end";

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Table, Info,
    testing::Values(
        InfoRow{"SampleApp", [](const TempDir&) { return Sample("sample_app.ZARN"); }, 0,
                {"Protocol:    ZARN", "Size:        20064 bytes", "BodySize:    20000, matches the file",
                 "NameTag:     \"APP\", type code 0x04", "Packets:     3", "CRC-32:      A56A6849",
                 "SHA-256:     947c8b134462dcdc2b34612d5737544b2ef5e6ec4bfd402ed6dae0d16d84f071",
                 FloorLine(ZarnFloorSeconds(20064), kZarnStretch)}},
        InfoRow{"SampleLogo", [](const TempDir&) { return Sample("sample_logo.LOGO"); }, 0,
                {"NameTag:     \"zarnlogo.logo\", type code 0x08", "Packets:     1"}},
        InfoRow{"SampleDsp", [](const TempDir&) { return Sample("sample.DSP"); }, 0,
                {"Protocol:    DSP", "Header name: sample.DSP", "Header size: 5000", "Blocks:      5",
                 "CRC-32:      C820545D",
                 FloorLine(DspFloorSeconds(5000), "from first contact to the end")}},
        InfoRow{"WrongBodySize",
                [](const TempDir& f) { return f.Write("odd.zarn", MakeImage("SER", PatternBody(100), 7)); }, 0,
                {"BodySize:    7, but the body holds 100 bytes: 100 would be sent",
                 "NameTag:     \"SER\", type code 0x02"}},
        InfoRow{"UnknownTag",
                [](const TempDir& f) { return f.Write("app.zarn", MakeImage("app", PatternBody(10))); }, 0,
                {"NameTag:     \"app\" selects no type code: the upload would fail with \"Uknown file!!!\" (File Error)"}},
        InfoRow{"TooShort",
                [](const TempDir& f) { return f.Write("short.zarn", std::vector<uint8_t>(10, 'x')); }, 1,
                {}},
        InfoRow{"Directory", [](const TempDir& f) { return f.Path(); }, 1, {}},
        InfoRow{"Missing", [](const TempDir& f) { return f.Path() + "/gone.DSP"; }, 1,
                {"Protocol:    DSP"}}),
    [](const testing::TestParamInfo<InfoRow>& info) { return std::string(info.param.name); });
// clang-format on

TEST(InfoRefusal, IsSendsOwnBox) {
  TempDir folder("zarn_info_cli");
  const std::string path = folder.Write("short.zarn", std::vector<uint8_t>(10, 'x'));
  const ChildResult result = RunChild(kProgram, {"--info", path});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.OutLines().back(),
            "Refused:     File Error: " + CheckImage(path, UploadProtocol::Zarn).refusal);
}

class InfoUsage : public testing::TestWithParam<Strings> {};

TEST_P(InfoUsage, ExitsTwo) {
  const ChildResult result = RunChild(kProgram, GetParam());
  EXPECT_EQ(result.exitStatus, 2);
  EXPECT_TRUE(result.out.empty()) << result.out;
}

INSTANTIATE_TEST_SUITE_P(Program, InfoUsage,
                         testing::Values(Strings{"--info"}, Strings{"--info", "a", "b"},
                                         Strings{"--info", "--port", "COM1", "a"},
                                         Strings{"--info", "--record", "r.csv", "a"},
                                         Strings{"--list-ports", "--json"},
                                         Strings{"--port", "COM1", "--record", "", "a"}));

// --- --json and --record on real uploads. Each case runs twice against
// fresh simulated STBs: once plain, once with --json and --record.

struct JsonRow {
  const char* name;
  stbsim::SimMode mode;
  std::string fileName;
  std::vector<uint8_t> content;
  std::vector<stbsim::Fault> faults;
  bool flashError;
  int64_t vanishAtByte;
  std::string interruptAfter;  // Ctrl-C after this log line ("" : none)
  int exitStatus;
  std::string result;
};

void PrintTo(const JsonRow& row, std::ostream* os) { *os << row.name; }

class JsonUpload : public testing::TestWithParam<JsonRow> {
 protected:
  ChildResult Run(const Strings& options) {
    const JsonRow& row = GetParam();
    stbsim::SimOptions stb;
    stb.mode = row.mode;
    stb.greetInterval = 0ms;
    stb.flashTime = 20ms;
    stb.restartTime = 20ms;
    stb.loop = false;
    stb.faults = row.faults;
    stb.flashError = row.flashError;
    stb.vanishAtByte = row.vanishAtByte;
    stbsim::StbSimulator sim(stb);
    port_ = sim.SlavePath();
    ChildOptions child;
    child.deadline = kUploadDeadline;
    child.onOutLine = [&](const std::string& line, int pid) {
      // The STB starts once the task has emptied the port and said so.
      if (line == "Waiting for STB..." || line == LogEvent("Waiting for STB...")) sim.Start();
      if (!row.interruptAfter.empty() &&
          (line == row.interruptAfter || line == LogEvent(row.interruptAfter))) {
        kill(pid, SIGINT);
      }
    };
    Strings arguments = {"--port", sim.SlavePath()};
    arguments.insert(arguments.end(), options.begin(), options.end());
    arguments.push_back(path_);
    return RunChild(kProgram, arguments, child);
  }

  TempDir folder_{"zarn_json"};
  std::string path_;
  std::string port_;
};

// Standard error lines that are message boxes ("<title>: <text>"), not the
// program's own notes ("zarn-upload: ...", the engine's "Application Error:
// ..." report of a line that went away).
Strings BoxLines(const std::string& err) {
  Strings boxes;
  std::istringstream lines(err);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("zarn-upload: ", 0) != 0 && line.rfind("Application Error: ", 0) != 0) {
      boxes.push_back(line);
    }
  }
  return boxes;
}

TEST_P(JsonUpload, EventsFitTheSchemaAndTellWhatAPlainRunTells) {
  const JsonRow& row = GetParam();
  path_ = folder_.Write(row.fileName, row.content);
  const std::string record = folder_.Path() + "/uploads.csv";
  const ChildResult plain = Run({});
  const ChildResult json = Run({"--json", "--record", record});
  ASSERT_FALSE(plain.timedOut);
  ASSERT_FALSE(json.timedOut);
  EXPECT_EQ(plain.exitStatus, row.exitStatus) << plain.out << plain.err;
  EXPECT_EQ(json.exitStatus, row.exitStatus) << json.out << json.err;

  std::vector<JsonValue> events;
  for (const std::string& line : json.OutLines()) {
    std::string error;
    const auto event = ParseJson(line, &error);
    ASSERT_TRUE(event.has_value()) << error << ": " << line;
    ASSERT_NE(event->Find("event"), nullptr) << line;
    ExpectFitsSchema(*event, event->Find("event")->text, true);
    events.push_back(*event);
  }
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events.front().Find("event")->text, "start");
  EXPECT_EQ(events.back().Find("event")->text, "end");

  const JsonValue& start = events.front();
  const FileFingerprint print = FingerprintFile(path_);
  EXPECT_EQ(start.Find("port")->text, port_);
  EXPECT_EQ(start.Find("file")->text, path_);
  EXPECT_EQ(start.Find("protocol")->text, row.mode == stbsim::SimMode::Dsp ? "DSP" : "ZARN");
  EXPECT_EQ(start.Find("size")->number, static_cast<double>(row.content.size()));
  EXPECT_EQ(start.Find("crc32")->text, Crc32Text(print.crc32));

  Strings logLines;
  Strings boxes;
  std::string lastBoxText;
  int64_t done = 0;
  int64_t total = -1;
  for (size_t i = 1; i + 1 < events.size(); ++i) {
    const std::string kind = events[i].Find("event")->text;
    if (kind == "log") {
      logLines.push_back(events[i].Find("line")->text);
    } else if (kind == "box") {
      lastBoxText = events[i].Find("text")->text;
      boxes.push_back(events[i].Find("title")->text + ": " + lastBoxText);
    } else if (kind == "progress") {
      const auto now = static_cast<int64_t>(events[i].Find("done")->number);
      EXPECT_GE(now, done);
      done = now;
      if (total >= 0) {
        EXPECT_EQ(events[i].Find("total")->number, total);
      }
      total = static_cast<int64_t>(events[i].Find("total")->number);
      EXPECT_LE(done, total);
    } else {
      ADD_FAILURE() << "event in the middle: " << kind;
    }
  }
  EXPECT_EQ(logLines, plain.OutLines());
  EXPECT_EQ(boxes, BoxLines(plain.err));
  // Standard error keeps only the program's own notes.
  EXPECT_TRUE(BoxLines(json.err).empty()) << json.err;

  const JsonValue& end = events.back();
  EXPECT_EQ(end.Find("exitStatus")->number, json.exitStatus);
  EXPECT_EQ(end.Find("result")->text, row.result);
  EXPECT_EQ(end.Find("bytesSent")->number, done);
  EXPECT_GE(end.Find("seconds")->number, 0);

  // The record holds the same upload.
  const auto rows = ParseCsv(ReadAll(record));
  ASSERT_TRUE(rows.has_value());
  ASSERT_EQ(rows->size(), 2u);
  const auto column = [&](const std::string& name) {
    const Strings& columns = RecordColumns();
    return (*rows)[1][static_cast<size_t>(std::find(columns.begin(), columns.end(), name) -
                                          columns.begin())];
  };
  EXPECT_EQ(column("result"), row.result);
  EXPECT_EQ(column("exit status"), std::to_string(row.exitStatus));
  EXPECT_EQ(column("port"), port_);
  EXPECT_EQ(column("file"), path_);
  EXPECT_EQ(column("sha256"), print.sha256);
  EXPECT_EQ(column("bytes sent"), std::to_string(done));
  EXPECT_EQ(column("box"), lastBoxText);
  ASSERT_GE(logLines.size(), 2u);
  EXPECT_EQ(column("last line"), logLines[logLines.size() - 2]);
}

stbsim::Fault Replace(stbsim::SimPhase phase, int index, std::vector<uint8_t> bytes,
                      int times = 1) {
  return {phase, index, stbsim::FaultKind::Replace, std::move(bytes), 0x01, 0ms, times};
}

std::vector<uint8_t> Word(uint32_t word) {
  return {static_cast<uint8_t>(word >> 24), static_cast<uint8_t>(word >> 16),
          static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)};
}

using M = stbsim::SimMode;
using Ph = stbsim::SimPhase;
constexpr uint8_t kCan = 0x18;

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Program, JsonUpload,
    testing::Values(
        JsonRow{"ZarnConfirmed", M::Zarn, "a.zarn", MakeImage("DAT", PatternBody(10000)), {}, false, -1, "", 0, "confirmed"},
        JsonRow{"DspConfirmed", M::Dsp, "a.DSP", PatternBody(2500), {}, false, -1, "", 0, "confirmed"},
        JsonRow{"BadStbResponse", M::Zarn, "a.zarn", MakeImage("DAT", PatternBody(10)),
                {Replace(Ph::RequestReply, 0, Word(zarn::PacketBad))}, false, -1, "", 1, "failed"},
        JsonRow{"PacketsRejected", M::Zarn, "a.zarn", MakeImage("DAT", PatternBody(3 * 8188)),
                {Replace(Ph::PacketReply, 1, Word(zarn::PacketBad), stbsim::kForever)}, false, -1, "", 1, "failed"},
        JsonRow{"DspClosingCancelled", M::Dsp, "a.DSP", PatternBody(100),
                {Replace(Ph::ClosingReply, 0, {kCan})}, false, -1, "", 1, "failed"},
        JsonRow{"FlashErr", M::Zarn, "a.zarn", MakeImage("APP", PatternBody(10)), {}, true, -1, "", 1, "flash error"},
        JsonRow{"RestartGreetingUnconfirmed", M::Zarn, "a.zarn", MakeImage("DAT", PatternBody(10)),
                {Replace(Ph::FlashDone, 0, {'K', 'G', 'S', 'K'})}, false, -1, "", 3, "unconfirmed"},
        JsonRow{"Stopped", M::Zarn, "a.zarn", MakeImage("DAT", PatternBody(4 * 8188)), {}, false, -1,
                zarn::PacketLine(0, true), 1, "failed"},
        JsonRow{"LineVanished", M::Zarn, "a.zarn", MakeImage("DAT", PatternBody(3 * 8188)), {}, false,
                68 + 100, "", 1, "failed"}),
    [](const testing::TestParamInfo<JsonRow>& info) { return std::string(info.param.name); });
// clang-format on

TEST(RecordOption, ARecordThatCannotBeOpenedIsAUsageErrorBeforeThePort) {
  TempDir folder("zarn_json");
  const std::string image = folder.Write("a.zarn", MakeImage("DAT", PatternBody(10)));
  const ChildResult result =
      RunChild(kProgram, {"--port", "/dev/null", "--record", folder.Path(), image});
  EXPECT_EQ(result.exitStatus, 2);
  EXPECT_TRUE(result.out.empty());
  EXPECT_NE(result.err.find(folder.Path()), std::string::npos) << result.err;
}

}  // namespace
