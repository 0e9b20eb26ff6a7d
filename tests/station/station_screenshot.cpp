// Not a test: draws the README's picture of the station window. Runs the
// real window against simulated STBs on pseudo-terminals (one confirms, one
// reports a flash error, one is paced and still uploading, one never
// greets) and a port with no adapter, waits until the paced upload has
// passed 40 %, grabs the window and saves it.
//
//   station_screenshot OUTPUT.png
//
// Build it on demand (`cmake --build --preset plain --target
// station_screenshot`); run it with QT_QPA_PLATFORM=offscreen.
#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>

#include "ImageBuilder.h"
#include "PortTile.h"
#include "StationWindow.h"
#include "StbSimulator.h"
#include "TempDir.h"
#include "TestUnits.h"
#include "TsuiButton.h"

namespace {

using namespace std::chrono_literals;

constexpr int kPollMs = 20;
constexpr int kGiveUpMs = 30000;
constexpr int kShownPercent = 40;
constexpr int kWidth = 1280;
constexpr int kHeight = 560;

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: station_screenshot OUTPUT.png\n");
    return 2;
  }
  const QString output = QString::fromLocal8Bit(argv[1]);

  TempDir folder("zarn_station_screenshot");
  const std::string image =
      folder.Write("receiver_v2.ZARN", MakeImage("APP", PatternBody(32 * 1024)));
  stbsim::StbSimulator good(TestUnit());
  stbsim::SimOptions failing = TestUnit();
  failing.flashError = true;
  stbsim::StbSimulator bad(failing);
  stbsim::StbSimulator late(TestUnit());
  stbsim::StbSimulator silent(TestUnit());  // never started: it never greets
  good.Start();
  bad.Start();

  StationProfile profile;
  profile.config.imagePath = image;
  profile.config.ports = {good.SlavePath(), bad.SlavePath(), late.SlavePath(), silent.SlavePath(),
                          "/dev/ttyUSB7"};
  profile.config.uploadProgram = ZARN_UPLOAD_PATH;
  StationWindow window(profile);
  window.resize(kWidth, kHeight);
  window.show();
  window.StartButton()->click();

  bool lateStarted = false;
  int waited = 0;
  int status = 1;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    waited += kPollMs;
    const std::vector<PortView> views = window.CurrentStation().Views();
    const PortView& uploading = views[2];
    const bool far = uploading.state == PortState::Uploading && uploading.total > 0 &&
                     uploading.done * 100 >= uploading.total * kShownPercent;
    const bool othersDone = views[0].state == PortState::Pass && views[1].state == PortState::Fail;
    if (othersDone && !lateStarted) {
      late.Start();
      lateStarted = true;
    }
    if (far && othersDone) {
      window.Refresh();
      window.Tile(2)->setFocus();
      status = window.grab().save(output) ? 0 : 1;
      poll.stop();
      window.close();
    } else if (waited > kGiveUpMs) {
      std::fprintf(stderr, "station_screenshot: the uploads did not get that far\n");
      poll.stop();
      window.close();
    }
  });
  QObject::connect(&window.CurrentStation(), &Station::Finished, &app, &QApplication::quit);
  poll.start(kPollMs);
  app.exec();
  return status;
}
