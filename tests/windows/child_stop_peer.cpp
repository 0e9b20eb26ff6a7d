// The child of child_stop_test: says "ready" once its console handler is in
// place, then waits for CTRL_BREAK_EVENT and exits kBrokenExit, or exits
// kUnbrokenExit if none comes within kBreakLimitMs.
#include <windows.h>

#include <cstdio>

namespace {

constexpr int kBrokenExit = 42;
constexpr int kUnbrokenExit = 3;
constexpr DWORD kBreakLimitMs = 30000;

HANDLE broken = nullptr;

BOOL WINAPI OnControl(DWORD event) {
  if (event != CTRL_BREAK_EVENT) return FALSE;
  SetEvent(broken);
  return TRUE;
}

}  // namespace

int main() {
  broken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (broken == nullptr || !SetConsoleCtrlHandler(OnControl, TRUE)) return 1;
  std::puts("ready");
  std::fflush(stdout);
  return WaitForSingleObject(broken, kBreakLimitMs) == WAIT_OBJECT_0 ? kBrokenExit : kUnbrokenExit;
}
