// The main window's commands and state, driven as a user would (button
// clicks), over a pseudo-terminal line.
#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "ConnectedGlyphData.h"
#include "GlyphBitmap.h"
#include "MainWindowLayout.h"
#include "TsuiEdit.h"
#include "TsuiForm.h"
#include "TsuiProgressBar.h"
#include "WindowFixture.h"

using window_test::kDeadlineMs;
using window_test::WindowFixture;

namespace {

// The path box shows a path with the running system's own separator.
#ifdef Q_OS_WIN
constexpr char16_t kSystemSeparator = u'\\';
#else
constexpr char16_t kSystemSeparator = u'/';
#endif

QString AsTheSystemWritesIt(QString path) {
  return path.replace(QLatin1Char('/'), QChar(kSystemSeparator));
}

const QString kLoadFilter = QStringLiteral(
    "Zarn files (*.ZARN; *.ZFL; *.DAT; *.ZCN; *.DSP; *.LOGO)| *.zarn; *.zfl; *.dat; *.zcn; *.dsp; *.logo| All files "
    "(*.*)|*.*");

QImage ConnectedGlyph() { return DecodeBitmapFile(ConnectedGlyphData, sizeof ConnectedGlyphData); }

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { SetApplicationTitleForTests(); }

  void startState() {
    WindowFixture f;
    QVERIFY(f.pty.Ready());
    TForm1& w = *f.form;
    QCOMPARE(w.SpeedButton1->text(), QStringLiteral(" Connect"));
    QCOMPARE(w.SpeedButton5->text(), QStringLiteral(" Load   "));
    QCOMPARE(w.SpeedButton2->text(), QStringLiteral(" Send   "));
    QVERIFY(!w.SpeedButton1->Glyph().isNull());
    QCOMPARE(w.SpeedButton1->Glyph(),
             MainWindowLayout::LoadGlyphResource(MainWindowLayout::kConnectGlyph));
    QVERIFY(w.Memo1->toPlainText().isEmpty());
    QVERIFY(w.Memo1->isReadOnly());
    QCOMPARE(w.suiEdit1->text(), QStringLiteral("file name..."));
    QVERIFY(w.suiEdit1->isReadOnly());
    QCOMPARE(w.ProgressBar1->Min(), 0);
    QCOMPARE(w.ProgressBar1->Max(), 100);
    QCOMPARE(w.ProgressBar1->Position(), 0);
    QCOMPARE(w.OpenDialog1->Title, QStringLiteral("Open ZARN file"));
    QCOMPARE(w.OpenDialog1->Options, TOpenOptions(ofEnableSizing));
    QVERIFY(w.OpenDialog1->FileName.isEmpty());
    QVERIFY(!w.ApdComPort1->Open());
    QCOMPARE(w.ApdComPort1->ComNumber(), uint16_t(0));
    QCOMPARE(w.ApdComPort1->Baud(), 115200);
    QCOMPARE(w.ApdComPort1->InSize(), uint16_t(32768));
    QCOMPARE(w.ApdComPort1->OutSize(), uint16_t(32768));
    QVERIFY(!w.ApdComPort1->AutoOpen());
    QVERIFY(!w.ApdComPort1->DTR());
    QVERIFY(!w.ApdComPort1->RTS());
    QVERIFY(!w.ApdComPort1->UseEventWord());
    QCOMPARE(w.ApdComPort1->TapiMode(), tmNone);
    QCOMPARE(w.windowTitle(), QStringLiteral("ZARN Multi-Loader V1.20"));
    QVERIFY(w.windowFlags().testFlag(Qt::FramelessWindowHint));
    // The client area; the skinned frame adds its border around it.
    QCOMPARE(w.suiForm1->size(), QSize(487, 384));
    QCOMPARE(w.pos(), QPoint(617, 182));
    QVERIFY(!FileLoaded);
    QVERIFY(!IsDspFile);
    QVERIFY(!TaskRunning);
    // Tab goes Connect, Load, Send, the log, then the path.
    QStringList tabStops;
    QWidget* next = w.SpeedButton1;
    do {
      if (next->focusPolicy() & Qt::TabFocus) tabStops << next->objectName();
      next = next->nextInFocusChain();
    } while (next != w.SpeedButton1 && tabStops.size() < 50);
    QCOMPARE(tabStops,
             QStringList({"SpeedButton1", "SpeedButton5", "SpeedButton2", "Memo1", "suiEdit1"}));
  }

  // Send refuses in this order: not connected, nothing loaded, a task runs.
  // A refusal empties the log, writes its line and changes nothing else.
  void sendRefusals_data() {
    QTest::addColumn<bool>("connect");
    QTest::addColumn<bool>("load");
    QTest::addColumn<bool>("taskRunning");
    QTest::addColumn<QString>("expected");
    QTest::newRow("fresh window") << false << false << false << "Please, connect first";
    QTest::newRow("loaded, not connected") << false << true << false << "Please, connect first";
    QTest::newRow("connected, nothing loaded")
        << true << false << false << "Please, load a data file first";
    QTest::newRow("connected, loaded, task flag set")
        << true << true << true << "Task is already running!!!";
  }
  void sendRefusals() {
    QFETCH(bool, connect);
    QFETCH(bool, load);
    QFETCH(bool, taskRunning);
    QFETCH(QString, expected);
    WindowFixture f;
    if (load) f.Load(f.MakeImage(QStringLiteral("image.zarn")));
    if (connect) {
      f.ClickConnect();
      QVERIFY(f.form->ApdComPort1->Open());
    }
    f.form->Memo1->setPlainText(QStringLiteral("earlier text"));
    TaskRunning = taskRunning;
    f.ClickSend();
    TaskRunning = false;
    QCOMPARE(f.Log(), expected);
    QCOMPARE(TThread::LiveTasks(), 0);
    QCOMPARE(UpTaskHandle, nullptr);
    QCOMPARE(DspTaskHandle, nullptr);
    QCOMPARE(FileLoaded, load);
    QCOMPARE(f.form->ApdComPort1->Open(), connect);
    QVERIFY(f.boxes.shown.empty());
  }

  void load_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("expectLoaded");
    QTest::newRow("existing file") << "file" << true;
    QTest::newRow("missing file") << "missing" << false;
    QTest::newRow("directory") << "directory" << false;
  }
  void load() {
    QFETCH(QString, kind);
    QFETCH(bool, expectLoaded);
    WindowFixture f;
    QString path;
    if (kind == QLatin1String("file")) path = f.MakeImage(QStringLiteral("image.zarn"));
    if (kind == QLatin1String("missing"))
      path = f.files.filePath(QStringLiteral("typed-name.zarn"));
    if (kind == QLatin1String("directory")) path = f.files.path();
    f.form->Memo1->setPlainText(QStringLiteral("log stays"));
    // Whatever an earlier showing left, every Load opens the same way.
    f.form->OpenDialog1->Options = ofReadOnly | ofFileMustExist | ofAllowMultiSelect;
    f.form->OpenDialog1->FilterIndex = 2;
    f.Load(path);
    QCOMPARE(f.seenOptions, TOpenOptions(ofEnableSizing));
    QCOMPARE(f.seenFilter, kLoadFilter);
    QCOMPARE(f.seenFilterIndex, 1);
    QCOMPARE(FileLoaded, expectLoaded);
    QCOMPARE(f.form->suiEdit1->text(), AsTheSystemWritesIt(path));
    QCOMPARE(f.form->OpenDialog1->FileName, path);
    QCOMPARE(f.Log(), QStringLiteral("log stays"));
    // Send does not look at the file again, only at the flag.
    f.ClickConnect();
    f.ClickSend();
    if (!expectLoaded) QCOMPARE(f.Log(), QStringLiteral("Please, load a data file first"));
    f.ClickConnect();  // disconnect; ends a task a good load started
    QVERIFY(f.WaitUntilTaskEnded());
  }

  void loadCancelledAfterGoodLoad() {
    WindowFixture f;
    const QString first = f.MakeFile(QStringLiteral("first.DSP"), QByteArray(10, 'x'));
    f.Load(first);
    QVERIFY(FileLoaded);
    QVERIFY(IsDspFile);
    f.Load(std::nullopt);
    QVERIFY(!FileLoaded);
    QVERIFY(!IsDspFile);
    QCOMPARE(f.form->suiEdit1->text(), AsTheSystemWritesIt(first));
    QCOMPARE(f.form->OpenDialog1->FileName, first);
    f.ClickConnect();
    f.ClickSend();
    QCOMPARE(f.Log(), QStringLiteral("Please, load a data file first"));
  }

  // The name alone chooses the task kind: the last four characters, in any
  // case, against ".DSP".
  void dspNameRule_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("dsp");
    QTest::newRow(".dsp") << "boot.dsp" << true;
    QTest::newRow(".DSP") << "BOOT.DSP" << true;
    QTest::newRow(".Dsp") << "boot.Dsp" << true;
    QTest::newRow(".dsp.bak") << "boot.dsp.bak" << false;
    QTest::newRow("DSP without the dot") << "bootDSP" << false;
    QTest::newRow(".zarn") << "image.zarn" << false;
  }
  void dspNameRule() {
    QFETCH(QString, name);
    QFETCH(bool, dsp);
    WindowFixture f;
    f.Load(f.MakeImage(name));
    QCOMPARE(IsDspFile, dsp);
    f.ClickConnect();
    f.ClickSend();
    QVERIFY(TaskRunning);
    QCOMPARE(DspTaskHandle != nullptr, dsp);
    QCOMPARE(UpTaskHandle != nullptr, !dsp);
    f.ClickConnect();
    QVERIFY(f.WaitUntilTaskEnded());
    QCOMPARE(f.LogLines().last(), dsp ? QStringLiteral("Download task terminated!!!")
                                      : QStringLiteral("Upload task terminated!!!"));
  }

  void connectCancelled() {
    WindowFixture f;
    f.PickPort(std::nullopt);
    const QImage glyph = f.form->SpeedButton1->Glyph();
    const int64_t savedSize = SavedGlyphStream.Size();
    const int64_t connectedSize = ConnectedGlyphStream.Size();
    f.ClickConnect();
    QCOMPARE(f.boxes.shown.size(), size_t(1));
    const RecordingBoxes::Box& box = f.boxes.shown.front();
    QCOMPARE(box.title, QStringLiteral("ZARN Multi-Loader V1.20"));
    QCOMPARE(box.text,
             QStringLiteral("The ComNumber property of the TApdComPort has not been set."));
    QCOMPARE(box.icon, BoxIcon::Error);
    QVERIFY(box.modal);
    QVERIFY(f.Log().isEmpty());
    QCOMPARE(f.form->SpeedButton1->text(), QStringLiteral(" Connect"));
    QCOMPARE(f.form->SpeedButton1->Glyph(), glyph);
    QVERIFY(!f.form->ApdComPort1->Open());
    QCOMPARE(f.form->ApdComPort1->ComNumber(), uint16_t(0));
    QCOMPARE(SavedGlyphStream.Size(), savedSize);
    QCOMPARE(ConnectedGlyphStream.Size(), connectedSize);
    // The next Connect asks again and can succeed.
    f.PickPort(f.pty.ComNumber());
    f.ClickConnect();
    QVERIFY(f.form->ApdComPort1->Open());
  }

  void connectDisconnectCycles() {
    WindowFixture f;
    const QImage storedGlyph = f.form->SpeedButton1->Glyph();
    const QImage connectedGlyph = ConnectedGlyph();
    QVERIFY(storedGlyph != connectedGlyph);
    for (int cycle = 0; cycle < 3; ++cycle) {
      // Bytes that wait before Connect are gone after it.
      QVERIFY(f.pty.Write("stale"));
      f.ClickConnect();
      QVERIFY(f.boxes.shown.empty());
      QVERIFY(f.form->ApdComPort1->Open());
      QCOMPARE(f.Log(), QStringLiteral("Port opened"));
      QCOMPARE(f.form->SpeedButton1->text(), QStringLiteral(" DisCnct"));
      QCOMPARE(f.form->SpeedButton1->Glyph(), connectedGlyph);
      // What arrives first after Connect is what the STB sent after it.
      QVERIFY(f.pty.Write("M"));
      QCOMPARE(ReceiveUpTo(*f.form->ApdComPort1, 'M'), QByteArray("M"));
      QCOMPARE(f.form->ApdComPort1->Baud(), 115200);
      QCOMPARE(f.form->ApdComPort1->DataBits(), uint16_t(8));
      QCOMPARE(f.form->ApdComPort1->StopBits(), uint16_t(1));
      QCOMPARE(f.form->ApdComPort1->Parity(), pNone);

      f.ClickConnect();
      QVERIFY(!f.form->ApdComPort1->Open());
      QCOMPARE(f.Log(), QStringLiteral("Port closed"));
      QCOMPARE(f.form->SpeedButton1->text(), QStringLiteral(" Connect"));
      QCOMPARE(f.form->SpeedButton1->Glyph(), storedGlyph);
    }
  }

  void sendWhileTaskRuns() {
    WindowFixture f;
    f.Load(f.MakeImage(QStringLiteral("image.zarn")));
    f.ClickConnect();
    f.ClickSend();
    QTRY_VERIFY_WITH_TIMEOUT(f.Log().contains(QStringLiteral("Waiting for STB...")), kDeadlineMs);
    UpThread* const first = UpTaskHandle;
    f.ClickSend();
    QCOMPARE(f.Log(), QStringLiteral("Task is already running!!!"));
    QCOMPARE(UpTaskHandle, first);
    QCOMPARE(TThread::LiveTasks(), 1);
    QVERIFY(TaskRunning);
    // The task goes on; its later lines follow the refusal's text.
    f.ClickConnect();
    QVERIFY(f.WaitUntilTaskEnded());
    QCOMPARE(f.LogLines(), QStringList({QStringLiteral("Port closed"),
                                        QStringLiteral("Upload task terminated!!!")}));
    QVERIFY(TThread::WaitUntilAllReleased(std::chrono::milliseconds(kDeadlineMs)));
    // A new Send after the end starts a new task.
    f.ClickConnect();
    f.ClickSend();
    QVERIFY(TaskRunning);
    QCOMPARE(TThread::LiveTasks(), 1);
  }

  void disconnectDuringTask() {
    WindowFixture f;
    f.Load(f.MakeImage(QStringLiteral("image.zarn")));
    f.ClickConnect();
    f.ClickSend();
    QTRY_VERIFY_WITH_TIMEOUT(f.Log().contains(QStringLiteral("Waiting for STB...")), kDeadlineMs);
    f.ClickConnect();
    // At once: the port is closed and the button restored; nothing waited for the task.
    QVERIFY(!f.form->ApdComPort1->Open());
    QCOMPARE(f.form->SpeedButton1->text(), QStringLiteral(" Connect"));
    QCOMPARE(f.LogLines().first(), QStringLiteral("Port closed"));
    QVERIFY(f.WaitUntilTaskEnded());
    const QStringList lines = f.LogLines();
    QCOMPARE(lines.first(), QStringLiteral("Port closed"));
    QCOMPARE(lines.last(), QStringLiteral("Upload task terminated!!!"));
  }

  // A task's box holds only the task: the window answers commands meanwhile,
  // and Disconnect closes the port without waiting for the box.
  void taskBoxLeavesWindowUsable() {
    WindowFixture f;
    f.Load(f.MakeImage(QStringLiteral("image.zarn")));
    f.ClickConnect();
    f.ClickSend();
    QVERIFY(ReachBadResponseBox(f));
    QVERIFY(TaskRunning);
    f.ClickSend();
    QCOMPARE(f.Log(), QStringLiteral("Task is already running!!!"));
    f.ClickConnect();
    QVERIFY(!f.form->ApdComPort1->Open());
    QCOMPARE(f.Log(), QStringLiteral("Port closed"));
    QVERIFY(TaskRunning);
    f.boxes.DismissAll();
    QVERIFY(f.WaitUntilTaskEnded());
    QCOMPARE(f.LogLines().last(), QStringLiteral("Upload task terminated!!!"));
  }

  // Closing the window while the task's box is open dismisses the box and
  // returns only once the task has ended.
  void closeWhileTaskBoxOpen() {
    WindowFixture f;
    f.Load(f.MakeImage(QStringLiteral("image.zarn")));
    f.ClickConnect();
    f.ClickSend();
    QVERIFY(ReachBadResponseBox(f));
    QVERIFY(f.form->close());
    QVERIFY(!TaskRunning);
    QCOMPARE(f.boxes.OpenCount(), 0);
    QVERIFY(!f.form->ApdComPort1->Open());
    QCOMPARE(f.LogLines().last(), QStringLiteral("Upload task terminated!!!"));
  }

  // Destroying the window while a task waits for the STB ends the task first.
  void destroyWhileTaskWaits() {
    WindowFixture f;
    f.Load(f.MakeImage(QStringLiteral("boot.dsp")));
    f.ClickConnect();
    f.ClickSend();
    QTRY_VERIFY_WITH_TIMEOUT(f.Log().contains(QStringLiteral("Waiting for STB...")), kDeadlineMs);
    f.form.reset();
    QVERIFY(!TaskRunning);
    QVERIFY(TThread::WaitUntilAllReleased(std::chrono::milliseconds(kDeadlineMs)));
  }

  // What a task's thread asks of the window runs on the GUI thread, in the
  // order asked, and has taken effect when the call returns.
  void taskHostCallsRunOnGuiThread() {
    WindowFixture f;
    f.form->OpenDialog1->FileName = QStringLiteral("/images/boot.zarn");
    QThread* const gui = QThread::currentThread();
    std::string path;
    QString logSeen;
    int maxSeen = 0;
    bool ranOnGui = false;
    bool failurePassedBack = false;
    std::atomic<bool> done{false};
    std::thread task([&] {
      TaskHost& host = *f.form;
      path = host.ChosenPath();
      host.AppendLog("first line");
      host.SetProgressMax(1024);
      host.SetProgressPosition(512);
      host.RunOnMainThread([&] {
        ranOnGui = QThread::currentThread() == gui;
        logSeen = f.form->Memo1->toPlainText();
        maxSeen = f.form->ProgressBar1->Max();
      });
      try {
        host.RunOnMainThread([] { throw std::runtime_error("from the GUI thread"); });
      } catch (const std::runtime_error&) {
        failurePassedBack = true;
      }
      done = true;
    });
    const bool finished = QTest::qWaitFor([&] { return done.load(); }, kDeadlineMs);
    task.join();
    QVERIFY(finished);
    QCOMPARE(path, std::string("/images/boot.zarn"));
    QVERIFY(ranOnGui);
    QCOMPARE(logSeen, QStringLiteral("first line"));
    QCOMPARE(maxSeen, 1024);
    QCOMPARE(f.form->ProgressBar1->Position(), 512);
    QVERIFY(failurePassedBack);
  }

  // A line that goes away while open: the engine's threads report through the
  // window's "Application Error" box, and a Disconnect while that box is
  // still open completes once it is dismissed (the GUI keeps running while
  // the port closes).
  void lineGoneReportsAndDisconnects() {
    WindowFixture f;
    f.ClickConnect();
    QVERIFY(f.form->ApdComPort1->Open());
    f.pty.CloseMaster();
    QTRY_VERIFY_WITH_TIMEOUT(f.boxes.OpenCount() > 0, kDeadlineMs);
    const RecordingBoxes::Box& box = f.boxes.shown.front();
    QCOMPARE(box.title, QStringLiteral("Application Error"));
    QCOMPARE(box.icon, BoxIcon::Stop);
    QVERIFY2(box.text.contains(QStringLiteral("EInOutError")), qPrintable(box.text));
    QVERIFY2(box.text.contains(QStringLiteral("Device read error")), qPrintable(box.text));
    QTimer::singleShot(100, f.form.get(), [&f] {
      f.boxes.autoDismiss = true;
      f.boxes.DismissAll();
    });
    f.ClickConnect();
    QVERIFY(!f.form->ApdComPort1->Open());
    QCOMPARE(f.Log(), QStringLiteral("Port closed"));
  }

 private:
  static void SetApplicationTitleForTests();

  // Takes received bytes one by one until `last` has come or the deadline
  // passes; returns them.
  static QByteArray ReceiveUpTo(TApdComPort& port, char last) {
    QByteArray got;
    // Whether `last` came shows in what is returned; the caller judges it.
    static_cast<void>(QTest::qWaitFor(
        [&] {
          while (port.CharReady()) {
            char c = 0;
            port.GetBlock(&c, 1);
            got.append(c);
            if (c == last) return true;
          }
          return false;
        },
        kDeadlineMs));
    return got;
  }

  // Plays an STB that greets and then refuses the upload request; returns
  // once the task's "Bad STB response" box is open.
  static bool ReachBadResponseBox(WindowFixture& f) {
    if (!QTest::qWaitFor([&f] { return f.Log().contains(QStringLiteral("Waiting for STB...")); },
                         kDeadlineMs))
      return false;
    if (!f.pty.Write("KGS")) return false;
    const QByteArray request = f.pty.Read(4, kDeadlineMs);
    if (request != QByteArray("\xAB\x44\x6E\x01", 4)) {
      qWarning() << "request" << request.toHex();
      return false;
    }
    if (!f.pty.Write(QByteArray("\xAB\x00\x00\x00", 4))) return false;
    if (!QTest::qWaitFor([&f] { return f.boxes.OpenCount() == 1; }, kDeadlineMs)) return false;
    const RecordingBoxes::Box& box = f.boxes.shown.back();
    return box.title == QLatin1String("Error") &&
           box.text == QLatin1String("Bad STB response! Aborting ...") &&
           box.icon == BoxIcon::None && !box.modal &&
           f.LogLines().last() == QLatin1String("Bad STB response! Aborting...");
  }
};

#include "ExceptionDisplay.h"
void MainWindowTest::SetApplicationTitleForTests() {
  SetApplicationTitle(MainWindowLayout::ApplicationCaption());
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
