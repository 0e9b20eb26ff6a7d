// The station window: a tile per port, and above them the image (name,
// size, CRC-32), the totals (passed, failed, units per hour), Start, Stop,
// "Save profile" and the Sound option. It drives a Station, the same class
// the console mode runs; a Start after the station has finished runs a new
// one with the same settings.
//
// Keys: a port's number (1..9 for the first nine tiles) or Enter on the
// selected tile says its next unit is in place (Station::NextUnit); Esc
// stops all. A locked profile hides everything but Start, Stop and the
// tiles. Closing the window stops every child as Stop does and closes once
// the station has finished (within kStopLimit).
//
// GUI thread only.
#pragma once

#include <QTimer>
#include <QWidget>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "Station.h"
#include "StationProfile.h"

class QCheckBox;
class QLabel;
class PortTile;
class TsuiButton;

class StationWindow : public QWidget {
  Q_OBJECT

 public:
  // The tiles follow the station's changes at most this often.
  static constexpr std::chrono::milliseconds kRefreshInterval{50};

  // `profile.config.uploadProgram` is the zarn-upload the ports run;
  // `profilePath` ("" when none) is where "Save profile" offers to write.
  explicit StationWindow(StationProfile profile, std::string profilePath = {},
                         QWidget* parent = nullptr);
  ~StationWindow() override;

  // The station the window drives now.
  Station& CurrentStation() { return *station_; }
  // Started and not yet finished.
  bool Running() const { return running_; }
  // The session ends under the window (log-off, shutdown, SIGTERM, a closed
  // console): every child takes its stop path before this returns, within
  // the stop limit and the time to reap them, as the system may end the
  // program right after.
  void EndSession();

  // Shows the station's state now.
  void Refresh();
  // Writes the current settings as a profile to `path` (UTF-8); "" when
  // written, else why not.
  std::string SaveProfileTo(const std::string& path) const;

  size_t TileCount() const { return tiles_.size(); }
  PortTile* Tile(size_t index) const { return tiles_.at(index); }
  TsuiButton* StartButton() const { return start_; }
  TsuiButton* StopButton() const { return stop_; }
  TsuiButton* SaveButton() const { return save_; }
  QCheckBox* SoundBox() const { return sound_; }
  QLabel* ImageLabel() const { return image_; }
  QLabel* TotalsLabel() const { return totals_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void NewStation();
  void StartStation();
  void StopStation();
  void AskNextUnit(size_t index);
  void ChooseProfileAndSave();
  void StationFinished();
  void UpdateButtons();

  StationProfile profile_;
  std::string profilePath_;
  std::unique_ptr<Station> station_;
  bool running_ = false;
  bool stopping_ = false;
  bool finishedOnce_ = false;
  bool closeWhenFinished_ = false;
  std::vector<int> unitsHeard_;  // each port's finished units, for the sound
  QTimer refresh_;

  QLabel* image_;
  QLabel* totals_;
  TsuiButton* start_;
  TsuiButton* stop_;
  TsuiButton* save_;
  QCheckBox* sound_;
  std::vector<PortTile*> tiles_;
};

// Shows the station window for `profile` and runs the event loop until it
// is closed; the exit status for zarn-station. A QApplication must exist.
int RunStationWindow(const StationProfile& profile, const std::string& profilePath);
