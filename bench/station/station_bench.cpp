// The flashing station under load: N simulated STBs, each pacing its line at
// 115200 bits per second, flashed at once by one Station with the real
// zarn-upload as its children.
//
//   zarn-station-bench [--window] [--behaviour-only] [N [SIZE]]
//     N     ports (default 16); SIZE the ZARN image in bytes, or with K
//           (default 48K: about 6 s an upload)
//     --window          drive the station window (offscreen) instead of the
//                       bare Station, so its tiles repaint as the ports report
//     --behaviour-only  exit status says only whether every unit was
//                       confirmed and received its image intact (the smoke
//                       test); the figures are printed all the same
//
// Measured, from Start until the station has finished:
//  - each upload from "Initializing Upload task..." (its request queued) to
//    its last status line, as the station saw them arrive, against the
//    single upload's protocol floor (ProtocolFloor.h); worst and median.
//    Goal: <= 1.01.
//  - this process's own processor time (getrusage RUSAGE_SELF: the station,
//    its event loop and this meter; not the zarn-upload children and not the
//    simulators, which run in a process forked before any thread). Goal:
//    < 2 % of one core.
//  - the event loop's worst stall: a 10 ms timer in the station's thread,
//    the most one tick came later than due. Goal: < 50 ms.
// Exit status 0 when every unit was confirmed with its image intact and
// every goal was met, 1 otherwise, 2 on usage errors.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ImageBuilder.h"
#include "ProtocolFloor.h"
#include "Station.h"
#include "StationWindow.h"
#include "StbSimulator.h"
#include "TempDir.h"
#include "TsuiButton.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kUploadProgram = ZARN_UPLOAD_PATH;
constexpr size_t kHeaderSize = 64;
constexpr int kDefaultPorts = 16;
constexpr size_t kDefaultSize = 48 * 1024;
constexpr int kMaxPorts = 64;
// The STBs' flash time, as in the single upload's benchmark.
constexpr auto kFlashTime = 20ms;
// The start line and the goals.
const std::string kStartLine = "Initializing Upload task...";
constexpr double kTimeGoal = 1.01;
constexpr double kCpuGoal = 0.02;
constexpr double kStallGoalMs = 50;
// The stall meter's tick.
constexpr int kTickMs = 10;
// Ends a run that went wrong; no run that works comes near it.
constexpr auto kRunLimit = 5min;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// --- the simulated STBs, in a process of their own -------------------------

// The units' process: tells the lines' paths, one a line, then "ready"; on
// the bench's "end" line checks each unit and answers "ok" or "bad: why"
// for each, in port order.
class UnitsProcess {
 public:
  UnitsProcess(int count, const std::vector<uint8_t>& image) {
    int down[2];
    int up[2];
    if (pipe(down) != 0 || pipe(up) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(down[1]);
      close(up[0]);
      _exit(RunUnits(count, image, down[0], up[1]));
    }
    close(down[0]);
    close(up[1]);
    toUnits_ = fdopen(down[1], "w");
    fromUnits_ = fdopen(up[0], "r");
    for (std::string line; (line = ReadLine()) != "ready" && !line.empty();) paths_.push_back(line);
  }

  ~UnitsProcess() {
    if (toUnits_ != nullptr) fclose(toUnits_);
    if (fromUnits_ != nullptr) fclose(fromUnits_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }

  const std::vector<std::string>& Paths() const { return paths_; }

  // Each unit's verdict: "" when it received the image intact once.
  std::vector<std::string> Verdicts() {
    std::vector<std::string> verdicts;
    std::fputs("end\n", toUnits_);
    std::fflush(toUnits_);
    for (size_t i = 0; i < paths_.size(); ++i) {
      const std::string line = ReadLine();
      verdicts.push_back(line == "ok" ? "" : line.empty() ? "no answer" : line);
    }
    return verdicts;
  }

 private:
  static int RunUnits(int count, const std::vector<uint8_t>& image, int in, int out) {
    FILE* toBench = fdopen(out, "w");
    std::vector<std::unique_ptr<stbsim::StbSimulator>> units;
    for (int i = 0; i < count; ++i) {
      stbsim::SimOptions options;
      options.pace = true;
      options.flashTime = kFlashTime;
      options.loop = false;
      units.push_back(std::make_unique<stbsim::StbSimulator>(options));
      std::fprintf(toBench, "%s\n", units.back()->SlavePath().c_str());
    }
    for (auto& unit : units) unit->Start();
    std::fputs("ready\n", toBench);
    std::fflush(toBench);
    char command[16] = {};
    if (read(in, command, sizeof command - 1) <= 0) return 1;
    for (auto& unit : units) {
      const stbsim::UploadRecord upload = unit->LastUpload();
      if (unit->UploadCount() != 1) {
        std::fprintf(toBench, "bad: %d uploads\n", unit->UploadCount());
      } else if (!upload.finished || !upload.flashOk) {
        std::fputs("bad: the upload did not finish\n", toBench);
      } else if (upload.Image() != image) {
        std::fputs("bad: the image arrived altered\n", toBench);
      } else {
        std::fputs("ok\n", toBench);
      }
    }
    std::fflush(toBench);
    return 0;
  }

  std::string ReadLine() {
    char buffer[512];
    if (fromUnits_ == nullptr || std::fgets(buffer, sizeof buffer, fromUnits_) == nullptr)
      return "";
    std::string line(buffer);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
  }

  pid_t pid_ = -1;
  FILE* toUnits_ = nullptr;
  FILE* fromUnits_ = nullptr;
  std::vector<std::string> paths_;
};

// --- what the station's thread shows ----------------------------------------

// Each port's timed stretch, taken from the station's views as they change.
class UploadTimes {
 public:
  explicit UploadTimes(size_t ports) : ports_(ports) {}

  void Look(const std::vector<PortView>& views) {
    const Clock::time_point now = Clock::now();
    for (size_t i = 0; i < views.size() && i < ports_.size(); ++i) {
      Port& port = ports_[i];
      const PortView& view = views[i];
      if (view.hasResult) {
        if (!port.result) port.result = now;
        continue;
      }
      if (view.line == port.line) continue;
      port.line = view.line;
      if (view.line == kStartLine && !port.start) port.start = now;
      if (port.start) port.lastLine = now;
    }
  }

  // The stretch of port `index`; nullopt when it was not seen whole.
  std::optional<double> Measured(size_t index) const {
    const Port& port = ports_[index];
    if (!port.start || !port.result) return std::nullopt;
    return Seconds(port.lastLine - *port.start);
  }
  // From the last status line to the port's result (the child's end event and exit).
  std::optional<double> ToResult(size_t index) const {
    const Port& port = ports_[index];
    if (!port.start || !port.result) return std::nullopt;
    return Seconds(*port.result - port.lastLine);
  }

 private:
  struct Port {
    std::string line;
    std::optional<Clock::time_point> start;
    Clock::time_point lastLine;
    std::optional<Clock::time_point> result;
  };
  std::vector<Port> ports_;
};

// The most a tick of a kTickMs timer came later than due.
class StallMeter {
 public:
  StallMeter() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(kTickMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const Clock::time_point now = Clock::now();
      const double late = std::chrono::duration<double, std::milli>(now - last_).count() - kTickMs;
      if (late > worstMs_) {
        worstMs_ = late;
        worstAt_ = Seconds(now - started_);
      }
      if (late > kStallGoalMs) ++overGoal_;
      ++ticks_;
      last_ = now;
    });
  }
  // From now on; a stall before (the Start call) counts no more.
  void Restart() {
    last_ = Clock::now();
    started_ = last_;
    timer_.start();
  }
  void Stop() { timer_.stop(); }
  double WorstMs() const { return worstMs_; }
  // Seconds after Restart.
  double WorstAt() const { return worstAt_; }
  int OverGoal() const { return overGoal_; }
  int Ticks() const { return ticks_; }

 private:
  QTimer timer_;
  Clock::time_point last_;
  Clock::time_point started_;
  double worstMs_ = 0;
  double worstAt_ = 0;
  int overGoal_ = 0;
  int ticks_ = 0;
};

struct Arguments {
  bool window = false;
  bool behaviourOnly = false;
  int ports = kDefaultPorts;
  size_t size = kDefaultSize;
};

std::optional<size_t> ParseSize(const std::string& text) {
  if (text.empty()) return std::nullopt;
  size_t scale = 1;
  std::string digits = text;
  if (digits.back() == 'K' || digits.back() == 'k') {
    scale = 1024;
    digits.pop_back();
  }
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos ||
      digits.size() > 9) {
    return std::nullopt;
  }
  return std::stoul(digits) * scale;
}

std::optional<Arguments> Parse(int argc, char** argv) {
  Arguments arguments;
  std::vector<std::string> numbers;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--window") {
      arguments.window = true;
    } else if (argument == "--behaviour-only") {
      arguments.behaviourOnly = true;
    } else {
      numbers.push_back(argument);
    }
  }
  if (numbers.size() > 2) return std::nullopt;
  if (!numbers.empty()) {
    const std::optional<size_t> ports = ParseSize(numbers[0]);
    if (!ports || *ports < 1 || *ports > static_cast<size_t>(kMaxPorts)) return std::nullopt;
    arguments.ports = static_cast<int>(*ports);
  }
  if (numbers.size() == 2) {
    const std::optional<size_t> size = ParseSize(numbers[1]);
    if (!size || *size <= kHeaderSize) return std::nullopt;
    arguments.size = *size;
  }
  return arguments;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t mid = values.size() / 2;
  return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

std::string LoadAverage() {
  double load[3] = {};
  if (getloadavg(load, 3) != 3) return "unknown";
  char text[64];
  std::snprintf(text, sizeof text, "%.2f %.2f %.2f", load[0], load[1], load[2]);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Arguments> arguments = Parse(argc, argv);
  if (!arguments) {
    std::fprintf(stderr,
                 "usage: zarn-station-bench [--window] [--behaviour-only] [N [SIZE]]\n"
                 "  N ports (1..%d), SIZE the image in bytes or with K (more than 64)\n",
                 kMaxPorts);
    return 2;
  }
  const int count = arguments->ports;
  const TempDir folder("zarn-station-bench");
  const std::vector<uint8_t> image = MakeImage("APP", PatternBody(arguments->size - kHeaderSize));
  const std::string imagePath = folder.Write("bench.ZARN", image);
  const double floor = ZarnFloorSeconds(static_cast<int64_t>(image.size()), kFlashTime);

  // Forked before Qt starts a thread, so that this process's rusage is the station's.
  UnitsProcess units(count, image);
  if (units.Paths().size() != static_cast<size_t>(count)) {
    std::fprintf(stderr, "the simulated STBs did not start\n");
    return 1;
  }

  if (arguments->window && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  std::unique_ptr<QCoreApplication> app;
  if (arguments->window) {
    app = std::make_unique<QApplication>(argc, argv);
  } else {
    app = std::make_unique<QCoreApplication>(argc, argv);
  }

  StationConfig config;
  config.imagePath = imagePath;
  config.ports = units.Paths();
  config.recordPath = (folder / "record.csv").string();
  config.uploadProgram = kUploadProgram;

  std::unique_ptr<Station> bare;
  std::unique_ptr<StationWindow> window;
  Station* station = nullptr;
  if (arguments->window) {
    window = std::make_unique<StationWindow>(StationProfile{config, false});
    window->resize(1280, 900);
    window->show();
    // The operator sees the window before pressing Start: its first layout
    // and paint are not part of the run.
    QCoreApplication::processEvents();
    station = &window->CurrentStation();
  } else {
    bare = std::make_unique<Station>(config);
    station = bare.get();
  }

  UploadTimes times(static_cast<size_t>(count));
  QObject::connect(station, &Station::Changed, [&] { times.Look(station->Views()); });
  StallMeter stalls;
  bool finished = false;
  QObject::connect(station, &Station::Finished, [&] {
    finished = true;
    app->quit();
  });
  QTimer limit;
  limit.setSingleShot(true);
  QObject::connect(&limit, &QTimer::timeout, [&] { app->quit(); });
  limit.start(std::chrono::duration_cast<std::chrono::milliseconds>(kRunLimit));

  std::printf("zarn-station-bench: %d ports%s, %zu-byte ZARN image, floor %.3f s, load %s\n", count,
              arguments->window ? " (window, offscreen)" : "", image.size(), floor,
              LoadAverage().c_str());
  const double cpuStart = CpuSeconds();
  const Clock::time_point wallStart = Clock::now();
  if (arguments->window) {
    window->StartButton()->click();
  } else {
    station->Start();
  }
  const double startMs =
      std::chrono::duration<double, std::milli>(Clock::now() - wallStart).count();
  stalls.Restart();
  app->exec();
  stalls.Stop();
  const double cpu = CpuSeconds() - cpuStart;
  const double wall = Seconds(Clock::now() - wallStart);
  const std::string loadAfter = LoadAverage();
  times.Look(station->Views());

  const std::vector<std::string> verdicts = units.Verdicts();
  const std::vector<PortView> views = station->Views();
  bool behaved = finished;
  if (!finished) std::printf("  the station did not finish within the limit\n");
  std::vector<double> ratios;
  double worstToResult = 0;
  for (size_t i = 0; i < views.size(); ++i) {
    const PortView& view = views[i];
    const bool passed = view.hasResult && view.lastPassed;
    if (!passed || !verdicts[i].empty()) {
      behaved = false;
      std::printf("  port %zu %s: %s%s%s\n", i + 1, view.port.c_str(),
                  passed ? "PASS" : ("FAIL " + view.failure).c_str(),
                  verdicts[i].empty() ? "" : ", STB: ", verdicts[i].c_str());
    }
    const std::optional<double> measured = times.Measured(i);
    if (!measured) {
      behaved = false;
      std::printf("  port %zu %s: its upload was not seen whole\n", i + 1, view.port.c_str());
      continue;
    }
    ratios.push_back(*measured / floor);
    worstToResult = std::max(worstToResult, times.ToResult(i).value_or(0));
  }
  const double worstRatio = ratios.empty() ? 0 : *std::max_element(ratios.begin(), ratios.end());
  const double medianRatio = Median(ratios);
  const double share = wall > 0 ? cpu / wall : 0;
  const bool timeOk = !ratios.empty() && worstRatio <= kTimeGoal;
  const bool cpuOk = share < kCpuGoal;
  const bool stallOk = stalls.WorstMs() < kStallGoalMs;

  std::printf(
      "  uploads: %zu of %d timed, worst x%.4f, median x%.4f of the floor (goal <= %.2f) %s\n",
      ratios.size(), count, worstRatio, medianRatio, kTimeGoal, timeOk ? "ok" : "MISSED");
  std::printf("  last status line to the port's result: worst %.0f ms\n", worstToResult * 1000);
  std::printf("  station process: %.3f s cpu in %.3f s = %.2f%% of a core (goal < %.0f%%) %s\n",
              cpu, wall, share * 100, kCpuGoal * 100, cpuOk ? "ok" : "MISSED");
  std::printf(
      "  event loop: worst stall %.1f ms (%.1f s after Start) over %d ticks of %d ms, %d over %.0f ms (goal < %.0f ms) %s\n",
      stalls.WorstMs(), stalls.WorstAt(), stalls.Ticks(), kTickMs, stalls.OverGoal(), kStallGoalMs,
      kStallGoalMs, stallOk ? "ok" : "MISSED");
  std::printf("  Start (spawning %d children): %.1f ms; load after: %s\n", count, startMs,
              loadAfter.c_str());
  std::printf("  every unit confirmed with its image intact: %s\n", behaved ? "yes" : "NO");

  window.reset();
  bare.reset();
  if (!behaved) return 1;
  if (arguments->behaviourOnly) return 0;
  return timeOk && cpuOk && stallOk ? 0 : 1;
}
