#include <signal.h>
#include <unistd.h>

#include <QProcess>

#include "../ChildStop.h"

void PrepareStoppableChild(QProcess& process) {
  // Runs in the child between fork and exec: async-signal-safe calls only.
  process.setChildProcessModifier([] { setpgid(0, 0); });
}

bool InterruptChild(QProcess& process) {
  const qint64 pid = process.processId();
  if (pid <= 0) return false;
  return kill(static_cast<pid_t>(pid), SIGINT) == 0;
}
