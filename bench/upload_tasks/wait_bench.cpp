// What a task costs while it waits for the STB, with the real clock:
//  - processor use of the whole tool (task thread, serial engine, main
//    thread) while a task sits in a whole-second wait with nothing arriving;
//  - how soon the wait ends after a byte has been written to the line
//    (median and worst of many rounds).
//
//   zarn-wait-bench [SECONDS]   length of the idle measurement (default 5)
//
// Goals: under 2% of one core while waiting, a new byte seen within 1 ms.
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
#include "BenchHarness.h"
#include "MainThreadQueue.h"
#include "PtyPair.h"
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
      : TThread(host, RealTaskClock(), "UpThread", "Upload task terminated!!!"),
        woke_(std::move(woke)) {
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

}  // namespace

int main(int argc, char** argv) {
  const double idleSeconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  // Held open, so the line stays up however the port handles it.
  PtyPair line(PtyPair::SlaveEnd::HeldOpen);

  TApdComPort port;
  port.SetDevicePath(line.SlavePath());
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
  const bench::UsageMeter meter;
  host.queue_.ProcessUntil([] { return false; },
                           Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                              std::chrono::duration<double>(idleSeconds)));
  const bench::UsageMeter::Reading idle = meter.Read();

  // Latency: one byte at a time, the next once the task is waiting again.
  std::vector<double> latenciesMs;
  const uint8_t byte = 'K';
  for (int round = 0; round <= kLatencyRounds; ++round) {
    host.queue_.ProcessUntil([] { return false; },
                             Clock::now() + 5ms);  // the task is back in its wait
    const size_t before = wakeCount();
    const auto sent = Clock::now();
    line.Send(std::vector<uint8_t>{byte});
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

  std::sort(latenciesMs.begin(), latenciesMs.end());
  const double median = latenciesMs.empty() ? -1 : latenciesMs[latenciesMs.size() / 2];
  const double worst = latenciesMs.empty() ? -1 : latenciesMs.back();
  const double share = idle.Share();
  std::printf("waiting task: cpu %.3f s of %.3f s = %.2f%% of a core %s\n", idle.cpu, idle.wall,
              100 * share, share < kCpuGoal ? "ok" : "HEAVY");
  std::printf("new byte seen after: median %.3f ms, worst %.3f ms over %zu rounds %s\n", median,
              worst, latenciesMs.size(), median >= 0 && median < kLatencyGoalMs ? "ok" : "SLOW");
  return share < kCpuGoal && median >= 0 && median < kLatencyGoalMs ? 0 : 1;
}
