// "Fast DSP transfer" and "Record uploads..." in the title bar's window menu:
// where they sit, that the choices outlive the window (QSettings, here in a
// scratch folder so the user's own settings are never touched), that Send's
// DSP upload follows the first, and that an upload leaves its row in the
// record the second names.
#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <optional>

#include "FastTransferSetting.h"
#include "FileDialogs.h"
#include "StbSimulator.h"
#include "TsuiForm.h"
#include "UploadRecord.h"
#include "WindowFixture.h"

using window_test::kDeadlineMs;
using window_test::WindowFixture;

namespace {

QStringList MenuTexts(const TForm1& form) {
  QStringList texts;
  for (const QAction* action : form.suiForm1->WindowMenu()->actions()) {
    texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
  }
  return texts;
}

QString SettingsFile(const QTemporaryDir& scratch) {
  return QDir(scratch.path())
      .filePath(fast_transfer_setting::kOrganisation + QLatin1Char('/') +
                fast_transfer_setting::kApplication + QStringLiteral(".conf"));
}

// A DSP STB with its port link where the window's port dialog looks.
stbsim::SimOptions DspStbBeside(WindowFixture& f) {
  stbsim::SimOptions options;
  options.mode = stbsim::SimMode::Dsp;
  options.cInterval = std::chrono::milliseconds(400);
  options.makePortLink = true;
  options.portDir = f.pty.Folder().toStdString();
  options.loop = false;
  return options;
}

}  // namespace

class FastTransferMenuTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QVERIFY(scratch_.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, scratch_.path());
  }

  void init() { QFile::remove(SettingsFile(scratch_)); }

  void itemSitsAboveCloseAndStartsOff() {
    WindowFixture f;
    QCOMPARE(MenuTexts(*f.form),
             (QStringList{QStringLiteral("Mi&nimize"), QStringLiteral("Ma&ximize/Restore"),
                          QStringLiteral("-"), QStringLiteral("Fast DSP transfer"),
                          QStringLiteral("Record uploads..."), QStringLiteral("-"),
                          QStringLiteral("&Close")}));
    QVERIFY(f.form->FastDspTransferItem->isCheckable());
    QVERIFY(!f.form->FastDspTransferItem->isChecked());
    QVERIFY(f.form->RecordUploadsItem->isCheckable());
    QVERIFY(!f.form->RecordUploadsItem->isChecked());
  }

  void choiceIsRememberedBetweenRuns() {
    {
      WindowFixture first;
      first.form->FastDspTransferItem->trigger();
      QVERIFY(first.form->FastDspTransferItem->isChecked());
    }
    QVERIFY2(QFileInfo::exists(SettingsFile(scratch_)), qPrintable(SettingsFile(scratch_)));
    {
      WindowFixture second;
      QVERIFY(second.form->FastDspTransferItem->isChecked());
      second.form->FastDspTransferItem->trigger();
    }
    WindowFixture third;
    QVERIFY(!third.form->FastDspTransferItem->isChecked());
  }

  void recordAsksForTheFileWhenTurnedOnAndIsRemembered() {
    const QString record = QDir(scratch_.path()).filePath(QStringLiteral("uploads.csv"));
    int asked = 0;
    QString offered;
    const auto chooser = [&](std::optional<QString> answer) {
      return [&, answer](const TCommonFileDialog& dialog) {
        ++asked;
        offered = dialog.FileName;
        return answer;
      };
    };
    {
      WindowFixture first;
      first.form->RecordDialog->SetChooser(chooser(std::nullopt));
      first.form->RecordUploadsItem->trigger();  // cancelled: stays off
      QVERIFY(!first.form->RecordUploadsItem->isChecked());
      first.form->RecordDialog->SetChooser(chooser(record));
      first.form->RecordUploadsItem->trigger();
      QVERIFY(first.form->RecordUploadsItem->isChecked());
      QCOMPARE(asked, 2);
    }
    {
      WindowFixture second;
      second.form->RecordDialog->SetChooser(chooser(record));
      QVERIFY(second.form->RecordUploadsItem->isChecked());
      QCOMPARE(asked, 2);                         // remembered: not asked again
      second.form->RecordUploadsItem->trigger();  // off
      QVERIFY(!second.form->RecordUploadsItem->isChecked());
      second.form->RecordUploadsItem->trigger();  // on again: offers the same file
      QCOMPARE(asked, 3);
      QCOMPARE(offered, record);
      second.form->RecordUploadsItem->trigger();
    }
    WindowFixture third;
    QVERIFY(!third.form->RecordUploadsItem->isChecked());
  }

  void recordedUploadLeavesItsRow() {
    const QString record = QDir(scratch_.path()).filePath(QStringLiteral("window.csv"));
    QFile::remove(record);
    WindowFixture f;
    f.boxes.autoDismiss = true;
    f.form->RecordDialog->SetChooser(
        [&](const TCommonFileDialog&) { return std::optional<QString>(record); });
    f.form->RecordUploadsItem->trigger();
    stbsim::StbSimulator sim(DspStbBeside(f));
    sim.Start();
    const auto port = static_cast<uint16_t>(std::stoi(sim.PortName().substr(3)));
    f.PickPort(port);
    const QString image = f.MakeFile(QStringLiteral("rec.DSP"), QByteArray(1500, 'r'));
    f.Load(image);
    f.ClickConnect();
    f.ClickSend();
    QVERIFY2(f.WaitUntilTaskEnded(), qPrintable(f.Log()));

    QFile file(record);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const auto rows = ParseCsv(file.readAll().toStdString());
    QVERIFY(rows.has_value());
    QCOMPARE(rows->size(), size_t{2});
    QCOMPARE(rows->at(0), RecordColumns());
    const std::vector<std::string>& row = rows->at(1);
    const auto column = [&](const char* name) {
      const auto& columns = RecordColumns();
      return QString::fromStdString(row[static_cast<size_t>(
          std::find(columns.begin(), columns.end(), name) - columns.begin())]);
    };
    QCOMPARE(column("result"), QStringLiteral("confirmed"));
    QCOMPARE(column("exit status"), QStringLiteral("0"));
    QCOMPARE(column("port"), QStringLiteral("COM%1").arg(port));
    QCOMPARE(column("file"), QString::fromUtf8(QFile::encodeName(image)));
    QCOMPARE(column("protocol"), QStringLiteral("DSP"));
    QCOMPARE(column("size"), QStringLiteral("1500"));
    QCOMPARE(column("bytes sent"), QStringLiteral("1500"));
    QCOMPARE(column("last line"), QStringLiteral("Packet 1/1 OK, sent 1024Bytes"));
    QCOMPARE(column("box"), QString());
  }

  void sendFollowsTheChoice_data() {
    QTest::addColumn<bool>("fast");
    QTest::newRow("fast") << true;
    QTest::newRow("default") << false;
  }
  void sendFollowsTheChoice() {
    QFETCH(bool, fast);
    WindowFixture f;
    f.boxes.autoDismiss = true;
    if (fast) f.form->FastDspTransferItem->trigger();
    stbsim::StbSimulator sim(DspStbBeside(f));
    sim.Start();
    f.PickPort(static_cast<uint16_t>(std::stoi(sim.PortName().substr(3))));

    QByteArray content(1500, '\0');
    for (int i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 13);
    f.Load(f.MakeFile(QStringLiteral("mode.DSP"), content));
    f.ClickConnect();
    f.ClickSend();
    QVERIFY2(f.WaitUntilTaskEnded(), qPrintable(f.Log()));

    const QStringList lines = f.LogLines();
    const qsizetype established = lines.indexOf(QStringLiteral("connection established!!!"));
    QVERIFY2(established > 0, qPrintable(f.Log()));
    QCOMPARE(lines.count(QStringLiteral("Fast transfer")), fast ? 1 : 0);
    if (fast) QCOMPARE(lines.at(established + 1), QStringLiteral("Fast transfer"));
    QCOMPARE(lines.last(), QStringLiteral("Download task terminated!!!"));
    QVERIFY(sim.WaitUntilFinished(std::chrono::milliseconds(kDeadlineMs)));
    const stbsim::UploadRecord upload = sim.LastUpload();
    QCOMPARE(upload.dspFile, std::vector<uint8_t>(content.begin(), content.end()));
    QVERIFY(f.boxes.shown.empty());
  }

 private:
  QTemporaryDir scratch_;
};

QTEST_MAIN(FastTransferMenuTest)
#include "fast_transfer_menu_test.moc"
