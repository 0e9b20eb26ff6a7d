#include <chrono>
#include <ctime>
#include <thread>

#include "Adport.h"
#include "LocalTime.h"
#include "TaskClock.h"

namespace {

// A closed or closing port ends WaitForInput at once; without a floor a wait
// on such a port would spin until its caller notices the state.
constexpr std::chrono::milliseconds kEarlyReturnBackoff{5};

class WallTaskClock final : public TaskClock {
 public:
  int64_t WholeSeconds() override {
    // The local time turned back into a time value: the same whole second as
    // time() in every zone, but it follows the zone's rules as the STB tool
    // always has.
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!ToLocalTime(now, local)) return static_cast<int64_t>(now);
    return static_cast<int64_t>(std::mktime(&local));
  }

  void Pause(TApdCustomComPort& port, std::chrono::milliseconds length) override {
    port.WaitForLineGone(length);
  }

  void WaitForInput(TApdCustomComPort& port, std::chrono::milliseconds slice) override {
    const auto begin = std::chrono::steady_clock::now();
    if (port.WaitForInput(slice)) return;
    if (std::chrono::steady_clock::now() - begin < std::chrono::milliseconds(1)) {
      std::this_thread::sleep_for(kEarlyReturnBackoff);
    }
  }
};

}  // namespace

TaskClock& RealTaskClock() {
  static WallTaskClock clock;
  return clock;
}
