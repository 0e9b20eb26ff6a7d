#include "Glossy.h"

#include <QLinearGradient>
#include <QPolygonF>
#include <QRadialGradient>

namespace artwork {

Hue RedHue() { return {QColor(0xFF, 0x6A, 0x55), QColor(0xD4, 0x1E, 0x1E), QColor(0x6E, 0x06, 0x0A)}; }

Hue BlueHue() { return {QColor(0x6F, 0xC4, 0xFF), QColor(0x1C, 0x63, 0xD2), QColor(0x07, 0x22, 0x66)}; }

void DrawGlossyDisc(QPainter& p, int size, const Hue& hue) {
    const qreal c = size / 2.0;
    const qreal rim = size / 2.0 - 2.5;

    // Shadow: a soft dark ellipse a little below the disc.
    QRadialGradient shadow(QPointF(c, c + 1.8), rim + 2.2);
    shadow.setColorAt(0.0, QColor(0, 0, 0, 110));
    shadow.setColorAt(0.85, QColor(0, 0, 0, 60));
    shadow.setColorAt(1.0, QColor(0, 0, 0, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shadow);
    p.drawEllipse(QPointF(c, c + 1.8), rim + 2.2, rim + 2.2);

    // Rim: dark at the bottom, a little lighter at the top.
    QLinearGradient rimGrad(0, c - rim, 0, c + rim);
    rimGrad.setColorAt(0.0, hue.base.darker(130));
    rimGrad.setColorAt(1.0, hue.dark);
    p.setBrush(rimGrad);
    p.drawEllipse(QPointF(c, c), rim, rim);

    // Body: lit from below, as light passing through coloured glass.
    const qreal body = rim - 1.6;
    QRadialGradient bodyGrad(QPointF(c, c + body * 0.55), body * 1.35, QPointF(c, c + body * 0.8));
    bodyGrad.setColorAt(0.0, hue.light);
    bodyGrad.setColorAt(0.55, hue.base);
    bodyGrad.setColorAt(1.0, hue.dark.lighter(120));
    p.setBrush(bodyGrad);
    p.drawEllipse(QPointF(c, c), body, body);

    DrawGloss(p, QRectF(c - body * 0.78, c - body * 0.96, body * 1.56, body * 1.0), 210, 20);
}

void DrawGloss(QPainter& p, const QRectF& r, int topAlpha, int bottomAlpha) {
    QLinearGradient gloss(r.topLeft(), r.bottomLeft());
    gloss.setColorAt(0.0, QColor(255, 255, 255, topAlpha));
    gloss.setColorAt(1.0, QColor(255, 255, 255, bottomAlpha));
    p.setPen(Qt::NoPen);
    p.setBrush(gloss);
    p.drawEllipse(r);
}

void StrokeSymbol(QPainter& p, const QPainterPath& path, qreal width) {
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0, 0, 0, 70), width + 0.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path.translated(0, 1.0));
    p.setPen(QPen(Qt::white, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
}

void FillSymbol(QPainter& p, const QPainterPath& path) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 70));
    p.drawPath(path.translated(0, 1.0));
    p.setBrush(Qt::white);
    p.drawPath(path);
}

QPainterPath ClosedPath(std::initializer_list<QPointF> corners) {
    QPainterPath path;
    path.addPolygon(QPolygonF(QList<QPointF>(corners)));
    path.closeSubpath();
    return path;
}

}  // namespace artwork
