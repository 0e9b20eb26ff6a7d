// Whole uploads through the window against the simulated STB, in real time:
// Connect picks the simulator's port, Load the file, Send runs the task, and
// the log, the progress bar and what the STB received show the result.
#include <QTest>

#include <memory>

#include "StbSimulator.h"
#include "TsuiProgressBar.h"
#include "WindowFixture.h"

using window_test::kDeadlineMs;
using window_test::WindowFixture;

namespace {

// The STB repeats its greeting (or its 'C') this often while the tool is
// silent. The tool needs about 200 ms between seeing the greeting and sending
// its request, so a repeat must not come sooner than that.
constexpr std::chrono::milliseconds kFastRepeat{400};

uint16_t ComNumberOf(const std::string& portName) {
  return static_cast<uint16_t>(std::stoi(portName.substr(3)));
}

std::vector<uint8_t> Bytes(const QByteArray& b) { return std::vector<uint8_t>(b.begin(), b.end()); }

// Starts an STB for one upload, linked into the fixture's port folder, and has
// the port dialog pick it on the next Connect.
std::unique_ptr<stbsim::StbSimulator> StartStbFor(WindowFixture& f, stbsim::SimOptions options) {
  options.makePortLink = true;
  options.portDir = f.pty.Folder().toStdString();
  options.loop = false;
  auto sim = std::make_unique<stbsim::StbSimulator>(options);
  sim->Start();
  f.PickPort(ComNumberOf(sim->PortName()));
  return sim;
}

}  // namespace

class WindowUploadTest : public QObject {
  Q_OBJECT

 private slots:
  void zarnImageUploads() {
    WindowFixture f;
    f.boxes.autoDismiss = true;
    stbsim::SimOptions options;
    options.greetInterval = kFastRepeat;
    const auto sim = StartStbFor(f, options);

    const QString path = f.MakeImage(QStringLiteral("image.zarn"), 100);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray image = file.readAll();

    f.Load(path);
    f.ClickConnect();
    QVERIFY(f.form->ApdComPort1->Open());
    f.ClickSend();
    QVERIFY2(f.WaitUntilTaskEnded(), qPrintable(f.Log()));

    const QStringList lines = f.LogLines();
    QVERIFY2(lines.contains(QStringLiteral("Initializing Upload task...")), qPrintable(f.Log()));
    QVERIFY2(lines.contains(QStringLiteral("Writing to FLASH [OK], restarting...")), qPrintable(f.Log()));
    QCOMPARE(lines.first(), QStringLiteral("Waiting for STB..."));
    QCOMPARE(lines.last(), QStringLiteral("Upload task terminated!!!"));
    QVERIFY(f.boxes.shown.empty());
    QCOMPARE(f.form->ProgressBar1->Max(), 100);
    QCOMPARE(f.form->ProgressBar1->Position(), 0);
    QVERIFY(sim->WaitUntilFinished(std::chrono::milliseconds(kDeadlineMs)));
    QCOMPARE(sim->LastUpload().Image(), Bytes(image));
  }

  void dspFileUploads() {
    WindowFixture f;
    f.boxes.autoDismiss = true;
    stbsim::SimOptions options;
    options.mode = stbsim::SimMode::Dsp;
    options.cInterval = kFastRepeat;
    const auto sim = StartStbFor(f, options);

    QByteArray content(1500, '\0');
    for (int i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
    f.Load(f.MakeFile(QStringLiteral("boot.DSP"), content));
    f.ClickConnect();
    f.ClickSend();
    QVERIFY(f.WaitUntilTaskEnded());

    QCOMPARE(f.LogLines().last(), QStringLiteral("Download task terminated!!!"));
    QVERIFY(sim->WaitUntilFinished(std::chrono::milliseconds(kDeadlineMs)));
    const stbsim::UploadRecord upload = sim->LastUpload();
    QCOMPARE(upload.dspName, std::string("boot.DSP"));
    QCOMPARE(upload.dspFile, Bytes(content));
    QVERIFY2(f.boxes.shown.empty(), f.boxes.shown.empty() ? "" : qPrintable(f.boxes.shown.front().text));
  }
};

QTEST_MAIN(WindowUploadTest)
#include "window_upload_test.moc"
