// The running mark on Windows: a named mutex that is opened, never owned, and
// whose handle is left for the process's end to close. Any number of copies
// share the one object; it disappears with the last of them.
#include <windows.h>

#include "../RunningMark.h"

bool MarkProgramRunning() {
  // ERROR_ALREADY_EXISTS still returns a handle: another copy runs too.
  return CreateMutexW(nullptr, FALSE, kRunningMarkName) != nullptr;
}
