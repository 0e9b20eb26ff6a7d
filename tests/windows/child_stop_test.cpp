// The station's stop of a zarn-upload child on Windows: the child starts in
// a process group of its own on the station's console and CTRL_BREAK_EVENT
// for that group reaches it (a child on a console of its own, as QProcess
// starts one when it sees no console window, would never get it).
#include <windows.h>

#include <QCoreApplication>
#include <QProcess>

#include <gtest/gtest.h>

#include "ChildStop.h"

namespace {

constexpr int kStartLimitMs = 30000;
// The station's own limit before it kills a child.
constexpr int kStopLimitMs = 2000;
constexpr int kBrokenExit = 42;  // child_stop_peer's exit on the break

// Wine (8.0) cannot show this: GenerateConsoleCtrlEvent fails on the console
// wine gives a program started without a terminal (ERROR_INVALID_ACCESS) and
// on a terminal's (ERROR_INVALID_HANDLE), and where it is sent, wine
// delivers CTRL_BREAK_EVENT as SIGQUIT, which ends a thread of the child
// instead of calling its console handler.
bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

TEST(ChildStop, CtrlBreakReachesTheChildsGroupOnTheStationsConsole) {
  QProcess child;
  PrepareStoppableChild(child);
  child.start(QCoreApplication::applicationDirPath() + "/child_stop_peer.exe", {});
  ASSERT_TRUE(child.waitForStarted(kStartLimitMs)) << child.errorString().toStdString();
  while (!child.canReadLine()) {
    ASSERT_TRUE(child.waitForReadyRead(kStartLimitMs)) << "the child never said ready";
  }
  ASSERT_EQ(child.readLine().trimmed(), QByteArray("ready"));

  const bool sent = InterruptChild(child);
  if (!sent && UnderWine()) {
    GTEST_SKIP() << "wine cannot send CTRL_BREAK_EVENT to a process group (error " << GetLastError()
                 << ")";
  }
  ASSERT_TRUE(sent) << GetLastError();
  ASSERT_TRUE(child.waitForFinished(kStopLimitMs)) << "the break did not reach the child";
  EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(child.exitCode(), UnderWine() ? 0 : kBrokenExit);
}

TEST(ChildStop, NothingToInterruptBeforeTheChildRuns) {
  QProcess child;
  PrepareStoppableChild(child);
  EXPECT_FALSE(InterruptChild(child));
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
