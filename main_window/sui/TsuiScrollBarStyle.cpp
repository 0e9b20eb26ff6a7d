#include "TsuiScrollBarStyle.h"

#include <QPainter>
#include <QPolygon>
#include <QStyleOptionSlider>

namespace {

// A face with a one-pixel edge.
void DrawFace(QPainter& p, const QRect& r, bool pressed) {
    p.fillRect(r, TsuiScrollBarStyle::kEdge);
    p.fillRect(r.adjusted(1, 1, -1, -1),
               pressed ? TsuiScrollBarStyle::kPressedFace : TsuiScrollBarStyle::kFace);
}

// A solid triangle in the middle of `r` pointing the way of `arrow`, drawn
// in lines so that no pixel is smoothed.
void DrawArrow(QPainter& p, const QRect& r, Qt::ArrowType arrow, const QColor& colour) {
    const int half = qMax(1, (qMin(r.width(), r.height()) - 6) / 3);
    const QPoint c = r.center();
    const bool backwards = arrow == Qt::UpArrow || arrow == Qt::LeftArrow;
    const int tip = (backwards ? -1 : 1) * (half / 2);
    const int step = backwards ? 1 : -1;
    p.setPen(colour);
    for (int row = 0; row <= half; ++row) {
        const int along = tip + step * row;
        if (arrow == Qt::UpArrow || arrow == Qt::DownArrow)
            p.drawLine(c.x() - row, c.y() + along, c.x() + row, c.y() + along);
        else
            p.drawLine(c.x() + along, c.y() - row, c.x() + along, c.y() + row);
    }
}

}  // namespace

void TsuiScrollBarStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                            QPainter* painter, const QWidget* widget) const {
    const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
    if (control != CC_ScrollBar || !bar) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->fillRect(bar->rect, kTrack);

    const bool enabled = bar->state & State_Enabled;
    const bool sunken = bar->state & State_Sunken;
    const QColor arrow = enabled ? kArrow : kDisabledArrow;
    const bool vertical = bar->orientation == Qt::Vertical;
    const struct {
        SubControl part;
        Qt::ArrowType arrow;
    } buttons[] = {{SC_ScrollBarSubLine, vertical ? Qt::UpArrow : Qt::LeftArrow},
                   {SC_ScrollBarAddLine, vertical ? Qt::DownArrow : Qt::RightArrow}};
    for (const auto& button : buttons) {
        const QRect r = subControlRect(CC_ScrollBar, bar, button.part, widget);
        if (r.isEmpty())
            continue;
        DrawFace(*painter, r, sunken && (bar->activeSubControls & button.part));
        DrawArrow(*painter, r, button.arrow, arrow);
    }
    const QRect thumb = subControlRect(CC_ScrollBar, bar, SC_ScrollBarSlider, widget);
    if (enabled && bar->maximum > bar->minimum && !thumb.isEmpty())
        DrawFace(*painter, thumb, sunken && (bar->activeSubControls & SC_ScrollBarSlider));
    painter->restore();
}
