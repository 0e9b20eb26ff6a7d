#include "StationWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

#include "AdapterNames.h"
#include "Console.h"
#include "ImageInfo.h"
#include "PortTile.h"
#include "StationLook.h"
#include "TsuiButton.h"
#include "UploadResult.h"

namespace {

// Tiles per row: four fit a 1920-pixel screen at the tiles' least width.
constexpr int kTileColumns = 4;
constexpr int kSpacing = 10;
// Number keys 1..9 arm the first nine tiles.
constexpr size_t kNumberKeys = 9;
// How often a termination request is looked for.
constexpr std::chrono::milliseconds kInterruptRecheck{100};
// How long the end of a session waits for the children: the stop limit and
// the time to reap them.
constexpr std::chrono::milliseconds kSessionEndLimit = kStopLimit + std::chrono::milliseconds(1000);

QString ImageText(const std::string& path) {
  const ImageInfo info = DescribeImage(path);
  const QFileInfo file(QString::fromStdString(path));
  QString text = QStringLiteral("Image: %1   %2 bytes")
                     .arg(file.fileName())
                     .arg(QLocale(QLocale::C).toString(file.size()));
  if (info.Sendable()) {
    text += QStringLiteral("   CRC-32 %1").arg(info.crc32, 8, 16, QLatin1Char('0')).toUpper();
  } else {
    text += QStringLiteral("   (cannot be read)");
  }
  return text;
}

QString TotalsText(const StationTotals& totals) {
  return QStringLiteral("passed %1   failed %2   units/hour %3")
      .arg(totals.passed)
      .arg(totals.failed)
      .arg(totals.unitsPerHour, 0, 'f', 1);
}

TsuiButton* MakeButton(const QString& caption, QWidget* parent) {
  auto* button = new TsuiButton(parent);
  button->setText(caption);
  button->setFont(station_look::ButtonFont());
  return button;
}

}  // namespace

StationWindow::StationWindow(StationProfile profile, std::string profilePath, QWidget* parent)
    : QWidget(parent),
      profile_(std::move(profile)),
      profilePath_(std::move(profilePath)),
      image_(new QLabel(this)),
      totals_(new QLabel(this)),
      start_(MakeButton(tr("Start"), this)),
      stop_(MakeButton(tr("Stop"), this)),
      save_(MakeButton(tr("Save profile"), this)),
      sound_(new QCheckBox(tr("Sound"), this)) {
  setWindowTitle(QStringLiteral("ZARN flashing station"));
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, station_look::BackgroundColour());
  setPalette(palette);
  setAutoFillBackground(true);

  image_->setFont(station_look::HeaderFont());
  image_->setText(ImageText(profile_.config.imagePath));
  image_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  totals_->setFont(station_look::HeaderFont());
  sound_->setFont(station_look::HeaderFont());
  // The keys belong to the tiles: the controls take the focus only by a click.
  for (QWidget* control : {static_cast<QWidget*>(start_), static_cast<QWidget*>(stop_),
                           static_cast<QWidget*>(save_), static_cast<QWidget*>(sound_)}) {
    control->setFocusPolicy(Qt::ClickFocus);
  }

  auto* controls = new QHBoxLayout;
  controls->addWidget(start_);
  controls->addWidget(stop_);
  controls->addSpacing(kSpacing * 3);
  controls->addWidget(save_);
  controls->addWidget(sound_);
  controls->addStretch(1);
  controls->addWidget(totals_);

  const std::vector<QString> adapters = AdapterNames(profile_.config.ports);
  auto* grid = new QGridLayout;
  grid->setSpacing(kSpacing);
  for (size_t i = 0; i < profile_.config.ports.size(); ++i) {
    auto* tile = new PortTile(i, adapters[i], this);
    connect(tile, &PortTile::NextUnitAsked, this, &StationWindow::AskNextUnit);
    grid->addWidget(tile, static_cast<int>(i) / kTileColumns, static_cast<int>(i) % kTileColumns);
    tiles_.push_back(tile);
  }

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kSpacing, kSpacing, kSpacing, kSpacing);
  layout->setSpacing(kSpacing);
  layout->addWidget(image_);
  layout->addLayout(controls);
  layout->addLayout(grid, 1);

  if (profile_.locked) {
    for (QWidget* hidden : {static_cast<QWidget*>(image_), static_cast<QWidget*>(totals_),
                            static_cast<QWidget*>(save_), static_cast<QWidget*>(sound_)}) {
      hidden->hide();
    }
  }

  connect(start_, &TsuiButton::clicked, this, &StationWindow::StartStation);
  connect(stop_, &TsuiButton::clicked, this, &StationWindow::StopStation);
  connect(save_, &TsuiButton::clicked, this, &StationWindow::ChooseProfileAndSave);
  refresh_.setSingleShot(true);
  refresh_.setInterval(kRefreshInterval);
  connect(&refresh_, &QTimer::timeout, this, &StationWindow::Refresh);

  NewStation();
  if (!tiles_.empty()) tiles_.front()->setFocus();
}

StationWindow::~StationWindow() = default;

void StationWindow::NewStation() {
  station_ = std::make_unique<Station>(profile_.config);
  connect(station_.get(), &Station::Changed, this, [this] {
    if (!refresh_.isActive()) refresh_.start();
  });
  connect(station_.get(), &Station::Finished, this, &StationWindow::StationFinished);
  unitsHeard_.assign(tiles_.size(), 0);
  Refresh();
}

void StationWindow::Refresh() {
  refresh_.stop();
  const std::vector<PortView> views = station_->Views();
  bool heardUnit = false;
  for (size_t i = 0; i < views.size() && i < tiles_.size(); ++i) {
    tiles_[i]->Show(views[i]);
    const int units = views[i].passed + views[i].failed;
    heardUnit = heardUnit || units > unitsHeard_[i];
    unitsHeard_[i] = units;
  }
  if (heardUnit && sound_->isChecked()) QApplication::beep();
  totals_->setText(TotalsText(station_->Totals()));
  UpdateButtons();
}

void StationWindow::UpdateButtons() {
  start_->setEnabled(!running_);
  stop_->setEnabled(running_ && !stopping_);
}

void StationWindow::StartStation() {
  if (running_) return;
  if (finishedOnce_) NewStation();
  running_ = true;
  stopping_ = false;
  station_->Start();
  Refresh();
}

void StationWindow::StopStation() {
  if (!running_ || stopping_) return;
  stopping_ = true;
  station_->Stop();
  Refresh();
}

void StationWindow::EndSession() {
  if (!running_) return;
  StopStation();
  QEventLoop wait;
  connect(station_.get(), &Station::Finished, &wait, &QEventLoop::quit);
  QTimer::singleShot(kSessionEndLimit, &wait, &QEventLoop::quit);
  if (running_) wait.exec();
}

void StationWindow::AskNextUnit(size_t index) {
  if (running_ && !stopping_) station_->NextUnit(index);
}

void StationWindow::StationFinished() {
  running_ = false;
  stopping_ = false;
  finishedOnce_ = true;
  Refresh();
  if (closeWhenFinished_) close();
}

std::string StationWindow::SaveProfileTo(const std::string& path) const {
  StationProfile saved = profile_;
  saved.config.uploadProgram.clear();
  return SaveStationProfile(path, saved);
}

void StationWindow::ChooseProfileAndSave() {
  const QString suggested =
      profilePath_.empty() ? QStringLiteral("station.ini") : QString::fromStdString(profilePath_);
  const QString path = QFileDialog::getSaveFileName(this, tr("Save profile"), suggested,
                                                    tr("Station profiles (*.ini)"));
  if (path.isEmpty()) return;
  const std::string error = SaveProfileTo(path.toStdString());
  if (!error.empty()) {
    QMessageBox::warning(this, tr("Save profile"), QString::fromStdString(error));
    return;
  }
  profilePath_ = path.toStdString();
}

void StationWindow::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if (key == Qt::Key_Escape) {
    StopStation();
    return;
  }
  if (key >= Qt::Key_1 && key <= Qt::Key_9) {
    const auto index = static_cast<size_t>(key - Qt::Key_1);
    if (index < kNumberKeys && index < tiles_.size()) {
      AskNextUnit(index);
      return;
    }
  }
  QWidget::keyPressEvent(event);
}

void StationWindow::closeEvent(QCloseEvent* event) {
  if (!running_) {
    event->accept();
    return;
  }
  // Every child takes its stop path first; the window closes when the
  // station has finished.
  event->ignore();
  closeWhenFinished_ = true;
  StopStation();
}

int RunStationWindow(const StationProfile& profile, const std::string& profilePath) {
  StationWindow window(profile, profilePath);
  // A termination request or a closing console (the log-off of a desktop
  // without a session manager) closes the window as its close box does.
  InstallInterruptHandler();
  QTimer interrupt;
  interrupt.setInterval(kInterruptRecheck);
  QObject::connect(&interrupt, &QTimer::timeout, &window, [&] {
    if (!InterruptRequested()) return;
    interrupt.stop();
    window.close();
  });
  interrupt.start();
  // The session manager's end (Windows' log-off and shutdown) quits the
  // application: the children go first.
  QObject::connect(qApp, &QCoreApplication::aboutToQuit, &window, &StationWindow::EndSession);
  window.show();
  QApplication::exec();
  return kExitFinished;
}
