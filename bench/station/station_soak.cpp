// The station left alone in loop mode: N bench positions (default 8), each an
// adapter that stays, and an operator who takes each flashed unit away after
// a while and puts a new one in its place once the tile shows "waiting for
// STB". Every other unit greets only once after its restart (and only once
// when it powers up); the others greet every second until they are taken
// away.
//
//   zarn-station-soak [MINUTES [N [SIZE]]]   (default 10 8 16K)
//
// Checked: every unit was flashed exactly once with its image intact (looked
// at when it is taken away, and at the end for the last ones), no port went
// kStuckLimit without a finished unit, every record row is whole, confirmed,
// of its own port and image, and there is one row per unit. Printed: units,
// units per hour, the event loop's worst stall (a 10 ms timer). The simulated
// STBs and the lines run in this process, so no processor share is claimed
// here (zarn-station-bench measures it). Exit status 0 when all holds.
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "BenchLine.h"
#include "ImageBuilder.h"
#include "SimCrc.h"
#include "Station.h"
#include "StbSimulator.h"
#include "TempDir.h"
#include "UploadRecord.h"
#include "UploadStory.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kUploadProgram = ZARN_UPLOAD_PATH;
constexpr size_t kHeaderSize = 64;
constexpr int kDefaultMinutes = 10;
constexpr int kDefaultPorts = 8;
constexpr size_t kDefaultSize = 16 * 1024;
constexpr int kMaxPorts = 32;
// The operator's pace: a flashed unit stays this long, cycling through the
// steps (some go at once, some sit past the re-arm time); a new unit comes
// this long after the tile shows "waiting for STB".
const std::vector<std::chrono::milliseconds> kRemovalDelays = {500ms, 2500ms, 6000ms, 1200ms};
const std::vector<std::chrono::milliseconds> kPlacingDelays = {300ms, 1500ms, 800ms};
// A port that finishes no unit this long is stuck: a unit that greets once
// waits zarn-upload's 10 s for its first byte, and an upload takes a few s.
constexpr auto kStuckLimit = 60s;
// How often the operator looks at the tiles, and the stall meter's tick.
constexpr int kOperatorTickMs = 100;
constexpr int kTickMs = 10;
// After the time is up: the last uploads finish within this.
constexpr auto kDrainLimit = 60s;

// A waiting STB's greeting interval, and the unit that greets only once.
constexpr auto kGreetEvery = 1000ms;
constexpr auto kGreetOnce = 0ms;

struct Arguments {
  int minutes = kDefaultMinutes;
  int ports = kDefaultPorts;
  size_t size = kDefaultSize;
};

std::optional<int> Number(const std::string& text, int low, int high) {
  if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const int value = std::stoi(text);
  if (value < low || value > high) return std::nullopt;
  return value;
}

std::optional<Arguments> Parse(int argc, char** argv) {
  Arguments arguments;
  if (argc > 4) return std::nullopt;
  if (argc > 1) {
    const auto minutes = Number(argv[1], 1, 24 * 60);
    if (!minutes) return std::nullopt;
    arguments.minutes = *minutes;
  }
  if (argc > 2) {
    const auto ports = Number(argv[2], 1, kMaxPorts);
    if (!ports) return std::nullopt;
    arguments.ports = *ports;
  }
  if (argc > 3) {
    std::string text = argv[3];
    int scale = 1;
    if (!text.empty() && (text.back() == 'K' || text.back() == 'k')) {
      scale = 1024;
      text.pop_back();
    }
    const auto size = Number(text, 1, 4 * 1024 * 1024);
    if (!size || static_cast<size_t>(*size) * scale <= kHeaderSize) return std::nullopt;
    arguments.size = static_cast<size_t>(*size) * scale;
  }
  return arguments;
}

stbsim::SimOptions UnitOptions(int serial) {
  stbsim::SimOptions options;
  options.pace = true;
  options.greetInterval = serial % 2 == 0 ? kGreetEvery : kGreetOnce;
  return options;
}

// One bench position and its operator.
class Position {
 public:
  Position(size_t index, const std::vector<uint8_t>& image, std::vector<std::string>& faults)
      : index_(index), image_(image), faults_(faults) {}

  const std::string& PortPath() const { return line_.PortPath(); }
  int Units() const { return units_; }
  Clock::time_point LastFinish() const { return lastFinish_; }

  // Puts the first unit in place before the station starts.
  void PlaceFirst() { Place(); }

  // Looks at the port's tile; `placing` false once the time is up.
  void Look(const PortView& view, bool placing) {
    const Clock::time_point now = Clock::now();
    const int finished = view.passed + view.failed;
    if (finished > finishedSeen_) {
      finishedSeen_ = finished;
      lastFinish_ = now;
      if (!view.lastPassed) Fault("a unit failed: " + view.failure);
      removeAt_ = now + kRemovalDelays[static_cast<size_t>(units_) % kRemovalDelays.size()];
    }
    if (unit_ && removeAt_ && now >= *removeAt_) {
      Remove();
      removeAt_.reset();
    }
    if (!unit_ && placing && view.state == PortState::Listening) {
      if (!placeAt_) {
        placeAt_ = now + kPlacingDelays[static_cast<size_t>(units_) % kPlacingDelays.size()];
      } else if (now >= *placeAt_) {
        placeAt_.reset();
        Place();
      }
    }
  }

  // The unit still in place at the end: flashed once, or, when it came
  // after the time was up or was never started, not at all.
  void Finish(const PortView& view) {
    if (!unit_) return;
    const bool flashed = view.passed + view.failed == units_;
    Check(flashed ? 1 : 0);
    unit_.reset();
    line_.Detach();
  }

 private:
  void Place() {
    unit_ = std::make_unique<stbsim::StbSimulator>(UnitOptions(serial_++));
    line_.Attach(*unit_);
    unit_->Start();
    ++units_;
  }

  void Remove() {
    line_.Detach();
    Check(1);
    unit_.reset();
  }

  void Check(int uploads) {
    const int count = unit_->UploadCount();
    if (count != uploads) {
      Fault("unit " + std::to_string(units_) + " was flashed " + std::to_string(count) +
            " times, not " + std::to_string(uploads));
      return;
    }
    if (uploads == 0) return;
    const stbsim::UploadRecord upload = unit_->LastUpload();
    if (!upload.finished || !upload.flashOk || upload.Image() != image_) {
      Fault("unit " + std::to_string(units_) + " did not receive the image intact");
    }
  }

  void Fault(const std::string& what) {
    faults_.push_back("port " + std::to_string(index_ + 1) + ": " + what);
  }

  size_t index_;
  const std::vector<uint8_t>& image_;
  std::vector<std::string>& faults_;
  BenchLine line_;
  std::unique_ptr<stbsim::StbSimulator> unit_;
  int serial_ = static_cast<int>(index_);  // alternate restart behaviours across ports too
  int units_ = 0;
  int finishedSeen_ = 0;
  Clock::time_point lastFinish_ = Clock::now();
  std::optional<Clock::time_point> removeAt_;
  std::optional<Clock::time_point> placeAt_;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The record against the ports' units; appends what is wrong to `faults`.
void CheckRecord(const std::string& path, const std::vector<std::string>& ports,
                 const std::vector<int>& flashed, size_t imageSize, const std::string& crc,
                 std::vector<std::string>& faults) {
  const auto rows = ParseCsv(ReadAll(path));
  if (!rows || rows->empty() || (*rows)[0] != RecordColumns()) {
    faults.push_back("the record is no whole CSV with its header");
    return;
  }
  std::map<std::string, int> column;
  for (size_t c = 0; c < RecordColumns().size(); ++c)
    column[RecordColumns()[c]] = static_cast<int>(c);
  std::map<std::string, int> perPort;
  for (size_t i = 1; i < rows->size(); ++i) {
    const std::vector<std::string>& row = (*rows)[i];
    const std::string where = "record row " + std::to_string(i);
    if (row.size() != RecordColumns().size()) {
      faults.push_back(where + " is not whole");
      continue;
    }
    if (row[column["result"]] != "confirmed")
      faults.push_back(where + ": " + row[column["result"]]);
    if (row[column["size"]] != std::to_string(imageSize) || row[column["crc32"]] != crc) {
      faults.push_back(where + ": another image (" + row[column["size"]] + " " +
                       row[column["crc32"]] + ")");
    }
    ++perPort[row[column["port"]]];
  }
  for (size_t p = 0; p < ports.size(); ++p) {
    if (perPort[ports[p]] != flashed[p]) {
      faults.push_back("port " + std::to_string(p + 1) + ": " + std::to_string(perPort[ports[p]]) +
                       " record rows for " + std::to_string(flashed[p]) + " units");
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Arguments> arguments = Parse(argc, argv);
  if (!arguments) {
    std::fprintf(stderr, "usage: zarn-station-soak [MINUTES [N (1..%d) [SIZE]]]\n", kMaxPorts);
    return 2;
  }
  QCoreApplication app(argc, argv);
  const TempDir folder("zarn-station-soak");
  const std::vector<uint8_t> image = MakeImage("APP", PatternBody(arguments->size - kHeaderSize));
  const std::string crc = Crc32Text(stbsim::BitwiseCrc32(image.data(), image.size()));
  const std::string imagePath = folder.Write("soak.ZARN", image);

  std::vector<std::string> faults;
  std::vector<std::unique_ptr<Position>> positions;
  StationConfig config;
  config.imagePath = imagePath;
  config.recordPath = (folder / "record.csv").string();
  config.loop = true;
  config.uploadProgram = kUploadProgram;
  for (int i = 0; i < arguments->ports; ++i) {
    positions.push_back(std::make_unique<Position>(static_cast<size_t>(i), image, faults));
    config.ports.push_back(positions.back()->PortPath());
  }
  Station station(config);

  double worstStallMs = 0;
  Clock::time_point lastTick = Clock::now();
  QTimer stallTick;
  stallTick.setTimerType(Qt::PreciseTimer);
  stallTick.setInterval(kTickMs);
  QObject::connect(&stallTick, &QTimer::timeout, [&] {
    const Clock::time_point now = Clock::now();
    worstStallMs = std::max(
        worstStallMs, std::chrono::duration<double, std::milli>(now - lastTick).count() - kTickMs);
    lastTick = now;
  });

  const Clock::time_point started = Clock::now();
  const Clock::time_point placingEnds = started + std::chrono::minutes(arguments->minutes);
  std::optional<Clock::time_point> drainEnds;
  QTimer operatorTick;
  operatorTick.setInterval(kOperatorTickMs);
  QObject::connect(&operatorTick, &QTimer::timeout, [&] {
    const Clock::time_point now = Clock::now();
    const bool placing = now < placingEnds;
    const std::vector<PortView> views = station.Views();
    bool busy = false;
    for (size_t i = 0; i < positions.size(); ++i) {
      positions[i]->Look(views[i], placing);
      const PortState state = views[i].state;
      busy = busy || state == PortState::Uploading || state == PortState::Waiting;
      if (now - positions[i]->LastFinish() > kStuckLimit && state != PortState::Listening) {
        faults.push_back("port " + std::to_string(i + 1) + " stuck in state " +
                         std::to_string(static_cast<int>(state)));
        app.quit();
      }
    }
    if (placing) return;
    if (!drainEnds) drainEnds = now + kDrainLimit;
    if (!busy || now >= *drainEnds) {
      if (busy) faults.push_back("uploads still running after the time was up");
      app.quit();
    }
  });

  for (auto& position : positions) position->PlaceFirst();
  station.Start();
  lastTick = Clock::now();
  stallTick.start();
  operatorTick.start();
  app.exec();
  stallTick.stop();
  operatorTick.stop();
  const double hours = std::chrono::duration<double>(Clock::now() - started).count() / 3600;

  station.Stop();
  QTimer settleLimit;
  settleLimit.setSingleShot(true);
  QObject::connect(&settleLimit, &QTimer::timeout, &app, &QCoreApplication::quit);
  QObject::connect(&station, &Station::Finished, &app, &QCoreApplication::quit);
  if (!station.Settled()) {
    settleLimit.start(std::chrono::duration_cast<std::chrono::milliseconds>(kStopLimit * 2));
    app.exec();
  }
  const std::vector<PortView> views = station.Views();
  std::vector<int> flashed;
  int units = 0;
  for (size_t i = 0; i < positions.size(); ++i) {
    positions[i]->Finish(views[i]);
    flashed.push_back(views[i].passed + views[i].failed);
    units += flashed.back();
  }
  CheckRecord(config.recordPath, config.ports, flashed, image.size(), crc, faults);

  std::printf("zarn-station-soak: %d ports, loop mode, %zu-byte image, %d min\n", arguments->ports,
              image.size(), arguments->minutes);
  std::printf("  units flashed: %d (%.0f per hour); per port:", units,
              hours > 0 ? units / hours : 0);
  for (const int n : flashed) std::printf(" %d", n);
  std::printf("\n  event loop: worst stall %.1f ms\n", worstStallMs);
  for (const std::string& fault : faults) std::printf("  FAULT %s\n", fault.c_str());
  std::printf("  every unit flashed once, every row correct, no port stuck: %s\n",
              faults.empty() ? "yes" : "NO");
  return faults.empty() ? 0 : 1;
}
