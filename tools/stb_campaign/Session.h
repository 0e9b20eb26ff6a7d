// One upload session of the campaign: a file, a simulated STB with its faults,
// the real upload task and serial engine over a pseudo-terminal, on the fake
// task clock so that the protocols' pauses and limits cost little real time.
//
//   campaign::SessionPlan plan = campaign::PlanForSeed(42);
//   campaign::SessionResult result = campaign::RunSession(plan, folder);
//   for (const std::string& v : campaign::Violations(plan, result)) ...
//
// Threads: RunSession runs on the calling thread (it pumps the task's
// termination notice there) and starts the task's and the simulator's own.
// Only one session may run at a time in a process: the tasks share
// process-wide state (TaskRunning, the image file handle).
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "CampaignHost.h"
#include "SimOptions.h"
#include "SimRecord.h"
#include "TaskHost.h"
#include "Unit2.h"
#include "testing/FakeTaskClock.h"

namespace campaign {

struct SessionPlan {
  uint64_t seed = 0;
  stbsim::SimOptions sim;
  std::string fileName;       // "image.zarn", "FIRMWARE.DSP"
  std::vector<uint8_t> file;  // what the file holds
  // The plan itself puts a confirming word on the line outside its place
  // (FlashOk, or an ACK near the closing block): the tool cannot tell it from
  // the STB's own, so a confirmation is no proof of a completed upload then.
  bool confirmationForged = false;
  std::string description;  // the faults, for a failure report
  // How a DSP upload paces its data blocks (the campaign's --fast-dsp).
  DspPacing pacing = DspPacing::PausePerBlock;
};

struct SessionResult {
  std::vector<std::string> log;
  std::vector<Box> boxes;
  std::optional<TaskEnd> end;  // nothing when the task never ended (a hang)
  stbsim::SimRecord stb;
  bool stopRequested = false;  // the session's budget ran out; a stop was asked
  bool portClosedUnderTask = false;
  bool progressInRange = true;
  bool fileLeftOpen = false;
  std::chrono::milliseconds realTime{0};
  // When the task's end was reported (nothing for a hang).
  std::optional<std::chrono::steady_clock::time_point> endedAt;
};

// The campaign's scaling: a 200 ms pause takes 10 ms of real time, and a
// silent STB lets a 5 s limit pass in 100 ms.
FakeTaskClock::Options CampaignClock();

// The session's limits. A session whose task has not ended once the fake
// clock passed `stopAfterFake` or `stopAfterReal` passed gets a stop request
// (the protocols wait without limit at a few points); a task that has not
// ended `closeAfterStop` later gets its port closed under it, as Disconnect
// does; one that has still not ended `hangAfterClose` later is a hang.
// The fake clock's scaling is part of it: the STB runs in real time, so a test
// that expects the STB to keep up with the task gives it more real time.
struct SessionBudget {
  FakeTaskClock::Options clock = CampaignClock();
  std::chrono::milliseconds stopAfterFake{std::chrono::seconds(150)};
  std::chrono::milliseconds stopAfterReal{std::chrono::seconds(30)};
  std::chrono::milliseconds closeAfterStop{std::chrono::seconds(1)};
  std::chrono::milliseconds hangAfterClose{std::chrono::seconds(20)};
};

// Writes the plan's file into `folder` and runs the session.
SessionResult RunSession(const SessionPlan& plan, const std::string& folder,
                         const SessionBudget& budget = {});

// What the session did wrong: an empty list when every invariant holds.
std::vector<std::string> Violations(const SessionPlan& plan, const SessionResult& result);

// The random session of `seed`: protocol, file and faults. With `pacing`
// AckDriven a DSP session uses the fast transfer; the faults stay those of
// the seed.
SessionPlan PlanForSeed(uint64_t seed, DspPacing pacing = DspPacing::PausePerBlock);

}  // namespace campaign
