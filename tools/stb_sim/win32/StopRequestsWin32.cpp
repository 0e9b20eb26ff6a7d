// The console's control events. The handler runs on a thread of its own that
// Windows starts; it only notes the request. After a close, log-off or
// shut-down event Windows ends the process once the handler returns (or
// after about 5 s), so the handler holds the close for as long as it may:
// the main thread sees the request, stops the simulator and exits, which
// ends the held handler too.
#include <windows.h>

#include <atomic>

#include "StopRequests.h"

namespace stbsim {
namespace {

// Below the 5 s Windows allows a close handler.
constexpr DWORD kCloseHoldMs = 4500;

std::atomic<bool> gStopRequested{false};

BOOL WINAPI OnConsoleEvent(DWORD event) {
  gStopRequested = true;
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    // The main thread's exit ends this thread with the rest, sooner.
    Sleep(kCloseHoldMs);
  }
  return TRUE;
}

}  // namespace

void WatchStopRequests() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

bool StopRequested() { return gStopRequested.load(); }

}  // namespace stbsim
