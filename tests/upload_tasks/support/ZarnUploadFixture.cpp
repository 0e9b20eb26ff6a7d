#include "ZarnUploadFixture.h"

#include <algorithm>

#include "PortSetup.h"
#include "Unit2.h"

using namespace std::chrono_literals;

stbsim::SimOptions ZarnUploadFixture::QuickStb() {
  stbsim::SimOptions options;
  options.greetInterval = 0ms;  // a repeated greeting would be read as a reply
  options.flashTime = 20ms;
  options.restartTime = 20ms;
  options.loop = false;
  return options;
}

FakeTaskClock::Options ZarnUploadFixture::ClockOptions() {
  FakeTaskClock::Options options;
  // 120 ms become 6 ms: long enough for the engine to have written a
  // packet's end before the flush that follows a rejection.
  options.pauseScale = 0.05;
  // A silent STB lets a 30 s limit pass in 600 quiet slices of 1 ms.
  options.realWaitPerSlice = std::chrono::milliseconds(1);
  return options;
}

void ZarnUploadFixture::TearDown() {
  EXPECT_TRUE(host_.RunUntilTaskEnds(30s));
  EXPECT_FALSE(TaskRunning.load());
}

void ZarnUploadFixture::Upload(const std::vector<uint8_t>& image, const Scenario& scenario,
                               const std::string& fileName) {
  UploadPath(folder_.Write(fileName, image), scenario);
}

void ZarnUploadFixture::UploadPath(const std::string& path, const Scenario& scenario) {
  sim_ = std::make_unique<stbsim::StbSimulator>(scenario.sim);
  OpenPortOn(port_, sim_->SlavePath());
  ASSERT_TRUE(port_.Open());
  host_.SetChosenPath(path);
  host_.onLog = [this, extra = scenario.onLog](const std::string& line) {
    {
      std::lock_guard<std::mutex> lock(timesMutex_);
      logTimes_.emplace_back(line, clock_.NowMilliseconds());
    }
    if (extra) extra(line);
  };

  // Fake time passes only while the STB waits for the task with nothing on
  // its way: every answer is in before a limit can run out, and a silent STB
  // still lets it run out quickly.
  clock_.SetPeerQuiet([sim = sim_.get()] { return sim->AwaitsTheTool(); });
  TThread* task = new UpThread(host_, clock_);
  // The STB starts only once the task has flushed, or its greeting would be
  // thrown away with the flush.
  auto logged = [this](const std::string& line) {
    return [this, line] {
      const auto log = host_.Log();
      return !TaskRunning.load() || std::find(log.begin(), log.end(), line) != log.end();
    };
  };
  ASSERT_TRUE(host_.PumpUntil(logged("Waiting for STB...")));
  sim_->Start();

  if (scenario.intervention != Intervention::None) {
    ASSERT_TRUE(host_.PumpUntil(logged(scenario.interveneAtLine)));
    // The notice runs only on this thread, so the task is alive while the
    // flag reads true here.
    if (TaskRunning.load()) {
      task->RequestStop();
      if (scenario.intervention == Intervention::Disconnect) port_.SetOpen(false);
    }
  }
  ASSERT_TRUE(host_.RunUntilTaskEnds(30s));
}

int64_t ZarnUploadFixture::LoggedAt(const std::string& line) const {
  std::lock_guard<std::mutex> lock(timesMutex_);
  for (const auto& [text, at] : logTimes_) {
    if (text == line) return at;
  }
  return -1;
}
