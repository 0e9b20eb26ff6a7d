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
// that stretch is its floor (ProtocolFloor.h), with the STB's flash time.
// Goal: measured <= 1.02 x imposed, processor < 5% of one core.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "Adport.h"
#include "BenchHarness.h"
#include "BigEndian.h"
#include "ProtocolFloor.h"
#include "StbSimulator.h"
#include "TempDir.h"
#include "Unit2.h"

namespace {

using namespace std::chrono_literals;

constexpr size_t kHeaderSize = 64;
constexpr auto kFlashTime = 20ms;
constexpr auto kUploadDeadline = std::chrono::hours(1);
// The task asks for the STB well within this.
constexpr auto kWaitingLimit = 60s;
constexpr uint16_t kRingSize = 32768;
const std::vector<size_t> kDefaultSizes = {64 * 1024, 1024 * 1024};
// Child exit codes: the path could not be told or no go came, the upload did
// not finish, the image arrived altered.
constexpr int kStbNotStarted = 3;
constexpr int kStbNotFinished = 4;
constexpr int kStbImageAltered = 5;

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

// The STB, in the child: starts on the tool's go (after the tool's first
// flush), and returns 0 when it received exactly `expected`.
int RunStb(bench::StbSide& side, const std::vector<uint8_t>& expected) {
  stbsim::SimOptions options;
  options.pace = true;
  options.baud = static_cast<int>(bench::kBaud);
  options.greetInterval = 0ms;
  options.flashTime = kFlashTime;
  options.loop = false;
  stbsim::StbSimulator sim(options);
  if (!side.ReportPath(sim.SlavePath()) || !side.WaitForGo()) return kStbNotStarted;
  sim.Start();
  const bool finished = sim.WaitUntilFinished(kUploadDeadline);
  const bool intact = finished && sim.LastUpload().Image() == expected;
  // Keep the line until the tool has closed its port, or its engine would
  // report the vanished device.
  side.WaitForRelease();
  sim.Stop();
  return !finished ? kStbNotFinished : intact ? 0 : kStbImageAltered;
}

// One upload of an image of `size` bytes in its own child STB; false when it
// failed or missed a goal. Called before this process has started a thread.
bool Measure(size_t size, const TempDir& folder) {
  const std::vector<uint8_t> image = Image(size);
  const std::string file = folder.Write("bench_" + std::to_string(size) + ".zarn", image);
  bench::ChildStb stb([&](bench::StbSide& side) { return RunStb(side, image); });
  if (stb.SlavePath().empty()) {
    std::printf("  the simulated STB did not start\n");
    return false;
  }

  bool ok = true;
  {
    TApdComPort port;
    port.SetDevicePath(stb.SlavePath());
    port.SetInSize(kRingSize);
    port.SetOutSize(kRingSize);
    port.SetBaud(static_cast<int32_t>(bench::kBaud));
    port.SetOpen(true);
    bench::BenchHost host(port, file, "Initializing Upload task...");

    const bench::UsageMeter meter;
    new UpThread(host);
    ok = host.PumpUntilLogged("Waiting for STB...", kWaitingLimit);
    ok = ok && stb.Go();
    ok = host.RunUntilEnded(kUploadDeadline) && ok;
    const bench::UsageMeter::Reading usage = meter.Read();
    port.SetOpen(false);

    const auto packets = static_cast<size_t>(ZarnPacketCount(static_cast<int64_t>(size)));
    const bool goalsMet =
        bench::PrintFigures(size, packets, 4, "packets", host.TimedSeconds().value_or(0),
                            ZarnFloorSeconds(static_cast<int64_t>(size), kFlashTime), usage);
    host.PrintTrouble();
    ok = ok && host.Finished() && !host.BoxShown() && goalsMet;
  }
  if (!stb.Succeeded()) {
    std::printf("  the STB did not receive the image intact (status %d)\n", stb.Status());
    ok = false;
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const auto sizes =
      bench::ParseSizes(argc, argv, kDefaultSizes, kHeaderSize, "  (each at least 64 bytes)");
  if (!sizes) return 2;
  const TempDir folder("zarn-upload-bench");
  bool ok = true;
  for (const size_t size : *sizes) ok = Measure(size, folder) && ok;
  return ok ? 0 : 1;
}
