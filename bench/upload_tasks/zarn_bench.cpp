// ZARN upload speed and processor use against the simulated STB pacing its
// line at 115200 bits per second.
//
//   zarn-upload-bench [SIZE...]   image sizes in bytes, or with K or M
//                                 (default: 64K 1M; 1M takes about 105 s)
//
// For each size the STB runs in a child process forked before this process
// starts a thread, so that getrusage here counts the tool alone: the task's
// thread, the serial engine's threads and the main thread with its notices.
//
// The time measured runs from "Initializing Upload task..." (the request has
// just been queued) to the termination line. The time the protocol imposes on
// that stretch follows from its fixed pauses and the line rate:
//   request and reply on the line, 50 ms, 550 ms, 120 ms (the header's line
//   time hides in it), then 790 ms per packet (550 + 120 + 120; a packet's
//   line time, 0.71 s for 8192 bytes, overlaps the pauses that follow it),
//   except that after the last packet the end word waits 350 ms or for the
//   last packet to have crossed the line, whichever is later, and then three
//   50 ms pauses and the STB's own flash time.
// Goal: measured <= 1.02 x imposed, processor < 5% of one core.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Adport.h"
#include "BigEndian.h"
#include "MainThreadQueue.h"
#include "StbSimulator.h"
#include "TaskHost.h"
#include "Unit2.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr double kBaud = 115200.0;
constexpr double kBitsPerByte = 10.0;
constexpr size_t kHeaderSize = 64;
constexpr size_t kChunk = 8188;
constexpr size_t kWord = 4;
constexpr double kReplyPause = 0.050;
constexpr double kBeforeHeader = 0.550;
constexpr double kAfterHeader = 0.120;
constexpr double kPerPacket = 0.550 + 0.120 + 0.120;
constexpr double kAfterLengthWord = 0.550;
constexpr double kBeforeEndWord = 0.350;
constexpr auto kFlashTime = 20ms;
constexpr double kTimeGoal = 1.02;
constexpr double kCpuGoal = 0.05;
constexpr auto kUploadDeadline = std::chrono::hours(1);

double LineSeconds(size_t bytes) { return static_cast<double>(bytes) * kBitsPerByte / kBaud; }

std::vector<uint8_t> Image(size_t size) {
  std::vector<uint8_t> image(size);
  uint32_t state = 0x2468ACE1u;
  for (auto& byte : image) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<uint8_t>(state >> 24);
  }
  std::fill(image.begin() + 32, image.begin() + 64, 0);
  const char tag[] = "APP";
  std::copy(tag, tag + 3, image.begin() + 32);
  WriteBigEndian32(image.data() + 16, static_cast<uint32_t>(size - kHeaderSize));
  return image;
}

double Imposed(size_t size) {
  const size_t body = size - kHeaderSize;
  const size_t packets = (body + kChunk - 1) / kChunk;
  double t = LineSeconds(2 * kWord) + kReplyPause + kBeforeHeader + kAfterHeader;
  double lastPacketEnd = kBeforeEndWord;  // relative to the start of the last packet
  if (packets > 0) {
    const size_t last = body - (packets - 1) * kChunk;
    t += static_cast<double>(packets - 1) * kPerPacket;
    // The last packet's length word, data, CRC and end word on the line, and
    // the STB's answer that step 14 waits for.
    const double lastOnLine = kAfterLengthWord + LineSeconds(last + 3 * kWord + kWord);
    lastPacketEnd = std::max(kPerPacket + kBeforeEndWord, lastOnLine);
  }
  t += lastPacketEnd;
  // Two 50 ms pauses before the flash report is read (it has arrived by then
  // when the flash time is shorter), the pause after it.
  t += 3 * kReplyPause + std::max(0.0, std::chrono::duration<double>(kFlashTime).count() - 2 * kReplyPause);
  return t;
}

class BenchHost final : public TaskHost {
 public:
  explicit BenchHost(TApdCustomComPort& port, std::string path) : port_(port), path_(std::move(path)) {}

  TApdCustomComPort& Port() override { return port_; }
  std::string ChosenPath() override { return path_; }
  void AppendLog(const std::string& line) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (line == "Initializing Upload task...") requested_ = Clock::now();
    lines_.push_back(line);
    ended_ = Clock::now();
  }
  void SetProgressPosition(int) override {}
  void SetProgressMin(int) override {}
  void SetProgressMax(int) override {}
  void StepProgressBy(int) override {}
  void ShowMessageBox(const std::string& text, const std::string& title) override {
    std::lock_guard<std::mutex> lock(mutex_);
    boxes_.push_back(title + ": " + text);
  }
  void RunOnMainThread(const std::function<void()>& fn) override { queue_.RunAndWait(fn); }
  void TaskEnded(bool reachedFinish) override {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = reachedFinish;
  }

  bool PumpUntilLogged(const std::string& line) {
    return queue_.ProcessUntil(
        [&] {
          std::lock_guard<std::mutex> lock(mutex_);
          return !TaskRunning.load() || std::find(lines_.begin(), lines_.end(), line) != lines_.end();
        },
        Clock::now() + 60s);
  }
  bool RunUntilEnded() {
    return queue_.ProcessUntil([] { return !TaskRunning.load(); }, Clock::now() + kUploadDeadline) &&
           TThread::WaitUntilAllReleased(10s);
  }

  std::mutex mutex_;
  std::optional<Clock::time_point> requested_;
  Clock::time_point ended_;
  std::vector<std::string> lines_;
  std::vector<std::string> boxes_;
  bool finished_ = false;

 private:
  TApdCustomComPort& port_;
  const std::string path_;
  MainThreadQueue queue_;
};

// The STB, in a child forked before the tool starts a thread: tells the line's
// path through `toTool`, starts when `fromTool` brings a byte (after the
// tool's first flush), and exits 0 when it received exactly `expected`.
[[noreturn]] void RunStb(int toTool, int fromTool, const std::vector<uint8_t>& expected) {
  stbsim::SimOptions options;
  options.pace = true;
  options.baud = static_cast<int>(kBaud);
  options.greetInterval = 0ms;
  options.flashTime = kFlashTime;
  options.loop = false;
  stbsim::StbSimulator sim(options);
  const std::string path = sim.SlavePath() + "\n";
  if (write(toTool, path.data(), path.size()) != static_cast<ssize_t>(path.size())) _exit(3);
  char go = 0;
  if (read(fromTool, &go, 1) != 1) _exit(3);
  sim.Start();
  const bool finished = sim.WaitUntilFinished(kUploadDeadline);
  const bool intact = finished && sim.LastUpload().Image() == expected;
  // Keep the line until the tool has closed its port, or its engine would
  // report the vanished device.
  while (read(fromTool, &go, 1) > 0) {
  }
  sim.Stop();
  _exit(!finished ? 4 : intact ? 0 : 5);
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::optional<size_t> ParseSize(const std::string& text) {
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
  if (end == text.c_str()) return std::nullopt;
  const std::string unit(end);
  if (unit.empty()) return value;
  if (unit == "K" || unit == "k") return value * 1024;
  if (unit == "M" || unit == "m") return value * 1024 * 1024;
  return std::nullopt;
}

// One upload of an image of `size` bytes in its own child STB; false when it
// failed or missed a goal. Called before this process has started a thread.
bool Measure(size_t size, const fs::path& folder) {
  const std::vector<uint8_t> image = Image(size);
  const fs::path file = folder / ("bench_" + std::to_string(size) + ".zarn");
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));

  int toTool[2];
  int fromTool[2];
  if (pipe(toTool) != 0 || pipe(fromTool) != 0) return false;
  const pid_t child = fork();
  if (child == 0) {
    close(toTool[0]);
    close(fromTool[1]);
    RunStb(toTool[1], fromTool[0], image);
  }
  close(toTool[1]);
  close(fromTool[0]);
  std::string path;
  for (char c; read(toTool[0], &c, 1) == 1 && c != '\n';) path += c;
  close(toTool[0]);

  bool ok = true;
  {
    TApdComPort port;
    port.SetDevicePath(path);
    port.SetInSize(32768);
    port.SetOutSize(32768);
    port.SetBaud(static_cast<int32_t>(kBaud));
    port.SetOpen(true);
    BenchHost host(port, file.string());

    const double cpuBefore = CpuSeconds();
    const auto wallBefore = Clock::now();
    new UpThread(host);
    ok = host.PumpUntilLogged("Waiting for STB...");
    const char go = 'g';
    ok = ok && write(fromTool[1], &go, 1) == 1;
    ok = host.RunUntilEnded() && ok;
    const double cpu = CpuSeconds() - cpuBefore;
    const double wall = std::chrono::duration<double>(Clock::now() - wallBefore).count();
    port.SetOpen(false);

    const double imposed = Imposed(size);
    const double measured =
        host.requested_ ? std::chrono::duration<double>(host.ended_ - *host.requested_).count() : 0;
    const double ratio = measured / imposed;
    const double cpuShare = wall > 0 ? cpu / wall : 0;
    const bool fast = ratio <= kTimeGoal;
    const bool light = cpuShare < kCpuGoal;
    std::printf("%9zu bytes %4zu packets: %8.3f s (imposed %8.3f s, x%.4f %s), "
                "cpu %.3f s of %.3f s = %.2f%% of a core %s\n",
                size, (size - kHeaderSize + kChunk - 1) / kChunk, measured, imposed, ratio,
                fast ? "ok" : "SLOW", cpu, wall, 100.0 * cpuShare, light ? "ok" : "HEAVY");
    for (const auto& box : host.boxes_) std::printf("  box: %s\n", box.c_str());
    if (!host.finished_) {
      for (const auto& line : host.lines_) std::printf("  log: %s\n", line.c_str());
    }
    std::fflush(stdout);
    ok = ok && host.finished_ && host.boxes_.empty() && fast && light;
  }
  close(fromTool[1]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::printf("  the STB did not receive the image intact (status %d)\n", status);
    ok = false;
  }
  fs::remove(file);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<size_t> sizes;
  for (int i = 1; i < argc; ++i) {
    const auto size = ParseSize(argv[i]);
    if (!size || *size < kHeaderSize) {
      std::fprintf(stderr, "usage: %s [SIZE[K|M]...]  (each at least 64 bytes)\n", argv[0]);
      return 2;
    }
    sizes.push_back(*size);
  }
  if (sizes.empty()) sizes = {64 * 1024, 1024 * 1024};

  const fs::path folder = fs::temp_directory_path();
  bool ok = true;
  for (const size_t size : sizes) ok = Measure(size, folder) && ok;
  return ok ? 0 : 1;
}
