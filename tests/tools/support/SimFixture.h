// A simulator on a pseudo-terminal with a scripted tool on the other end.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "ScriptedTool.h"
#include "StbSimulator.h"

// Generous limits for what must come: they only bound a failing test.
inline constexpr std::chrono::milliseconds kMustCome{5000};
// How long a test listens for bytes that must NOT come.
inline constexpr std::chrono::milliseconds kStaysQuiet{150};

class SimFixture : public ::testing::Test {
 protected:
  // Quick timings, no pacing, one greeting or 'C' and no repeats.
  static stbsim::SimOptions QuickOptions(stbsim::SimMode mode) {
    stbsim::SimOptions options;
    options.mode = mode;
    options.greetInterval = std::chrono::milliseconds(0);
    options.cInterval = std::chrono::milliseconds(0);
    options.flashTime = std::chrono::milliseconds(5);
    options.restartTime = std::chrono::milliseconds(5);
    options.idleRestart = std::chrono::milliseconds(10000);
    options.abortQuiet = std::chrono::milliseconds(50);
    return options;
  }

  // The tool opens the line before the STB starts, so it hears the first greeting.
  void StartSim(const stbsim::SimOptions& options) {
    sim = std::make_unique<stbsim::StbSimulator>(options);
    tool = std::make_unique<ScriptedTool>(sim->SlavePath());
    sim->Start();
  }

  void TearDown() override {
    tool.reset();
    sim.reset();
  }

  std::unique_ptr<stbsim::StbSimulator> sim;
  std::unique_ptr<ScriptedTool> tool;
};
