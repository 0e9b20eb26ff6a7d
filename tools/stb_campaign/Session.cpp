#include "Session.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "Adport.h"
#include "StbSimulator.h"
#include "Unit2.h"
#include "UploadTaskFactory.h"

namespace campaign {

namespace {

using namespace std::chrono_literals;

// The main window's port: 115200 8N1, 32 KiB rings, DTR and RTS low.
constexpr int32_t kBaud = 115200;
constexpr uint16_t kRingSize = 32768;
// How often the session looks at its budget while it pumps the notices.
constexpr auto kBudgetRecheck = 5ms;
// The task logs its first line at once; this only guards a broken start.
constexpr auto kFirstLineLimit = 10s;
// Time for a finished task's thread to release its object.
constexpr auto kReleaseLimit = 10s;
// Exit status of a campaign process that met a hang: the task still holds
// the session's host and port, so nothing can safely go on.
constexpr int kHangExit = 4;

void OpenLikeTheWindow(TApdComPort& port, const std::string& device) {
  port.SetInSize(kRingSize);
  port.SetOutSize(kRingSize);
  port.SetAutoOpen(false);
  port.SetDTR(false);
  port.SetRTS(false);
  port.SetTapiMode(tmNone);
  port.SetDevicePath(device);
  port.SetBaud(kBaud);
  port.SetDataBits(8);
  port.SetStopBits(1);
  port.SetParity(pNone);
  port.SetOpen(true);
  port.FlushInBuffer();
  port.FlushOutBuffer();
}

bool Logged(const CampaignHost& host, const std::string& line) {
  for (const std::string& l : host.Log()) {
    if (l == line) return true;
  }
  return false;
}

}  // namespace

FakeTaskClock::Options CampaignClock() {
  FakeTaskClock::Options options;
  options.pauseScale = 0.05;
  options.realWaitPerSlice = 1ms;
  return options;
}

SessionResult RunSession(const SessionPlan& plan, const std::string& folder,
                         const SessionBudget& budget) {
  const std::string path = folder + "/" + plan.fileName;
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(plan.file.data()),
              static_cast<std::streamsize>(plan.file.size()));
  }

  SessionResult result;
  const auto realStart = std::chrono::steady_clock::now();
  stbsim::StbSimulator sim(plan.sim);
  TApdComPort port;
  OpenLikeTheWindow(port, sim.SlavePath());
  CampaignHost host(port, path);
  FakeTaskClock clock(budget.clock);

  TThread* task = StartUploadTask(host, ProtocolForPath(plan.fileName),
                                  plan.pacing == DspPacing::AckDriven, clock)
                      .Task();
  const auto ended = [] { return !TaskRunning.load(); };
  // The task empties the port before it logs its first line: the STB starts
  // after that, or its first word would be thrown away with the flush.
  host.Queue().ProcessUntil([&] { return ended() || Logged(host, "Waiting for STB..."); },
                            std::chrono::steady_clock::now() + kFirstLineLimit);
  sim.Start();

  const int64_t fakeStart = clock.NowMilliseconds();
  const auto overBudget = [&] {
    return clock.NowMilliseconds() - fakeStart > budget.stopAfterFake.count() ||
           std::chrono::steady_clock::now() - realStart > budget.stopAfterReal;
  };
  host.Queue().ProcessUntil([&] { return ended() || overBudget(); },
                            std::chrono::steady_clock::time_point::max(), kBudgetRecheck);
  // The notice runs only on this thread, so the task is alive while the flag
  // reads true here.
  if (!ended()) {
    result.stopRequested = true;
    task->RequestStop();
    host.Queue().ProcessUntil(ended, std::chrono::steady_clock::now() + budget.closeAfterStop,
                              kBudgetRecheck);
  }
  if (!ended()) {
    result.portClosedUnderTask = true;
    port.SetOpen(false);
    host.Queue().ProcessUntil(ended, std::chrono::steady_clock::now() + budget.hangAfterClose,
                              kBudgetRecheck);
  }
  if (!ended()) {
    std::fprintf(stderr, "HANG: seed %llu: the task did not end (%s)\n",
                 static_cast<unsigned long long>(plan.seed), plan.description.c_str());
    std::fflush(stderr);
    std::_Exit(kHangExit);
  }
  TThread::WaitUntilAllReleased(kReleaseLimit);

  sim.Stop();
  port.SetOpen(false);
  result.log = host.Log();
  result.boxes = host.Boxes();
  result.end = host.End();
  result.endedAt = host.EndedAt();
  result.stb = sim.Snapshot();
  result.progressInRange = host.ProgressInRange();
  result.fileLeftOpen = TheImageFile().IsOpen();
  result.realTime = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - realStart);
  return result;
}

}  // namespace campaign
