// What a task costs while it waits for the STB, with the real clock:
//  - processor use of the whole tool (task thread, serial engine, main
//    thread) while a task sits in a whole-second wait with nothing arriving;
//  - how soon the wait ends after a byte has been written to the line
//    (median and worst of many rounds).
//
//   zarn-wait-bench [SECONDS]   length of the idle measurement (default 5)
//
// Goals: under 2% of one core while waiting, a new byte seen within 1 ms.
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "Adport.h"
#include "MainThreadQueue.h"
#include "TaskHost.h"
#include "Unit2.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr double kCpuGoal = 0.02;
constexpr double kLatencyGoalMs = 1.0;
constexpr int kLatencyRounds = 200;
// Far beyond the measurement, so the wait ends only on a byte.
constexpr int kWaitLimitSeconds = 3600;

class QuietHost final : public TaskHost {
 public:
  explicit QuietHost(TApdCustomComPort& port) : port_(port) {}
  TApdCustomComPort& Port() override { return port_; }
  std::string ChosenPath() override { return ""; }
  void AppendLog(const std::string&) override {}
  void SetProgressPosition(int) override {}
  void SetProgressMin(int) override {}
  void SetProgressMax(int) override {}
  void StepProgressBy(int) override {}
  void ShowMessageBox(const std::string&, const std::string&) override {}
  void RunOnMainThread(const std::function<void()>& fn) override { queue_.RunAndWait(fn); }
  MainThreadQueue queue_;

 private:
  TApdCustomComPort& port_;
};

// Waits once for the idle measurement, then once per latency round; each
// round's end time is handed to the main thread.
class WaitingTask final : public TThread {
 public:
  WaitingTask(TaskHost& host, std::function<void(Clock::time_point)> woke)
      : TThread(host, RealTaskClock(), "UpThread", "Upload task terminated!!!"), woke_(std::move(woke)) {
    Start();
  }

 protected:
  void Execute() override {
    for (int round = 0; round <= kLatencyRounds; ++round) {
      if (WaitSeconds(kWaitLimitSeconds) != WaitOutcome::ByteReady) return;
      woke_(Clock::now());
      uint8_t byte;
      Port().GetBlock(&byte, 1);
    }
  }

 private:
  std::function<void(Clock::time_point)> woke_;
};

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  const double idleSeconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  int master = -1;
  int slave = -1;
  char name[256] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return 2;
  termios raw{};
  tcgetattr(slave, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave, TCSANOW, &raw);

  TApdComPort port;
  port.SetDevicePath(name);
  port.SetOpen(true);
  QuietHost host(port);

  std::mutex mutex;
  std::vector<Clock::time_point> wakes;
  auto woke = [&](Clock::time_point at) {
    std::lock_guard<std::mutex> lock(mutex);
    wakes.push_back(at);
  };
  auto wakeCount = [&] {
    std::lock_guard<std::mutex> lock(mutex);
    return wakes.size();
  };
  new WaitingTask(host, woke);

  // Idle: the task waits, nothing arrives.
  const double cpuBefore = CpuSeconds();
  const auto wallBefore = Clock::now();
  host.queue_.ProcessUntil([] { return false; },
                           wallBefore + std::chrono::duration_cast<Clock::duration>(
                                            std::chrono::duration<double>(idleSeconds)));
  const double cpu = CpuSeconds() - cpuBefore;
  const double wall = std::chrono::duration<double>(Clock::now() - wallBefore).count();

  // Latency: one byte at a time, the next once the task is waiting again.
  std::vector<double> latenciesMs;
  const uint8_t byte = 'K';
  for (int round = 0; round <= kLatencyRounds; ++round) {
    host.queue_.ProcessUntil([] { return false; }, Clock::now() + 5ms);  // the task is back in its wait
    const size_t before = wakeCount();
    const auto sent = Clock::now();
    if (write(master, &byte, 1) != 1) return 2;
    host.queue_.ProcessUntil([&] { return wakeCount() > before; }, Clock::now() + 5s, 1ms);
    std::lock_guard<std::mutex> lock(mutex);
    if (wakes.size() <= before) break;
    if (round > 0) {  // the first also ends the idle wait
      latenciesMs.push_back(std::chrono::duration<double, std::milli>(wakes.back() - sent).count());
    }
  }
  host.queue_.ProcessUntil([] { return !TaskRunning.load(); }, Clock::now() + 10s);
  TThread::WaitUntilAllReleased(5s);
  port.SetOpen(false);
  close(master);
  close(slave);

  std::sort(latenciesMs.begin(), latenciesMs.end());
  const double median = latenciesMs.empty() ? -1 : latenciesMs[latenciesMs.size() / 2];
  const double worst = latenciesMs.empty() ? -1 : latenciesMs.back();
  const double share = wall > 0 ? cpu / wall : 0;
  std::printf("waiting task: cpu %.3f s of %.3f s = %.2f%% of a core %s\n", cpu, wall, 100 * share,
              share < kCpuGoal ? "ok" : "HEAVY");
  std::printf("new byte seen after: median %.3f ms, worst %.3f ms over %zu rounds %s\n", median,
              worst, latenciesMs.size(), median >= 0 && median < kLatencyGoalMs ? "ok" : "SLOW");
  return share < kCpuGoal && median >= 0 && median < kLatencyGoalMs ? 0 : 1;
}
