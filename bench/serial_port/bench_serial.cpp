// Measures, over pseudo-terminal pairs:
//  1. throughput of bytes reaching GetBlock, against a plain read() loop on a
//     pair of its own (goal: at least 80 % of it);
//  2. the median time from a byte's write on the far end to CharReady true
//     (goal: under 0.5 ms);
//  3. the processor time an open, idle port costs (goal: under 1 % of a core).
// Usage: bench_serial [megabytes=64] [latency samples=2000] [idle seconds=3]
#include <fcntl.h>
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
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "Adport.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kChunk = 4096;
constexpr auto kWaitSlice = std::chrono::milliseconds(50);

struct Pair {
  int master = -1;
  std::string slavePath;
  int slave = -1;
  Pair() {
    termios raw{};
    cfmakeraw(&raw);
    char name[256] = {};
    if (openpty(&master, &slave, name, &raw, nullptr) != 0) throw std::runtime_error("openpty");
    slavePath = name;
  }
  ~Pair() {
    if (slave >= 0) close(slave);
    close(master);
  }
};

void WriteAll(int fd, std::size_t total) {
  std::vector<uint8_t> chunk(kChunk, 0x55);
  std::size_t done = 0;
  while (done < total) {
    ssize_t n = write(fd, chunk.data(), std::min(kChunk, total - done));
    if (n > 0) done += static_cast<std::size_t>(n);
  }
}

double PlainReadMBps(std::size_t total) {
  Pair pair;
  std::thread writer([&] { WriteAll(pair.master, total); });
  std::vector<uint8_t> buffer(kChunk * 4);
  std::size_t got = 0;
  const auto start = Clock::now();
  while (got < total) {
    pollfd p{pair.slave, POLLIN, 0};
    poll(&p, 1, 50);
    ssize_t n = read(pair.slave, buffer.data(), buffer.size());
    if (n > 0) got += static_cast<std::size_t>(n);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  writer.join();
  return total / seconds / 1e6;
}

void OpenOn(TApdComPort& port, Pair& pair) {
  close(pair.slave);
  pair.slave = -1;
  port.SetDevicePath(pair.slavePath);
  port.SetBaud(115200);
  port.SetAutoOpen(false);
  port.SetDTR(false);
  port.SetRTS(false);
  port.SetInSize(32768);
  port.SetOutSize(32768);
  port.SetOpen(true);
}

double PortMBps(std::size_t total) {
  Pair pair;
  TApdComPort port;
  OpenOn(port, pair);
  std::thread writer([&] { WriteAll(pair.master, total); });
  std::vector<uint8_t> buffer(8192);
  std::size_t got = 0;
  const auto start = Clock::now();
  while (got < total) {
    port.WaitForInput(kWaitSlice);
    const uint32_t ready = port.InBuffUsed();
    if (ready == 0) continue;
    got += port.GetBlock(buffer.data(), static_cast<uint16_t>(ready));
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  writer.join();
  return total / seconds / 1e6;
}

double MedianLatencyMs(int samples) {
  Pair pair;
  TApdComPort port;
  OpenOn(port, pair);
  std::vector<double> ms;
  ms.reserve(static_cast<std::size_t>(samples));
  uint8_t byte = 0;
  for (int i = 0; i < samples; ++i) {
    const auto start = Clock::now();
    if (write(pair.master, "x", 1) != 1) throw std::runtime_error("write");
    // Polling CharReady as an upload task's wait does; spinning here only
    // makes the measurement exact.
    while (!port.CharReady()) {
    }
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    port.GetBlock(&byte, 1);
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
         usage.ru_stime.tv_usec / 1e6;
}

double IdleCpuPercent(int seconds) {
  Pair pair;
  TApdComPort port;
  OpenOn(port, pair);
  const double cpuBefore = ProcessCpuSeconds();
  const auto start = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  return (ProcessCpuSeconds() - cpuBefore) / wall * 100.0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
  const int samples = argc > 2 ? std::atoi(argv[2]) : 2000;
  const int idleSeconds = argc > 3 ? std::atoi(argv[3]) : 3;
  const std::size_t total = megabytes * 1000 * 1000;

  // Alternating rounds, so that a burst of load on a shared machine hits both
  // sides alike; the medians are compared.
  constexpr int kRounds = 9;
  std::vector<double> plainRuns, portRuns;
  for (int round = 0; round < kRounds; ++round) {
    plainRuns.push_back(PlainReadMBps(total));
    portRuns.push_back(PortMBps(total));
  }
  for (int round = 0; round < kRounds; ++round) {
    std::printf("  round %d: plain %.1f MB/s, GetBlock %.1f MB/s\n", round, plainRuns[round],
                portRuns[round]);
  }
  std::sort(plainRuns.begin(), plainRuns.end());
  std::sort(portRuns.begin(), portRuns.end());
  const double plain = plainRuns[kRounds / 2];
  const double port = portRuns[kRounds / 2];
  std::printf(
      "throughput (median of %d): plain read() %.1f MB/s, GetBlock %.1f MB/s = %.0f %% "
      "(goal >= 80 %%)\n",
      kRounds, plain, port, port / plain * 100.0);
  const double latency = MedianLatencyMs(samples);
  std::printf("latency: median write-to-CharReady %.3f ms over %d bytes (goal < 0.5 ms)\n", latency,
              samples);
  const double idle = IdleCpuPercent(idleSeconds);
  std::printf("idle: open port costs %.2f %% of one core over %d s (goal < 1 %%)\n", idle,
              idleSeconds);
  return 0;
}
