#include "WaitUntil.h"

#include <thread>

namespace {
constexpr auto kPollSlice = std::chrono::milliseconds(1);
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPollSlice);
  }
  return true;
}
