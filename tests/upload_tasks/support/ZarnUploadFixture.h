// Runs one ZARN upload (UpThread) over a pseudo-terminal against the
// simulated STB, on a fake clock that lets time pass only while the STB keeps
// silent, and keeps what the host and the STB saw.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Adport.h"
#include "FakeTaskHost.h"
#include "ImageBuilder.h"
#include "LineAwareClock.h"
#include "StbSimulator.h"
#include "TempDir.h"
#include "testing/FakeTaskClock.h"

class ZarnUploadFixture : public testing::Test {
 public:
  // What the test thread does to the running task when a log line appears.
  enum class Intervention { None, RequestStop, Disconnect };

 protected:
  struct Scenario {
    stbsim::SimOptions sim = QuickStb();
    Intervention intervention = Intervention::None;
    std::string interveneAtLine;
    // Called on the task's thread for every log line (after it is recorded).
    std::function<void(const std::string&)> onLog;
  };

  // A STB that greets once and answers at once, with short flash and restart.
  static stbsim::SimOptions QuickStb();
  static FakeTaskClock::Options ClockOptions();
  // Real time after which a line that never falls quiet lets the fake time
  // run again: far beyond any delay of a loaded machine, well within the
  // upload's own deadline.
  static constexpr std::chrono::milliseconds kStallLimit{5000};

  void TearDown() override;

  // Writes `image` as `fileName` in the test's folder and uploads it.
  void Upload(const std::vector<uint8_t>& image, const Scenario& scenario,
              const std::string& fileName = "image.zarn");
  // Uploads the file at `path` as it is.
  void UploadPath(const std::string& path, const Scenario& scenario);

  std::vector<std::string> Log() const { return host_.Log(); }
  std::vector<FakeTaskHost::Box> Boxes() const { return host_.Boxes(); }
  // Fake time (ms) at which the first log line equal to `line` was written,
  // -1 when it was not.
  int64_t LoggedAt(const std::string& line) const;
  stbsim::UploadRecord StbUpload() const { return sim_->LastUpload(); }
  stbsim::SimRecord StbRecord() const { return sim_->Snapshot(); }

  TempDir folder_{"zarn_tasks"};
  std::unique_ptr<stbsim::StbSimulator> sim_;
  TApdComPort port_;
  FakeTaskHost host_{port_};
  LineAwareClock clock_{port_, ClockOptions(), kStallLimit};

 private:
  mutable std::mutex timesMutex_;
  std::vector<std::pair<std::string, int64_t>> logTimes_;
};
