// A simulated STB for one upload through the window: the simulator runs in
// this process on its own pseudo-terminal, linked as the next free COM number
// into the port link folder of the fixture's PtyPort, so the window's Connect
// reaches it by that number.
//
// Threads: the test's (GUI) thread; the simulator runs its own.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "PtyPort.h"
#include "StbReceived.h"
#include "StbSimulator.h"

class StbPeer {
 public:
  // Starts an STB playing `side` that repeats its greeting (or its 'C') every
  // `repeat` while the tool is silent, and stops answering after one upload.
  StbPeer(StbSide side, std::chrono::milliseconds repeat, const PtyPort& line) {
    stbsim::SimOptions options;
    options.mode = side == StbSide::Dsp ? stbsim::SimMode::Dsp : stbsim::SimMode::Zarn;
    options.greetInterval = repeat;
    options.cInterval = repeat;
    options.makePortLink = true;
    options.portDir = line.Folder().toStdString();
    options.loop = false;
    sim_ = std::make_unique<stbsim::StbSimulator>(options);
    sim_->Start();
  }
  StbPeer(const StbPeer&) = delete;
  StbPeer& operator=(const StbPeer&) = delete;

  bool Ready() const { return !sim_->PortName().empty(); }
  // The COM number the window's Connect must pick.
  uint16_t ComNumber() const {
    return static_cast<uint16_t>(std::stoi(sim_->PortName().substr(3)));
  }

  // What the STB received in its one whole upload, or nothing when it has
  // received none by `limit`.
  std::optional<StbReceived> WaitForUpload(std::chrono::milliseconds limit) {
    if (!sim_->WaitUntilFinished(limit)) return std::nullopt;
    const stbsim::UploadRecord upload = sim_->LastUpload();
    const std::vector<uint8_t> image = upload.Image();
    return StbReceived{QByteArray(reinterpret_cast<const char*>(image.data()),
                                  static_cast<qsizetype>(image.size())),
                       QString::fromStdString(upload.dspName)};
  }

 private:
  std::unique_ptr<stbsim::StbSimulator> sim_;
};
