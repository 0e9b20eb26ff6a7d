// The station window on the offscreen platform: its tiles as the ports'
// states change, the totals, the keys, the locked profile, and a close that
// stops every child first. The window drives a real Station; the runs use
// simulated STBs and the real zarn-upload.
#include <QCheckBox>
#include <QLabel>
#include <QtTest>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "ImageBuilder.h"
#include "ImageInfo.h"
#include "PortTile.h"
#include "StationWindow.h"
#include "StbSimulator.h"
#include "TempDir.h"
#include "TestUnits.h"
#include "TsuiButton.h"
#include "TsuiProgressBar.h"

namespace {

using namespace std::chrono_literals;

// Limits no passing test comes near: each only ends a wait that went wrong.
constexpr int kSettleLimitMs = 40000;
// The stop limit and room for the children to be reaped.
constexpr int kCloseLimitMs = static_cast<int>(kStopLimit.count()) + 1000;
// Long enough that no port re-arms by itself during a test.
constexpr auto kNeverRearm = 600s;

}  // namespace

class StationWindowTest : public QObject {
  Q_OBJECT

 private:
  StationProfile Profile(std::vector<std::string> ports, bool loop = false) const {
    StationProfile profile;
    profile.config.imagePath = image_;
    profile.config.ports = std::move(ports);
    profile.config.recordPath = (folder_ / "record.csv").string();
    profile.config.loop = loop;
    profile.config.rearmQuiet = std::chrono::duration_cast<std::chrono::milliseconds>(kNeverRearm);
    profile.config.uploadProgram = ZARN_UPLOAD_PATH;
    return profile;
  }

  // A unit on a line paced as a real one, so that an upload lasts.
  static stbsim::SimOptions PacedUnit() {
    stbsim::SimOptions paced = TestUnit();
    paced.pace = true;
    return paced;
  }

  // A started window uploading the long image to `unit`.
  std::unique_ptr<StationWindow> WindowUploadingTo(const stbsim::StbSimulator& unit) {
    StationProfile profile = Profile({unit.SlavePath()});
    profile.config.imagePath = longImage_;
    auto window = std::make_unique<StationWindow>(profile);
    window->show();
    window->StartButton()->click();
    return window;
  }

  TempDir folder_{"zarn_station_window"};
  const std::string image_ = folder_.Write("unit.ZARN", MakeImage("APP", PatternBody(4000)));
  // Three packets, paced: long enough to be closed in the middle.
  const std::string longImage_ = folder_.Write("long.ZARN", MakeImage("APP", PatternBody(20000)));

 private slots:
  void showsATilePerPortAndTheImage() {
    StationWindow window(Profile({"/dev/zarn-none-a", "/dev/zarn-none-b", "/dev/zarn-none-c"}));
    QCOMPARE(window.TileCount(), size_t{3});
    QCOMPARE(window.Tile(1)->PortText(), QStringLiteral("2  /dev/zarn-none-b"));
    QCOMPARE(window.Tile(2)->StateText(), QStringLiteral("idle"));
    const QString crc = QStringLiteral("%1").arg(DescribeImage(image_).crc32, 8, 16, QChar('0'));
    QVERIFY2(window.ImageLabel()->text().contains(QStringLiteral("unit.ZARN   4064 bytes")),
             qPrintable(window.ImageLabel()->text()));
    QVERIFY(window.ImageLabel()->text().contains(crc.toUpper()));
    QCOMPARE(window.TotalsLabel()->text(), QStringLiteral("passed 0   failed 0   units/hour 0.0"));
  }

  void tileShowsEachStateItsTextAndColour() {
    struct Row {
      const char* name;
      PortView view;
      QString state;
      QString detail;
      QColor background;
      bool progress;
    };
    const auto view = [](PortState state) {
      PortView made;
      made.port = "COM31";
      made.state = state;
      return made;
    };
    PortView uploading = view(PortState::Uploading);
    uploading.done = 500;
    uploading.total = 2000;
    PortView pass = view(PortState::Pass);
    pass.hasResult = pass.lastPassed = true;
    pass.passed = 1;
    PortView fail = view(PortState::Fail);
    fail.hasResult = true;
    fail.failure = "flash error: FlashErr";
    fail.failed = 1;
    PortView replacePassed = pass;
    replacePassed.state = PortState::ReplaceUnit;
    PortView replaceFailed = fail;
    replaceFailed.state = PortState::ReplaceUnit;
    PortView listening = pass;
    listening.state = PortState::Listening;
    const std::vector<Row> rows = {
        {"waiting", view(PortState::Waiting), "waiting for STB", "", PortTile::NeutralColour(),
         false},
        {"uploading", uploading, "uploading", "", PortTile::NeutralColour(), true},
        {"pass", pass, "PASS", "", PortTile::PassColour(), false},
        {"fail", fail, "FAIL", "flash error: FlashErr", PortTile::FailColour(), false},
        {"replace a passed unit", replacePassed, "replace unit", "last PASS",
         PortTile::PassColour(), false},
        {"replace a failed unit", replaceFailed, "replace unit", "last FAIL: flash error: FlashErr",
         PortTile::FailColour(), false},
        {"listening after a unit", listening, "waiting for STB", "last PASS",
         PortTile::NeutralColour(), false},
        {"adapter gone", view(PortState::AdapterGone), "adapter gone", "",
         PortTile::NeutralColour(), false},
        {"stopped", view(PortState::Stopped), "stopped", "", PortTile::NeutralColour(), false},
    };
    // One tile through every state, as a port goes: what one state showed
    // must not linger into the next.
    PortTile tile(0, QStringLiteral("FT232R USB UART"));
    for (const Row& row : rows) {
      tile.Show(row.view);
      QCOMPARE(tile.PortText(), QStringLiteral("1  COM31  (FT232R USB UART)"));
      QVERIFY2(tile.StateText() == row.state, row.name);
      QVERIFY2(tile.DetailText() == row.detail, row.name);
      QVERIFY2(tile.Background() == row.background, row.name);
      QVERIFY2(tile.Progress()->isVisibleTo(&tile) == row.progress, row.name);
    }
    tile.Show(uploading);
    QCOMPARE(tile.Progress()->CaptionText(), QStringLiteral("25%"));
    QVERIFY(tile.UnitsText().startsWith(QStringLiteral("units 0")));
    tile.Show(fail);
    QVERIFY(tile.UnitsText().startsWith(QStringLiteral("units 1  at ")));
  }

  void lockedProfileShowsOnlyStartStopAndTheTiles() {
    for (const bool locked : {false, true}) {
      StationProfile profile = Profile({"/dev/zarn-none-a"});
      profile.locked = locked;
      StationWindow window(profile);
      for (const QWidget* control :
           {static_cast<QWidget*>(window.ImageLabel()), static_cast<QWidget*>(window.TotalsLabel()),
            static_cast<QWidget*>(window.SaveButton()), static_cast<QWidget*>(window.SoundBox())}) {
        QCOMPARE(control->isHidden(), locked);
      }
      QVERIFY(!window.StartButton()->isHidden());
      QVERIFY(!window.StopButton()->isHidden());
      QVERIFY(!window.Tile(0)->isHidden());
    }
  }

  void saveProfileWritesTheCurrentSettings() {
    StationWindow window(Profile({"COM31", "COM32"}, true));
    const std::string path = (folder_ / "saved.ini").string();
    QCOMPARE(window.SaveProfileTo(path), std::string());
    std::string error;
    const std::optional<StationProfile> read = LoadStationProfile(path, error);
    QVERIFY2(read, error.c_str());
    QCOMPARE(read->config.imagePath, image_);
    QCOMPARE(read->config.ports, (std::vector<std::string>{"COM31", "COM32"}));
    QVERIFY(read->config.loop);
    QVERIFY(!read->locked);
  }

  // Two units, one confirmed and one whose flash fails: each tile shows its
  // own, and the totals count both.
  void showsEachPortsResultAndTheTotals() {
    stbsim::StbSimulator good(TestUnit());
    stbsim::SimOptions failing = TestUnit();
    failing.flashError = true;
    stbsim::StbSimulator bad(failing);
    good.Start();
    bad.Start();
    StationWindow window(Profile({good.SlavePath(), bad.SlavePath()}));
    window.show();
    QVERIFY(!window.StopButton()->isEnabled());
    window.StartButton()->click();
    QVERIFY(window.Running());
    QVERIFY(!window.StartButton()->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!window.Running(), kSettleLimitMs);
    QCOMPARE(window.Tile(0)->StateText(), QStringLiteral("PASS"));
    QCOMPARE(window.Tile(0)->Background(), PortTile::PassColour());
    QCOMPARE(window.Tile(1)->StateText(), QStringLiteral("FAIL"));
    QCOMPARE(window.Tile(1)->Background(), PortTile::FailColour());
    QVERIFY2(window.Tile(1)->DetailText().startsWith(QStringLiteral("flash error")),
             qPrintable(window.Tile(1)->DetailText()));
    QVERIFY(window.TotalsLabel()->text().startsWith(QStringLiteral("passed 1   failed 1   ")));
    QVERIFY(window.StartButton()->isEnabled());
  }

  // Loop mode with a unit that keeps greeting after its restart: the port
  // waits for it to be replaced until the operator's key says the next unit
  // is in place.
  void numberKeyAndEnterArmAPortAndEscStopsAll() {
    stbsim::StbSimulator unit(TestUnit());
    unit.Start();
    StationWindow window(Profile({unit.SlavePath()}, true));
    window.show();
    window.StartButton()->click();
    PortTile* tile = window.Tile(0);
    const auto unitsDone = [&](int count) {
      return tile->StateText() == QStringLiteral("replace unit") &&
             tile->UnitsText().startsWith(QStringLiteral("units %1 ").arg(count));
    };
    QTRY_VERIFY_WITH_TIMEOUT(unitsDone(1), kSettleLimitMs);
    QCOMPARE(unit.UploadCount(), 1);

    QTest::keyClick(tile, Qt::Key_1);
    QTRY_VERIFY_WITH_TIMEOUT(unitsDone(2), kSettleLimitMs);
    QCOMPARE(unit.UploadCount(), 2);
    // A key past the last tile arms nothing.
    QTest::keyClick(tile, Qt::Key_2);

    tile->setFocus();
    QTest::keyClick(tile, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(unitsDone(3), kSettleLimitMs);
    QCOMPARE(unit.UploadCount(), 3);

    QTest::keyClick(tile, Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(!window.Running(), kCloseLimitMs);
    QCOMPARE(tile->StateText(), QStringLiteral("stopped"));
    QCOMPARE(unit.UploadCount(), 3);
  }

  // Closing during an upload: the window stays until the child has taken
  // its stop path (the cut upload is a failed unit, as with Stop), then goes.
  void closingStopsEveryChildBeforeTheWindowGoes() {
    stbsim::StbSimulator unit(PacedUnit());
    unit.Start();
    const auto window = WindowUploadingTo(unit);
    QTRY_VERIFY_WITH_TIMEOUT(window->Tile(0)->StateText() == QStringLiteral("uploading"),
                             kSettleLimitMs);
    QVERIFY(!window->close());
    QVERIFY(window->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), kCloseLimitMs);
    QVERIFY(window->CurrentStation().Settled());
    const PortView view = window->CurrentStation().Views().at(0);
    QCOMPARE(view.state, PortState::Fail);
    QCOMPARE(view.failed, 1);
    QVERIFY(view.done > 0);
  }

  // The session ends (log-off, shutdown) during an upload: the child has
  // taken its stop path when the call returns.
  void sessionEndStopsEveryChildBeforeReturning() {
    stbsim::StbSimulator unit(PacedUnit());
    unit.Start();
    const auto window = WindowUploadingTo(unit);
    QTRY_VERIFY_WITH_TIMEOUT(window->Tile(0)->StateText() == QStringLiteral("uploading"),
                             kSettleLimitMs);
    window->EndSession();
    QVERIFY(!window->Running());
    QVERIFY(window->CurrentStation().Settled());
    QCOMPARE(window->CurrentStation().Views().at(0).failed, 1);
  }
};

QTEST_MAIN(StationWindowTest)
#include "station_window_test.moc"
