// The console on Windows. A stream is a terminal when its handle is a console
// (GetConsoleMode succeeds): _isatty also says yes for the NUL device and
// returns a non-zero value that is not 1. Ctrl-C, Ctrl-Break and the console
// window's close come through SetConsoleCtrlHandler, on a thread the system
// starts for the purpose.
#include <io.h>
#include <windows.h>

#include <atomic>

#include "../Console.h"

namespace {

std::atomic<bool> interrupted{false};

// The first stop event asks for a stop; any later one falls through to the
// default handler, which ends the process at once.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT: return interrupted.exchange(true) ? FALSE : TRUE;
    default: return FALSE;
  }
}

}  // namespace

bool IsTerminal(std::FILE* stream) {
  const intptr_t handle = _get_osfhandle(_fileno(stream));
  if (handle == -1) return false;
  DWORD mode = 0;
  return GetConsoleMode(reinterpret_cast<HANDLE>(handle), &mode) != 0;
}

void InstallInterruptHandler() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

bool InterruptRequested() { return interrupted.load(); }
