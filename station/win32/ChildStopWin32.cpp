#include <windows.h>

#include <QProcess>

#include "../ChildStop.h"

void PrepareStoppableChild(QProcess& process) {
  process.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments* arguments) {
    arguments->flags |= CREATE_NEW_PROCESS_GROUP;
  });
}

bool InterruptChild(QProcess& process) {
  const qint64 pid = process.processId();
  if (pid <= 0) return false;
  // The group's id is its first process's id.
  return GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, static_cast<DWORD>(pid)) != 0;
}
