#include "ConsoleStation.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "Console.h"
#include "OperatorInput.h"
#include "Station.h"
#include "StationTable.h"
#include "UploadResult.h"

namespace {

// How often the table is redrawn at most, and how often Ctrl-C is looked at.
constexpr std::chrono::milliseconds kRedrawInterval{100};
constexpr std::chrono::milliseconds kInterruptRecheck{20};

const char kStoppingNote[] = "zarn-station: stopping every upload (Ctrl-C again quits at once)\n";

// Draws the table: in place where the terminal can move the cursor up, else
// one line per change of a port's state.
class TableWriter {
 public:
  explicit TableWriter(std::FILE* out)
      : out_(out), inPlace_(ProgressBarEraser(out) == BarEraser::EscapeSequence) {}

  void Draw(const Station& station) {
    const std::vector<PortView> views = station.Views();
    if (!inPlace_) {
      WriteChanges(views);
      return;
    }
    const std::vector<std::string> lines =
        StationTableLines(station.Config().imagePath, views, station.Totals());
    std::string text;
    if (drawnLines_ > 0) text += "\033[" + std::to_string(drawnLines_) + "A";
    for (const std::string& line : lines) text += "\r\033[K" + line + "\n";
    WriteText(out_, text);
    drawnLines_ = lines.size();
  }

  // A note between the table and the terminal's prompt.
  void Note(const char* text) {
    WriteText(stderr, text);
    if (inPlace_) drawnLines_ = 0;
  }

  void Summary(const Station& station) {
    if (inPlace_) return;
    const StationTotals totals = station.Totals();
    WriteText(out_, "passed " + std::to_string(totals.passed) + "  failed " +
                        std::to_string(totals.failed) + "\n");
  }

 private:
  void WriteChanges(const std::vector<PortView>& views) {
    shown_.resize(views.size());
    for (size_t i = 0; i < views.size(); ++i) {
      const PortView& view = views[i];
      std::string key = StateText(view.state) + "|" + std::to_string(view.passed) + "|" +
                        std::to_string(view.failed);
      if (key == shown_[i]) continue;
      shown_[i] = key;
      WriteText(out_, PortLine(view) + "\n");
    }
  }

  std::FILE* out_;
  bool inPlace_;
  size_t drawnLines_ = 0;
  std::vector<std::string> shown_;
};

}  // namespace

int RunConsoleStation(const StationConfig& config) {
  Station station(config);
  TableWriter table(stdout);
  InstallInterruptHandler();

  bool dirty = true;
  QTimer redraw;
  redraw.setInterval(kRedrawInterval);
  QObject::connect(&redraw, &QTimer::timeout, [&] {
    if (!dirty) return;
    dirty = false;
    table.Draw(station);
  });
  QObject::connect(&station, &Station::Changed, [&] { dirty = true; });

  bool stopping = false;
  QTimer interrupt;
  interrupt.setInterval(kInterruptRecheck);
  QObject::connect(&interrupt, &QTimer::timeout, [&] {
    if (stopping || !InterruptRequested()) return;
    stopping = true;
    table.Note(kStoppingNote);
    station.Stop();
  });
  QObject::connect(&station, &Station::Finished, [&] { QCoreApplication::exit(0); });

  // A port's number and Enter: its next unit is in place.
  const OperatorInput input([&](const std::string& line) {
    if (const std::optional<size_t> index = PortIndexFromLine(line, config.ports.size())) {
      station.NextUnit(*index);
    }
  });

  redraw.start();
  interrupt.start();
  station.Start();
  if (!station.Settled()) QCoreApplication::exec();
  table.Draw(station);
  table.Summary(station);

  if (config.loop) return station.Totals().failed == 0 ? kExitFinished : kExitEndedEarly;
  return station.AllConfirmed() ? kExitFinished : kExitEndedEarly;
}
