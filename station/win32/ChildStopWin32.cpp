#include <windows.h>

#include <QProcess>

#include "../ChildStop.h"

namespace {

// A console is attached when its input code page can be read.
bool HasConsole() { return GetConsoleCP() != 0; }

}  // namespace

void PrepareStoppableChild(QProcess& process) {
  process.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments* arguments) {
    // The group's id is the child's process id, which InterruptChild names.
    // A new group also ignores the console's Ctrl-C, so only the station
    // takes it, as a process group of its own does on POSIX.
    arguments->flags |= CREATE_NEW_PROCESS_GROUP;
    // QProcess gives a console child a hidden console of its own when the
    // parent shows no console window (as under a pseudo-console or wine's
    // console without a window); CTRL_BREAK_EVENT reaches only the
    // processes of the sender's own console, so the child must share it.
    if (HasConsole()) arguments->flags &= ~static_cast<DWORD>(CREATE_NO_WINDOW);
  });
}

bool InterruptChild(QProcess& process) {
  const qint64 pid = process.processId();
  if (pid <= 0) return false;
  return GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, static_cast<DWORD>(pid)) != 0;
}
