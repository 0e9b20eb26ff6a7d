// Shared set-up of the window tests: a fresh TForm1 as Form1 with recorded
// boxes, a pseudo-terminal line reachable as a COM number, a port prompt that
// picks that number (or cancels), and files to load.
//
// Threads: the test's (GUI) thread.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

#include "PtyPort.h"
#include "RecordingBoxes.h"
#include "TaskThread.h"
#include "TsuiButton.h"
#include "TsuiMemo.h"
#include "Unit1.h"

namespace window_test {

// Generous: the machine is shared with other test trees.
inline constexpr int kDeadlineMs = 10000;

struct WindowFixture {
  WindowFixture() {
    FileLoaded = false;
    IsDspFile = false;
    UpTaskHandle = nullptr;
    DspTaskHandle = nullptr;
    form = std::make_unique<TForm1>();
    Form1 = form.get();
    // After the window: its constructor installs the real port dialog.
    PickPort(pty.ComNumber());
  }
  ~WindowFixture() {
    form.reset();
    SetPortPromptHook(nullptr);
    TThread::WaitUntilAllReleased(std::chrono::milliseconds(kDeadlineMs));
  }

  // The next port prompts answer `number`, or cancel with nullopt.
  void PickPort(std::optional<uint16_t> number) {
    SetPortPromptHook([number] { return number; });
  }

  QString Log() const { return form->Memo1->toPlainText(); }
  QStringList LogLines() const { return Log().split(QLatin1Char('\n')); }

  void ClickConnect() { form->SpeedButton1->click(); }
  void ClickSend() { form->SpeedButton2->click(); }
  // Load with the dialog answering `path`, or cancelled with nullopt.
  void Load(std::optional<QString> path) {
    form->OpenDialog1->SetChooser([this, path](const TCommonFileDialog& dialog) {
      seenOptions = dialog.Options;
      seenFilter = dialog.Filter;
      seenFilterIndex = dialog.FilterIndex;
      return path;
    });
    form->SpeedButton5->click();
  }

  // A ZARN image with a 64-byte header (NameTag "DAT") and a small body.
  QString MakeImage(const QString& name, int bodySize = 16) {
    QByteArray bytes(64 + bodySize, '\x5A');
    const uint32_t size = static_cast<uint32_t>(bodySize);
    for (int i = 0; i < 4; ++i) bytes[16 + i] = static_cast<char>(size >> (24 - 8 * i));
    bytes.replace(32, 4, QByteArray("DAT\0", 4));
    return MakeFile(name, bytes);
  }
  QString MakeFile(const QString& name, const QByteArray& bytes) {
    const QString path = files.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write(bytes);
    return path;
  }

  bool WaitUntilTaskEnded() {
    return QTest::qWaitFor([] { return !TaskRunning.load(); }, kDeadlineMs);
  }

  PtyPort pty;
  RecordingBoxes boxes;
  QTemporaryDir files;
  std::unique_ptr<TForm1> form;
  TOpenOptions seenOptions = 0;
  QString seenFilter;
  int seenFilterIndex = 0;
};

}  // namespace window_test
