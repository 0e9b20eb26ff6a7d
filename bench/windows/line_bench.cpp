// The serial layer's costs on the Windows backend, on COM5 with the Linux-side
// peer of the wine tests (PeerLine, with_pty_peer.sh):
//  1. the processor time an open, idle port costs (goal: under 2 % of a core);
//  2. the processor time of a task waiting for the STB, which waits on the
//     task clock in slices as the uploads do (goal: under 2 % of a core);
//  3. the median time from a byte's send on the far end to WaitForInput
//     seeing it (goal: under 2 ms). The far end is a TCP connection into
//     socat, so the figure includes that hop: an upper bound.
// Usage: line_bench [idle seconds=3] [latency samples=500]
// Prints one line per measure and exits non-zero when a goal is missed.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "Adport.h"
#include "PeerLine.h"
#include "PortSetup.h"
#include "TaskClock.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char kPort[] = "\\\\.\\COM5";
constexpr double kIdleGoal = 0.02;
constexpr double kWaitingGoal = 0.02;
constexpr double kLatencyGoalMs = 2.0;
// The uploads wait for the STB in slices of this length.
constexpr auto kTaskWaitSlice = std::chrono::milliseconds(100);
constexpr auto kByteLimit = std::chrono::seconds(5);
// Between two latency samples, so each byte finds every thread asleep.
constexpr auto kSampleGap = std::chrono::milliseconds(2);

// Processor time of this process (every thread), in seconds.
double CpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto seconds = [](const FILETIME& t) {
    return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) /
           1e7;
  };
  return seconds(kernel) + seconds(user);
}

// Share of one core used while `work` runs.
template <typename Work>
double CoreShare(Work work) {
  const double cpu = CpuSeconds();
  const auto wall = Clock::now();
  work();
  const double elapsed = std::chrono::duration<double>(Clock::now() - wall).count();
  return (CpuSeconds() - cpu) / elapsed;
}

bool Report(const char* what, double value, double goal, const char* unit, double scale) {
  const bool ok = value < goal;
  std::printf("%-34s %8.3f %s (goal < %.1f %s) %s\n", what, value * scale, unit, goal * scale, unit,
              ok ? "ok" : "MISSED");
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const double idleSeconds = argc > 1 ? std::atof(argv[1]) : 3.0;
  const int samples = argc > 2 ? std::atoi(argv[2]) : 500;
  PeerLine peer;
  if (!peer.Connected()) {
    std::printf("no peer on ZARN_PTY_PEER_PORT (run under with_pty_peer.sh)\n");
    return 2;
  }
  TApdComPort port;
  OpenPortOn(port, kPort);
  const auto idle = std::chrono::duration<double>(idleSeconds);
  bool ok = true;

  const double idleShare = CoreShare([&] { std::this_thread::sleep_for(idle); });
  ok = Report("open idle port, processor", idleShare, kIdleGoal, "% of a core", 100) && ok;

  const double waitingShare = CoreShare([&] {
    const auto end = Clock::now() + idle;
    while (Clock::now() < end) RealTaskClock().WaitForInput(port, kTaskWaitSlice);
  });
  ok = Report("waiting task, processor", waitingShare, kWaitingGoal, "% of a core", 100) && ok;

  std::vector<double> latencies;
  for (int i = 0; i < samples; ++i) {
    std::this_thread::sleep_for(kSampleGap);
    const auto sent = Clock::now();
    if (!peer.Send({static_cast<uint8_t>(i)})) break;
    if (!port.WaitForInput(std::chrono::duration_cast<std::chrono::milliseconds>(kByteLimit)))
      break;
    latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
    port.FlushInBuffer();
  }
  if (latencies.size() != static_cast<size_t>(samples)) {
    std::printf("a byte did not arrive (%zu of %d)\n", latencies.size(), samples);
    return 1;
  }
  std::sort(latencies.begin(), latencies.end());
  const double median = latencies[latencies.size() / 2];
  ok = Report("new byte seen, median", median / 1000, kLatencyGoalMs / 1000, "ms", 1000) && ok;
  std::printf("%-34s %8.3f ms\n", "new byte seen, 90th percentile",
              latencies[latencies.size() * 9 / 10]);
  port.SetOpen(false);
  return ok ? 0 : 1;
}
