#include "BenchHarness.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "ProtocolFloor.h"
#include "Unit2.h"

namespace bench {

namespace {
// A task that ended has released its resources well within this.
constexpr auto kReleaseLimit = std::chrono::seconds(10);
constexpr std::size_t kKilo = 1024;
// The child's exit code when its body threw.
constexpr int kChildFailed = 3;
}  // namespace

double LineSeconds(std::size_t bytes) { return ::LineSeconds(static_cast<int64_t>(bytes)); }

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

UsageMeter::UsageMeter() : cpuStart_(CpuSeconds()), wallStart_(Clock::now()) {}

UsageMeter::Reading UsageMeter::Read() const {
  return {CpuSeconds() - cpuStart_,
          std::chrono::duration<double>(Clock::now() - wallStart_).count()};
}

std::optional<std::size_t> ParseSize(const std::string& text) {
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
  if (end == text.c_str()) return std::nullopt;
  const std::string unit(end);
  if (unit.empty()) return value;
  if (unit == "K" || unit == "k") return value * kKilo;
  if (unit == "M" || unit == "m") return value * kKilo * kKilo;
  return std::nullopt;
}

std::optional<std::vector<std::size_t>> ParseSizes(int argc, char** argv,
                                                   std::vector<std::size_t> defaults,
                                                   std::size_t minimum, const std::string& note) {
  std::vector<std::size_t> sizes;
  for (int i = 1; i < argc; ++i) {
    const auto size = ParseSize(argv[i]);
    if (!size || *size < minimum) {
      std::fprintf(stderr, "usage: %s [SIZE[K|M]...]%s\n", argv[0], note.c_str());
      return std::nullopt;
    }
    sizes.push_back(*size);
  }
  return sizes.empty() ? defaults : sizes;
}

BenchHost::BenchHost(TApdCustomComPort& port, std::string path, std::string startLine)
    : port_(port), path_(std::move(path)), startLine_(std::move(startLine)) {}

void BenchHost::AppendLog(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (line == startLine_) started_ = Clock::now();
  lines_.push_back(line);
  lastLine_ = Clock::now();
}

void BenchHost::ShowMessageBox(const std::string& text, const std::string& title) {
  std::lock_guard<std::mutex> lock(mutex_);
  boxes_.push_back(title + ": " + text);
}

void BenchHost::TaskEnded(TaskEnd end) {
  std::lock_guard<std::mutex> lock(mutex_);
  finished_ = end != TaskEnd::Early;
}

bool BenchHost::PumpUntilLogged(const std::string& line, Clock::duration limit) {
  return queue_.ProcessUntil(
      [&] {
        std::lock_guard<std::mutex> lock(mutex_);
        return !TaskRunning.load() || std::find(lines_.begin(), lines_.end(), line) != lines_.end();
      },
      Clock::now() + limit);
}

bool BenchHost::RunUntilEnded(Clock::duration limit) {
  return queue_.ProcessUntil([] { return !TaskRunning.load(); }, Clock::now() + limit) &&
         TThread::WaitUntilAllReleased(kReleaseLimit);
}

std::optional<double> BenchHost::TimedSeconds() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!started_) return std::nullopt;
  return std::chrono::duration<double>(lastLine_ - *started_).count();
}

bool BenchHost::Finished() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return finished_;
}

bool BenchHost::BoxShown() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !boxes_.empty();
}

void BenchHost::PrintTrouble() const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& box : boxes_) std::printf("  box: %s\n", box.c_str());
  if (!finished_) {
    for (const auto& line : lines_) std::printf("  log: %s\n", line.c_str());
  }
  std::fflush(stdout);
}

bool StbSide::ReportPath(const std::string& path) {
  const std::string line = path + "\n";
  const bool told = write(toTool_, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  close(toTool_);
  toTool_ = -1;
  return told;
}

bool StbSide::WaitForGo() {
  char go = 0;
  return read(fromTool_, &go, 1) == 1;
}

void StbSide::WaitForRelease() {
  char ignored;
  while (read(fromTool_, &ignored, 1) > 0) {
  }
}

ChildStb::ChildStb(const std::function<int(StbSide&)>& body) {
  int toTool[2];
  int fromTool[2];
  if (pipe(toTool) != 0) return;
  if (pipe(fromTool) != 0) {
    close(toTool[0]);
    close(toTool[1]);
    return;
  }
  child_ = fork();
  if (child_ == 0) {
    close(toTool[0]);
    close(fromTool[1]);
    StbSide side(toTool[1], fromTool[0]);
    try {
      _exit(body(side));
    } catch (...) {
      _exit(kChildFailed);
    }
  }
  close(toTool[1]);
  close(fromTool[0]);
  fromChild_ = toTool[0];
  toChild_ = fromTool[1];
  if (child_ < 0) return;
  for (char c; read(fromChild_, &c, 1) == 1 && c != '\n';) slavePath_ += c;
}

ChildStb::~ChildStb() {
  if (child_ > 0 && !reaped_) Succeeded();
  if (fromChild_ >= 0) close(fromChild_);
  Release();
}

bool ChildStb::Go() {
  const char go = 'g';
  return toChild_ >= 0 && write(toChild_, &go, 1) == 1;
}

void ChildStb::Release() {
  if (toChild_ >= 0) close(toChild_);
  toChild_ = -1;
}

bool ChildStb::Succeeded() {
  if (child_ <= 0) return false;
  Release();
  if (!reaped_) {
    waitpid(child_, &status_, 0);
    reaped_ = true;
  }
  return WIFEXITED(status_) && WEXITSTATUS(status_) == 0;
}

bool PrintFigures(std::size_t size, std::size_t count, int countWidth, const char* unit,
                  double measured, double imposed, const UsageMeter::Reading& usage) {
  const double ratio = imposed > 0 ? measured / imposed : 0;
  const bool fast = ratio <= kTimeGoal;
  const bool light = usage.Share() < kCpuGoal;
  std::printf(
      "%9zu bytes %*zu %s: %8.3f s (imposed %8.3f s, x%.4f %s), "
      "cpu %.3f s of %.3f s = %.2f%% of a core %s\n",
      size, countWidth, count, unit, measured, imposed, ratio, fast ? "ok" : "SLOW", usage.cpu,
      usage.wall, 100.0 * usage.Share(), light ? "ok" : "HEAVY");
  std::fflush(stdout);
  return fast && light;
}

}  // namespace bench
