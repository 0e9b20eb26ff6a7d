// Shared set-up of the DSP upload tests: a simulated STB in DSP mode on a
// pseudo-terminal, the port opened on it as the window's Connect would, a
// recording host, a temporary folder for the files to send, and a clock that
// lets the 10-second limits pass in milliseconds once the STB keeps silent.
//
// Threads: the test's thread is the host's main thread; it builds the
// fixture, starts the task and pumps the host until the task ends. The task
// runs on its own thread; the simulator on its own.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Adport.h"
#include "FakeTaskHost.h"
#include "LineAwareClock.h"
#include "StbSimulator.h"
#include "TaskClock.h"
#include "TempDir.h"
#include "Unit2.h"
#include "testing/FakeTaskClock.h"

namespace dsptest {

// The STB starts once the task has emptied the port at its start and asks
// with 'C' once: a second 'C' could only arrive stale, while the header is
// on its way, and would count as a failed header send.
inline constexpr std::chrono::milliseconds kContactInterval = std::chrono::hours(1);
// For STBs that must repeat themselves at first contact.
inline constexpr std::chrono::milliseconds kRepeatInterval{20};
// Real time that a fake wait slice takes when no byte comes: with the task's
// 50 ms slices, a 10-second limit passes in about one second of real time.
inline constexpr std::chrono::milliseconds kRealWaitPerSlice{5};
// Real time after which a line that never falls quiet (an STB repeating
// itself on its own timer) lets fake time run again: far beyond any delay of a
// loaded machine, well within the test's deadline.
inline constexpr std::chrono::milliseconds kStallLimit{5000};
// Generous deadline for anything the test waits for.
inline constexpr std::chrono::milliseconds kDeadline{60000};

// The receiver's answers, written out here rather than taken from the tool.
inline constexpr uint8_t ACK = 0x06;
inline constexpr uint8_t NAK = 0x15;
inline constexpr uint8_t CAN = 0x18;
inline constexpr uint8_t SUB = 0x1A;

// The STB answers `reply` instead of its own answer every time in `phase`;
// or only to its answer number `index` there (counted from 0).
stbsim::Fault Always(stbsim::SimPhase phase, std::vector<uint8_t> reply);
stbsim::Fault Once(stbsim::SimPhase phase, int index, std::vector<uint8_t> reply);

// The log line of an acknowledged data block: block `index` of a file whose
// size holds `total` whole blocks, `offset` bytes sent before it.
std::string PacketLine(size_t index, size_t total, size_t offset);

class DspUploadTest : public ::testing::Test {
 protected:
  DspUploadTest();
  ~DspUploadTest() override;

  // Makes the STB with `options` (see DspOptions) and opens the port on it.
  // The STB starts with the upload, once the task has emptied the port.
  void StartStb(stbsim::SimOptions options);
  static stbsim::SimOptions DspOptions(std::vector<stbsim::Fault> faults = {});

  // Writes `bytes` to `name` in the temporary folder; returns its path.
  std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes);
  static std::vector<uint8_t> Pattern(size_t size);

  // Starts a DSP upload of `path` on `clock` (the fixture's line-aware clock,
  // watching the STB, when null), then the STB once the task waits for first contact. Returns
  // the task; it is valid while TaskRunning is true.
  UpDspThread* StartUpload(const std::string& path, TaskClock* clock = nullptr);
  // Starts it and pumps the host until the task has ended and been released.
  void RunUpload(const std::string& path, TaskClock* clock = nullptr);
  // Pumps the host until the task has ended; fails the test otherwise.
  void FinishUpload();

  // Disconnect as the window does it: stop request, then the port's close.
  void Disconnect(UpDspThread* task);

  // The task's own lines: the log without its termination line.
  std::vector<std::string> TaskLines() const;
  stbsim::UploadRecord Received() const { return sim_->LastUpload(); }

  TempDir dir_{"zarn-dsp"};
  TApdComPort port_;
  FakeTaskHost host_{port_};
  FakeTaskClock::Options clockOptions_;
  std::chrono::milliseconds stallLimit_ = kStallLimit;
  // The pacing StartUpload gives the task.
  DspPacing pacing_ = DspPacing::PausePerBlock;
  std::unique_ptr<LineAwareClock> clock_;
  std::unique_ptr<stbsim::StbSimulator> sim_;
};

// True when the last line of `log` is the DSP task's termination line.
bool EndsWithTerminationLine(const std::vector<std::string>& log);

}  // namespace dsptest
