#include "PortTile.h"

#include <QDateTime>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <chrono>

#include "StationLook.h"
#include "TsuiProgressBar.h"

namespace {

// The progress bar counts in these steps, so byte counts above int's range
// still fit.
constexpr int kProgressSteps = 1000;
constexpr int kFocusFrameWidth = 4;
constexpr int kTileMargin = 12;

void SetText(QLabel* label, const QString& text) {
  if (label->text() != text) label->setText(text);
}

QString TimeOfDay(std::chrono::system_clock::time_point when) {
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(when.time_since_epoch()).count();
  return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("HH:mm:ss"));
}

}  // namespace

PortTile::PortTile(size_t index, const QString& adapter, QWidget* parent)
    : QFrame(parent),
      index_(index),
      port_(new QLabel(this)),
      state_(new QLabel(this)),
      detail_(new QLabel(this)),
      units_(new QLabel(this)),
      progress_(new TsuiProgressBar(this)) {
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(station_look::kTileMinimumSize);
  port_->setFont(station_look::TileTitleFont());
  port_->setProperty("adapter", adapter);
  state_->setFont(station_look::TileStateFont());
  detail_->setFont(station_look::TileDetailFont());
  detail_->setWordWrap(true);
  units_->setFont(station_look::TileDetailFont());
  progress_->setFixedHeight(station_look::kTileProgressHeight);
  progress_->SetMax(kProgressSteps);
  progress_->hide();

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kTileMargin, kTileMargin, kTileMargin, kTileMargin);
  layout->addWidget(port_);
  layout->addWidget(state_);
  layout->addWidget(progress_);
  layout->addWidget(detail_, 1, Qt::AlignTop);
  layout->addWidget(units_);
  SetBackground(NeutralColour());
}

void PortTile::Show(const PortView& view) {
  const QString adapter = port_->property("adapter").toString();
  SetText(port_, QStringLiteral("%1  %2%3")
                     .arg(index_ + 1)
                     .arg(QString::fromStdString(view.port))
                     .arg(adapter.isEmpty() ? QString() : QStringLiteral("  (") + adapter + ")"));
  SetText(state_, QString::fromStdString(::StateText(view.state)));

  const bool uploading = view.state == PortState::Uploading;
  progress_->setVisible(uploading);
  if (uploading) {
    const int64_t position = view.total > 0 ? view.done * kProgressSteps / view.total : 0;
    progress_->SetPosition(static_cast<int>(position));
  }

  QString detail;
  switch (view.state) {
    case PortState::Pass: break;
    case PortState::Fail: detail = QString::fromStdString(view.failure); break;
    case PortState::Uploading: detail = QString::fromStdString(view.line); break;
    case PortState::Idle:
    case PortState::Waiting: break;
    default:
      if (view.hasResult) {
        detail = view.lastPassed
                     ? QStringLiteral("last PASS")
                     : QStringLiteral("last FAIL: ") + QString::fromStdString(view.failure);
      }
  }
  SetText(detail_, detail);

  QString units = QStringLiteral("units %1").arg(view.passed + view.failed);
  if (view.passed + view.failed > 0) units += QStringLiteral("  at ") + TimeOfDay(view.lastEnd);
  SetText(units_, units);

  // The unit still on the bench is the one that passed or failed until it
  // is replaced.
  const bool resultShown = view.state == PortState::Pass || view.state == PortState::Fail ||
                           (view.state == PortState::ReplaceUnit && view.hasResult);
  if (!resultShown) {
    SetBackground(NeutralColour());
  } else {
    SetBackground(view.lastPassed ? PassColour() : FailColour());
  }
}

QString PortTile::PortText() const { return port_->text(); }
QString PortTile::StateText() const { return state_->text(); }
QString PortTile::DetailText() const { return detail_->text(); }
QString PortTile::UnitsText() const { return units_->text(); }

QColor PortTile::PassColour() { return {0x2e, 0x9d, 0x3a}; }
QColor PortTile::FailColour() { return {0xc6, 0x28, 0x28}; }
QColor PortTile::NeutralColour() { return {0xff, 0xff, 0xff}; }

void PortTile::SetBackground(const QColor& colour) {
  if (colour == background_) return;
  background_ = colour;
  // White text on green and red, black on the neutral tile.
  const QColor text = colour == NeutralColour() ? QColor(Qt::black) : QColor(Qt::white);
  QPalette palette = this->palette();
  palette.setColor(QPalette::WindowText, text);
  setPalette(palette);
  update();
}

void PortTile::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    emit NextUnitAsked(index_);
    return;
  }
  QFrame::keyPressEvent(event);
}

void PortTile::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  QFrame::mousePressEvent(event);
}

void PortTile::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), background_);
  // The selected tile has a thick frame; the others a thin one.
  const int width = hasFocus() ? kFocusFrameWidth : 1;
  QPen pen(hasFocus() ? station_look::SelectionColour() : station_look::FrameColour(), width);
  pen.setJoinStyle(Qt::MiterJoin);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  const int inset = width / 2;
  painter.drawRect(rect().adjusted(inset, inset, -inset - (width % 2), -inset - (width % 2)));
}

void PortTile::focusInEvent(QFocusEvent* event) {
  QFrame::focusInEvent(event);
  update();
}

void PortTile::focusOutEvent(QFocusEvent* event) {
  QFrame::focusOutEvent(event);
  update();
}
