// "Fast DSP transfer" in the title bar's window menu: where it sits, that the
// choice outlives the window (QSettings, here in a scratch folder so the
// user's own settings are never touched), and that Send's DSP upload follows
// it.
#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "FastTransferSetting.h"
#include "StbSimulator.h"
#include "TsuiForm.h"
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
                          QStringLiteral("-"), QStringLiteral("&Close")}));
    QVERIFY(f.form->FastDspTransferItem->isCheckable());
    QVERIFY(!f.form->FastDspTransferItem->isChecked());
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
    stbsim::SimOptions options;
    options.mode = stbsim::SimMode::Dsp;
    options.cInterval = std::chrono::milliseconds(400);
    options.makePortLink = true;
    options.portDir = f.pty.Folder().toStdString();
    options.loop = false;
    stbsim::StbSimulator sim(options);
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
