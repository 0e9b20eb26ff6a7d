// DSP upload speed and processor use against the simulated STB pacing its
// line at 115200 bits per second.
//
//   zarn-dsp-bench [SIZE...]      SIZE in bytes, or with K or M (default: 64K)
//   zarn-dsp-bench 64K 1M         the two figures of the README (1M: ~3.5 min)
//
// For each size the STB runs in a child process, so that the processor time
// this process spends (getrusage) is the tool's alone: the task's thread, the
// serial engine's threads and the main thread that runs the notices.
//
// The time measured runs from "connection established!!!" to the termination
// line. The time the protocol imposes on it: the fixed 200 ms pause of each
// data block (the block's 1030 bytes cross the line within it), plus the line
// time of the header and closing blocks, the EOTs and the STB's reply bytes.
// Goal: measured <= 1.02 x imposed, processor < 5% of one core.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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
constexpr double kBlockPauseSeconds = 0.200;
constexpr size_t kBlockSize = 1024;
constexpr size_t kHeaderBlockBytes = 133;
// STB replies: ACK and 'C' to the header, NAK and ACK to the two EOTs, ACK to
// the closing block; the tool's two EOTs.
constexpr size_t kReplyBytes = 5;
constexpr size_t kEotBytes = 2;
constexpr double kTimeGoal = 1.02;
constexpr double kCpuGoal = 0.05;
// The STB's 'C' interval while it waits for the tool.
constexpr auto kContactInterval = 100ms;

// Twice the imposed time and half a minute more: an upload that takes longer
// has failed.
std::chrono::milliseconds UploadDeadline(size_t size) {
  return std::chrono::milliseconds(400 * ((size + 1023) / 1024) + 30'000);
}

std::vector<uint8_t> Pattern(size_t size) {
  std::vector<uint8_t> bytes(size);
  uint32_t state = 0x12345678u;
  for (auto& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<uint8_t>(state >> 16);
  }
  return bytes;
}

// A host without a window: log lines with their arrival time, boxes counted.
class BenchHost final : public TaskHost {
 public:
  explicit BenchHost(TApdCustomComPort& port) : port_(port) {}

  TApdCustomComPort& Port() override { return port_; }
  std::string ChosenPath() override { return path_; }
  void AppendLog(const std::string& line) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (line == "connection established!!!") connected_ = Clock::now();
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

  void SetPath(std::string path) { path_ = std::move(path); }
  bool RunUntilEnded(Clock::duration limit) {
    return queue_.ProcessUntil([] { return !TaskRunning.load(); }, Clock::now() + limit) &&
           TThread::WaitUntilAllReleased(std::chrono::seconds(10));
  }

  std::optional<Clock::time_point> connected_;
  Clock::time_point ended_;
  std::vector<std::string> lines_;
  std::vector<std::string> boxes_;
  bool finished_ = false;

 private:
  TApdCustomComPort& port_;
  std::string path_;
  MainThreadQueue queue_;
  std::mutex mutex_;
};

// The STB's side, in a child forked before this process starts any thread:
// reports the line's path through `pipeFd`, receives one file per size, keeps
// the line open until `doneFd` reaches its end (closing the line would drop
// the last reply still on its way), and exits 0 when each file equals the
// pattern of its size.
[[noreturn]] void RunStb(int pipeFd, int doneFd, const std::vector<size_t>& sizes) {
  stbsim::SimOptions options;
  options.mode = stbsim::SimMode::Dsp;
  options.pace = true;
  options.baud = static_cast<int>(kBaud);
  options.cInterval = kContactInterval;
  options.loop = true;
  stbsim::StbSimulator sim(options);
  const std::string path = sim.SlavePath() + "\n";
  if (write(pipeFd, path.data(), path.size()) != static_cast<ssize_t>(path.size())) _exit(3);
  close(pipeFd);
  sim.Start();
  for (size_t i = 0; i < sizes.size(); ++i) {
    const bool done = sim.WaitFor(
        [&](const stbsim::SimRecord& r) { return r.uploads.size() > i && r.uploads[i].finished; },
        UploadDeadline(sizes[i]));
    if (!done || sim.Snapshot().uploads[i].dspFile != Pattern(sizes[i])) {
      const auto start = sim.Events().empty() ? Clock::now() : sim.Events().front().at;
      for (const auto& event : sim.Events()) {
        std::fprintf(stderr, "  stb %8.3f s: %s\n",
                     std::chrono::duration<double>(event.at - start).count(), event.text.c_str());
      }
      _exit(done ? 5 : 4);
    }
  }
  char ignored;
  while (read(doneFd, &ignored, 1) > 0) {
  }
  sim.Stop();
  _exit(0);
}

double LineSeconds(size_t bytes) { return static_cast<double>(bytes) * kBitsPerByte / kBaud; }

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

// One upload of `size` bytes; false when it failed or missed a goal.
bool Measure(TApdCustomComPort& port, size_t size, const fs::path& file) {
  BenchHost host(port);
  host.SetPath(file.string());
  const double cpuBefore = CpuSeconds();
  const auto wallBefore = Clock::now();
  new UpDspThread(host);
  bool ok = host.RunUntilEnded(UploadDeadline(size));
  const double cpu = CpuSeconds() - cpuBefore;
  const double wall = std::chrono::duration<double>(Clock::now() - wallBefore).count();

  const size_t blocks = (size + kBlockSize - 1) / kBlockSize;
  const double imposed = static_cast<double>(blocks) * kBlockPauseSeconds +
                         LineSeconds(2 * kHeaderBlockBytes + kEotBytes + kReplyBytes);
  const double measured =
      host.connected_ ? std::chrono::duration<double>(host.ended_ - *host.connected_).count() : 0;
  const double ratio = imposed > 0 ? measured / imposed : 0;
  const double cpuShare = wall > 0 ? cpu / wall : 0;
  ok = ok && host.finished_ && host.boxes_.empty() && host.connected_.has_value();
  const bool fast = ratio <= kTimeGoal;
  const bool light = cpuShare < kCpuGoal;
  std::printf("%9zu bytes %5zu blocks: %8.3f s (imposed %8.3f s, x%.4f %s), "
              "cpu %.3f s of %.3f s = %.2f%% of a core %s\n",
              size, blocks, measured, imposed, ratio, fast ? "ok" : "SLOW", cpu, wall,
              100.0 * cpuShare, light ? "ok" : "HEAVY");
  std::fflush(stdout);
  for (const auto& box : host.boxes_) std::printf("  box: %s\n", box.c_str());
  if (!host.finished_) {
    for (const auto& line : host.lines_) std::printf("  log: %s\n", line.c_str());
  }
  return ok && fast && light;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<size_t> sizes;
  for (int i = 1; i < argc; ++i) {
    const auto size = ParseSize(argv[i]);
    if (!size) {
      std::fprintf(stderr, "usage: %s [SIZE[K|M]...]\n", argv[0]);
      return 2;
    }
    sizes.push_back(*size);
  }
  if (sizes.empty()) sizes.push_back(64 * 1024);

  std::string pattern = (fs::temp_directory_path() / "zarn-dsp-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return 2;
  const fs::path dir = pattern;

  std::vector<fs::path> files;
  for (size_t size : sizes) {
    files.push_back(dir / ("BENCH_" + std::to_string(size) + ".DSP"));
    const std::vector<uint8_t> bytes = Pattern(size);
    std::ofstream out(files.back(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(size));
  }

  int fds[2];
  int doneFds[2];
  if (pipe(fds) != 0 || pipe(doneFds) != 0) return 2;
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    close(doneFds[1]);
    RunStb(fds[1], doneFds[0], sizes);
  }
  close(fds[1]);
  close(doneFds[0]);
  std::string slave;
  char c = 0;
  while (read(fds[0], &c, 1) == 1 && c != '\n') slave.push_back(c);
  close(fds[0]);
  if (child < 0 || slave.empty()) {
    std::fprintf(stderr, "the simulated STB did not start\n");
    return 2;
  }

  bool ok = true;
  {
    TApdComPort port;
    port.SetDevicePath(slave);
    port.SetBaud(115200);
    port.SetDataBits(8);
    port.SetStopBits(1);
    port.SetParity(pNone);
    port.SetInSize(32768);
    port.SetOutSize(32768);
    port.SetDTR(false);
    port.SetRTS(false);
    port.SetOpen(true);
    for (size_t i = 0; i < sizes.size(); ++i) ok = Measure(port, sizes[i], files[i]) && ok;
    port.SetOpen(false);
  }
  close(doneFds[1]);

  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::printf("the STB did not receive every file intact (status %d)\n", status);
    ok = false;
  }
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  return ok ? 0 : 1;
}
