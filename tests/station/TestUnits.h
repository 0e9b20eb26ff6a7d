// The simulated STBs of the station's tests and pictures: quick to write their
// flash and to restart, and greeting as waiting STBs do, again and again, but
// faster than real ones: still well apart for zarn-upload, which after a
// greeting pauses 200 ms before its request and would take a greeting in that
// pause for the STB's answer.
#pragma once

#include <chrono>

#include "SimOptions.h"

inline constexpr std::chrono::milliseconds kTestGreetInterval{400};
inline constexpr std::chrono::milliseconds kTestFlashTime{20};

inline stbsim::SimOptions TestUnit(std::chrono::milliseconds greetInterval = kTestGreetInterval) {
  stbsim::SimOptions options;
  options.greetInterval = greetInterval;
  options.flashTime = kTestFlashTime;
  options.restartTime = kTestFlashTime;
  return options;
}
