#include "StbSimulator.h"

#include <filesystem>
#include <fstream>

#include "DspStb.h"
#include "PortLink.h"
#include "PortList.h"
#include "SimChannel.h"
#include "SimLine.h"
#include "SimLog.h"
#include "ZarnStb.h"

namespace stbsim {
namespace {

std::unique_ptr<SimLine> OpenLine(const SimOptions& options) {
  if (options.device.empty()) return std::make_unique<SimLine>(options.pace, options.baud);
  return std::make_unique<SimLine>(options.device, options.pace, options.baud);
}

}  // namespace

std::vector<uint8_t> UploadRecord::Image() const {
  if (mode == SimMode::Dsp) return dspFile;
  std::vector<uint8_t> image = header;
  image.insert(image.end(), body.begin(), body.end());
  return image;
}

StbSimulator::StbSimulator(SimOptions options)
    : options_(std::move(options)), line_(OpenLine(options_)), log_(std::make_shared<SimLog>()) {
  if (options_.makePortLink && options_.device.empty()) {
    const PortLink link = CreatePortLink(
        line_->SlavePath(), options_.portDir.empty() ? PortLinkFolder() : options_.portDir);
    portName_ = link.name;
    portLinkPath_ = link.path;
  }
}

StbSimulator::~StbSimulator() {
  Stop();
  RemovePortLink({portName_, portLinkPath_}, line_->SlavePath());
}

const std::string& StbSimulator::SlavePath() const { return line_->SlavePath(); }
const std::string& StbSimulator::PortName() const { return portName_; }
const std::string& StbSimulator::PortLinkPath() const { return portLinkPath_; }

void StbSimulator::SetEventEcho(std::function<void(const std::string&)> echo) {
  log_->SetEcho(std::move(echo));
}

void StbSimulator::Start() {
  if (started_) return;
  started_ = true;
  log_->Change([](SimRecord& record) { record.running = true; });
  thread_ = std::thread([this] { Run(); });
}

void StbSimulator::Stop() {
  if (!thread_.joinable()) return;
  line_->RequestStop();
  thread_.join();
}

void StbSimulator::Run() {
  SimChannel channel(*line_, *log_, options_);
  ZarnStb zarn(channel);
  DspStb dsp(channel);
  SimMode mode = options_.mode;
  channel.Event(std::string("started in ") + (mode == SimMode::Zarn ? "ZARN" : "DSP") +
                " mode on " + line_->SlavePath());
  try {
    for (bool first = true;; first = false) {
      const SessionEnd end = mode == SimMode::Zarn ? zarn.RunOnce(first) : dsp.RunOnce(first);
      if (end == SessionEnd::Finished) {
        if (!options_.loop) break;
        mode = options_.ComeBackMode();
      }
      // A restarted STB starts with an empty receiver.
      line_->DiscardInput();
      channel.Event(std::string("restarted in ") + (mode == SimMode::Zarn ? "ZARN" : "DSP") +
                    " mode");
    }
  } catch (const LineStopped&) {
  } catch (const LineGone&) {
  } catch (const std::exception& error) {
    channel.Event(std::string("stopped by an error: ") + error.what());
  }
  log_->Change([](SimRecord& record) { record.running = false; });
  ended_ = true;
}

bool StbSimulator::AwaitsTheTool() const { return line_->Quiet(ended_.load()); }

SimRecord StbSimulator::Snapshot() const { return log_->Copy(); }

UploadRecord StbSimulator::LastUpload() const {
  UploadRecord last;
  log_->Read([&](const SimRecord& record) {
    if (!record.uploads.empty()) last = record.uploads.back();
  });
  return last;
}

int StbSimulator::UploadCount() const {
  int count = 0;
  log_->Read([&](const SimRecord& record) { count = static_cast<int>(record.uploads.size()); });
  return count;
}

std::vector<SimEvent> StbSimulator::Events() const {
  std::vector<SimEvent> events;
  log_->Read([&](const SimRecord& record) { events = record.events; });
  return events;
}

bool StbSimulator::SaveLastImage(const std::string& path) const {
  const int count = UploadCount();
  if (count == 0) return false;
  const std::vector<uint8_t> image = LastUpload().Image();
  // The path is UTF-8; as a std::filesystem path it reaches Windows' wide
  // file calls unchanged.
  std::ofstream out(std::filesystem::path(std::u8string(path.begin(), path.end())),
                    std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(image.data()),
            static_cast<std::streamsize>(image.size()));
  return static_cast<bool>(out);
}

bool StbSimulator::WaitFor(const std::function<bool(const SimRecord&)>& condition,
                           std::chrono::milliseconds timeout) const {
  return log_->WaitFor(condition, timeout);
}

bool StbSimulator::WaitUntilFinished(std::chrono::milliseconds timeout) const {
  bool finished = false;
  log_->WaitFor(
      [&](const SimRecord& record) {
        finished = !record.uploads.empty() && record.uploads.back().finished;
        return finished || !record.running;
      },
      timeout);
  return finished;
}

bool StbSimulator::WaitForEvent(const std::string& text, std::chrono::milliseconds timeout) const {
  return log_->WaitFor(
      [&](const SimRecord& record) {
        for (const SimEvent& event : record.events)
          if (event.text.find(text) != std::string::npos) return true;
        return false;
      },
      timeout);
}

bool StbSimulator::WaitUntilStopped(std::chrono::milliseconds timeout) const {
  return log_->WaitFor([](const SimRecord& record) { return !record.running; }, timeout);
}

}  // namespace stbsim
