#include <csignal>

#include "StopRequests.h"

namespace stbsim {
namespace {

volatile std::sig_atomic_t gStopSignal = 0;
void OnStopSignal(int) { gStopSignal = 1; }

}  // namespace

void WatchStopRequests() {
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
  std::signal(SIGHUP, OnStopSignal);
  std::signal(SIGPIPE, SIG_IGN);
}

bool StopRequested() { return gStopSignal != 0; }

}  // namespace stbsim
