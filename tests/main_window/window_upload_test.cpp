// Whole uploads through the window against the simulated STB, in real time:
// Connect picks the simulator's port, Load the file, Send runs the task, and
// the log, the progress bar and what the STB received show the result.
#include <QTest>

#include <memory>
#include <optional>

#include "StbPeer.h"
#include "TsuiProgressBar.h"
#include "WindowFixture.h"

using window_test::kDeadlineMs;
using window_test::WindowFixture;

namespace {

// The STB repeats its greeting (or its 'C') this often while the tool is
// silent. The tool needs about 200 ms between seeing the greeting and sending
// its request, so a repeat must not come sooner than that.
constexpr std::chrono::milliseconds kFastRepeat{400};

// A ZARN body that takes one whole packet (8188 bytes) and part of a second.
constexpr int kTwoPacketBody = 10000;

// Starts an STB for one upload and has the port prompt pick it on the next
// Connect.
std::unique_ptr<StbPeer> StartStbFor(WindowFixture& f, StbSide side) {
  auto stb = std::make_unique<StbPeer>(side, kFastRepeat, f.pty);
  if (stb->Ready()) f.PickPort(stb->ComNumber());
  return stb;
}

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class WindowUploadTest : public QObject {
  Q_OBJECT

 private slots:
  void zarnImageUploads() {
    WindowFixture f;
    f.boxes.autoDismiss = true;
    const auto stb = StartStbFor(f, StbSide::Zarn);
    QVERIFY(stb->Ready());

    // Two packets: a full one and the rest.
    const QString path = f.MakeImage(QStringLiteral("image.zarn"), kTwoPacketBody);
    const QByteArray image = ReadAll(path);
    QCOMPARE(image.size(), 64 + kTwoPacketBody);

    f.Load(path);
    f.ClickConnect();
    QVERIFY(f.form->ApdComPort1->Open());
    f.ClickSend();
    QVERIFY2(f.WaitUntilTaskEnded(), qPrintable(f.Log()));

    const QStringList expected = {
        QStringLiteral("Waiting for STB..."),
        QStringLiteral("Initializing Upload task..."),
        QStringLiteral("Data packet  000  ........... OK"),
        QStringLiteral("Data packet  001  ........... OK"),
        QStringLiteral("Writing to FLASH, please wait..."),
        QStringLiteral("Writing to FLASH [OK], restarting..."),
        QStringLiteral("Upload task terminated!!!"),
    };
    QCOMPARE(f.LogLines(), expected);
    QVERIFY(f.boxes.shown.empty());
    QCOMPARE(f.form->ProgressBar1->Max(), kTwoPacketBody);
    QCOMPARE(f.form->ProgressBar1->Position(), 0);
    const std::optional<StbReceived> received =
        stb->WaitForUpload(std::chrono::milliseconds(kDeadlineMs));
    QVERIFY(received);
    QCOMPARE(received->bytes, image);
  }

  // The path goes from the file dialog to the task as the user chose it,
  // whatever its script (on Windows the ANSI code page holds none of these
  // whole, and a lost character fails the open with a box).
  void imageNamedInAnyScriptUploads_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("Cyrillic") << QStringLiteral(
        "\u041f\u0440\u043e\u0448\u0438\u0432\u043a\u0430.zarn");
    QTest::newRow("CJK") << QStringLiteral("\u56fa\u4ef6.zarn");
    QTest::newRow("Emoji") << QString::fromUtf8("\xf0\x9f\x9a\x80 fw.zarn");
  }

  void imageNamedInAnyScriptUploads() {
    QFETCH(QString, name);
    WindowFixture f;
    f.boxes.autoDismiss = true;
    const auto stb = StartStbFor(f, StbSide::Zarn);
    QVERIFY(stb->Ready());
    const QString path = f.MakeImage(name);
    const QByteArray image = ReadAll(path);
    QVERIFY(!image.isEmpty());

    f.Load(path);
    f.ClickConnect();
    f.ClickSend();
    QVERIFY2(f.WaitUntilTaskEnded(), qPrintable(f.Log()));
    QVERIFY2(f.boxes.shown.empty(),
             f.boxes.shown.empty() ? "" : qPrintable(f.boxes.shown.front().text));
    QCOMPARE(f.LogLines().last(), QStringLiteral("Upload task terminated!!!"));
    const std::optional<StbReceived> received =
        stb->WaitForUpload(std::chrono::milliseconds(kDeadlineMs));
    QVERIFY(received);
    QCOMPARE(received->bytes, image);
  }

  void dspFileUploads() {
    WindowFixture f;
    f.boxes.autoDismiss = true;
    const auto stb = StartStbFor(f, StbSide::Dsp);
    QVERIFY(stb->Ready());

    QByteArray content(1500, '\0');
    for (int i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
    f.Load(f.MakeFile(QStringLiteral("boot.DSP"), content));
    f.ClickConnect();
    f.ClickSend();
    QVERIFY(f.WaitUntilTaskEnded());

    // Two 1024-byte blocks carry the 1500 bytes; each line names the offset
    // its block started at.
    const QStringList expected = {
        QStringLiteral("Waiting for STB..."),
        QStringLiteral("connection established!!!"),
        QStringLiteral("Packet 0/1 OK, sent 0Bytes"),
        QStringLiteral("Packet 1/1 OK, sent 1024Bytes"),
        QStringLiteral("Download task terminated!!!"),
    };
    QCOMPARE(f.LogLines(), expected);
    QCOMPARE(f.form->ProgressBar1->Max(), 1500);
    QCOMPARE(f.form->ProgressBar1->Position(), 1500);
    const std::optional<StbReceived> received =
        stb->WaitForUpload(std::chrono::milliseconds(kDeadlineMs));
    QVERIFY(received);
    QCOMPARE(received->dspName, QStringLiteral("boot.DSP"));
    QCOMPARE(received->bytes, content);
    QVERIFY2(f.boxes.shown.empty(),
             f.boxes.shown.empty() ? "" : qPrintable(f.boxes.shown.front().text));
  }
};

QTEST_MAIN(WindowUploadTest)
#include "window_upload_test.moc"
