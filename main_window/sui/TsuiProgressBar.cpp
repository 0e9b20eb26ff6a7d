#include "TsuiProgressBar.h"

#include "ProgressBarMath.h"
#include "SkinPictures.h"
#include "SuiFonts.h"

#include <QPainter>

#include <algorithm>
#include <climits>
#include <cstdint>

namespace {
const QColor kEmptyColour(0xE7, 0xE7, 0xE7);
const QColor kFrameColour(0x7F, 0x7F, 0x7F);
}  // namespace

TsuiProgressBar::TsuiProgressBar(QWidget* parent) : QWidget(parent) {
    fill_ = sui::Skin().progressFill;
    setFont(sui::ProgressFont());
}

void TsuiProgressBar::SetMin(int min) {
    min_ = min;
    update();
}

void TsuiProgressBar::SetMax(int max) {
    max_ = max;
    update();
}

void TsuiProgressBar::SetPosition(int position) {
    position_ = position;
    update();
}

void TsuiProgressBar::StepBy(int delta) {
    const std::int64_t next = std::int64_t(position_) + delta;
    SetPosition(int(std::clamp<std::int64_t>(next, INT_MIN, INT_MAX)));
}

QString TsuiProgressBar::CaptionText() const {
    return QString::number(sui::ProgressPercent(min_, max_, position_)) + QLatin1Char('%');
}

int TsuiProgressBar::FillEdge() const { return sui::ProgressFillEdge(min_, max_, position_, width()); }

void TsuiProgressBar::SetFillPicture(const QImage& picture) {
    fill_ = picture;
    update();
}

void TsuiProgressBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int w = width();
    const int h = height();
    const int edge = FillEdge();
    const QRect filled(1, 1, edge - 1, h - 2);
    if (filled.width() > 0) {
        p.drawImage(filled, fill_);
    }
    p.fillRect(QRect(edge, 1, (w - 1) - edge, h - 2), kEmptyColour);
    p.setPen(kFrameColour);
    p.drawRect(0, 0, w - 1, h - 1);
    p.setPen(Qt::black);
    p.drawText(rect(), Qt::AlignCenter, CaptionText());
}
