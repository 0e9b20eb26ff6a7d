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
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "Adport.h"
#include "BenchHarness.h"
#include "PortSetup.h"
#include "ProtocolFloor.h"
#include "StbSimulator.h"
#include "TempDir.h"
#include "Unit2.h"

namespace {

using bench::Clock;
using namespace std::chrono_literals;

// The STB's 'C' interval while it waits for the tool.
constexpr auto kContactInterval = 100ms;
constexpr size_t kDefaultSize = 64 * 1024;
// Child exit codes: the path could not be told, a file did not arrive in
// time, one arrived altered.
constexpr int kStbPathUntold = 3;
constexpr int kStbTimedOut = 4;
constexpr int kStbFileAltered = 5;

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

// The STB's side, in the child: receives one file per size, keeps the line
// open until released (closing the line would drop the last reply still on
// its way), and returns 0 when each file equals the pattern of its size.
int RunStb(bench::StbSide& side, const std::vector<size_t>& sizes) {
  stbsim::SimOptions options;
  options.mode = stbsim::SimMode::Dsp;
  options.pace = true;
  options.baud = static_cast<int>(bench::kBaud);
  options.cInterval = kContactInterval;
  options.loop = true;
  stbsim::StbSimulator sim(options);
  if (!side.ReportPath(sim.SlavePath())) return kStbPathUntold;
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
      return done ? kStbFileAltered : kStbTimedOut;
    }
  }
  side.WaitForRelease();
  sim.Stop();
  return 0;
}

// One upload of `size` bytes; false when it failed or missed a goal.
bool Measure(TApdCustomComPort& port, size_t size, const std::string& file) {
  bench::BenchHost host(port, file, "connection established!!!");
  const bench::UsageMeter meter;
  new UpDspThread(host);
  const bool ended = host.RunUntilEnded(UploadDeadline(size));
  const bench::UsageMeter::Reading usage = meter.Read();

  const auto blocks = static_cast<size_t>(DspBlockCount(static_cast<int64_t>(size)));
  const double imposed = DspFloorSeconds(static_cast<int64_t>(size));
  const auto measured = host.TimedSeconds();
  const bool goalsMet =
      bench::PrintFigures(size, blocks, 5, "blocks", measured.value_or(0), imposed, usage);
  host.PrintTrouble();
  return ended && host.Finished() && !host.BoxShown() && measured.has_value() && goalsMet;
}

}  // namespace

int main(int argc, char** argv) {
  const auto sizes = bench::ParseSizes(argc, argv, {kDefaultSize});
  if (!sizes) return 2;

  const TempDir dir("zarn-dsp-bench");
  std::vector<std::string> files;
  for (size_t size : *sizes)
    files.push_back(dir.Write("BENCH_" + std::to_string(size) + ".DSP", Pattern(size)));

  bench::ChildStb stb([&](bench::StbSide& side) { return RunStb(side, *sizes); });
  if (stb.SlavePath().empty()) {
    std::fprintf(stderr, "the simulated STB did not start\n");
    return 2;
  }

  bool ok = true;
  {
    TApdComPort port;
    ConfigureLikeMainWindow(port, stb.SlavePath());
    port.SetOpen(true);
    for (size_t i = 0; i < sizes->size(); ++i) ok = Measure(port, (*sizes)[i], files[i]) && ok;
    port.SetOpen(false);
  }
  if (!stb.Succeeded()) {
    std::printf("the STB did not receive every file intact (status %d)\n", stb.Status());
    ok = false;
  }
  return ok ? 0 : 1;
}
