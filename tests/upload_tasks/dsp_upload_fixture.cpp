#include "dsp_upload_fixture.h"

#include "PortSetup.h"

namespace dsptest {

DspUploadTest::DspUploadTest() {
  clockOptions_.realWaitPerSlice = kRealWaitPerSlice;
  // The clock waits for the STB's answers itself; a pause needs no real
  // sleep on top.
  clockOptions_.pauseScale = 0;
}

DspUploadTest::~DspUploadTest() {
  // A task that a failed assertion left running must be gone before the
  // port, the host and the clock it uses.
  if (TaskRunning.load()) {
    if (port_.Open()) port_.SetOpen(false);
    host_.RunUntilTaskEnds(kDeadline);
  }
  if (port_.Open()) port_.SetOpen(false);
  sim_.reset();
}

stbsim::SimOptions DspUploadTest::DspOptions(std::vector<stbsim::Fault> faults) {
  stbsim::SimOptions options;
  options.mode = stbsim::SimMode::Dsp;
  options.cInterval = kContactInterval;
  options.loop = false;
  options.faults = std::move(faults);
  return options;
}

void DspUploadTest::StartStb(stbsim::SimOptions options) {
  sim_ = std::make_unique<stbsim::StbSimulator>(std::move(options));
  OpenPortOn(port_, sim_->SlavePath());
}

std::string DspUploadTest::WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
  return dir_.Write(name, bytes);
}

std::vector<uint8_t> DspUploadTest::Pattern(size_t size) {
  std::vector<uint8_t> bytes(size);
  uint32_t state = 0x9E3779B9u ^ static_cast<uint32_t>(size);
  for (auto& byte : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    byte = static_cast<uint8_t>(state);
  }
  return bytes;
}

UpDspThread* DspUploadTest::StartUpload(const std::string& path, TaskClock* clock) {
  if (clock == nullptr) {
    if (!clock_) clock_ = std::make_unique<LineAwareClock>(port_, clockOptions_, stallLimit_);
    clock = clock_.get();
  }
  if (sim_ && clock == clock_.get()) {
    clock_->SetPeerQuiet([sim = sim_.get()] { return sim->AwaitsTheTool(); });
  }
  host_.SetChosenPath(path);
  UpDspThread* task = new UpDspThread(host_, *clock, pacing_);
  if (sim_) {
    // "Waiting for STB..." follows the task's flush, right before its wait.
    EXPECT_TRUE(host_.PumpUntil([&] { return !host_.Log().empty(); }, kDeadline));
    sim_->Start();
  }
  return task;
}

void DspUploadTest::RunUpload(const std::string& path, TaskClock* clock) {
  StartUpload(path, clock);
  FinishUpload();
}

void DspUploadTest::FinishUpload() {
  ASSERT_TRUE(host_.RunUntilTaskEnds(kDeadline)) << "the task did not end";
}

void DspUploadTest::Disconnect(UpDspThread* task) {
  task->RequestStop();
  port_.SetOpen(false);
}

std::vector<std::string> DspUploadTest::TaskLines() const {
  std::vector<std::string> log = host_.Log();
  if (EndsWithTerminationLine(log)) log.pop_back();
  return log;
}

namespace {

stbsim::Fault Replace(stbsim::SimPhase phase, int index, std::vector<uint8_t> reply, int times) {
  using namespace std::chrono_literals;
  return {phase, index, stbsim::FaultKind::Replace, std::move(reply), 0x01, 0ms, times};
}

}  // namespace

stbsim::Fault Always(stbsim::SimPhase phase, std::vector<uint8_t> reply) {
  return Replace(phase, stbsim::kAnyIndex, std::move(reply), stbsim::kForever);
}

stbsim::Fault Once(stbsim::SimPhase phase, int index, std::vector<uint8_t> reply) {
  return Replace(phase, index, std::move(reply), 1);
}

std::string PacketLine(size_t index, size_t total, size_t offset) {
  return "Packet " + std::to_string(index) + "/" + std::to_string(total) + " OK, sent " +
         std::to_string(offset) + "Bytes";
}

bool EndsWithTerminationLine(const std::vector<std::string>& log) {
  return !log.empty() && log.back() == "Download task terminated!!!";
}

}  // namespace dsptest
