#include "Icon.h"

#include "Glossy.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace artwork {

QImage ApplicationIcon(int size) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(qreal(size) / kIconSize, qreal(size) / kIconSize);

    // Shadow on the floor.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 60));
    p.drawEllipse(QRectF(5, 27.5, 24, 4));

    // Grey case: top and right side, seen at an angle.
    const QPainterPath top = ClosedPath({{8, 4}, {20, 4}, {25, 1}, {13, 1}});
    QLinearGradient topGrad(8, 1, 25, 4);
    topGrad.setColorAt(0, QColor(0xE8, 0xE8, 0xEA));
    topGrad.setColorAt(1, QColor(0xB8, 0xB8, 0xBC));
    p.setBrush(topGrad);
    p.drawPath(top);

    const QPainterPath side = ClosedPath({{20, 4}, {25, 1}, {25, 26}, {20, 29}});
    QLinearGradient sideGrad(20, 0, 25, 0);
    sideGrad.setColorAt(0, QColor(0x8C, 0x8C, 0x92));
    sideGrad.setColorAt(1, QColor(0x5E, 0x5E, 0x64));
    p.setBrush(sideGrad);
    p.drawPath(side);

    // Grey frame around the front, dark red front panel.
    p.setBrush(QColor(0x9A, 0x9A, 0xA0));
    p.drawRect(QRectF(7, 4, 13, 25));
    QLinearGradient front(7, 0, 20, 0);
    front.setColorAt(0, QColor(0x9E, 0x14, 0x1C));
    front.setColorAt(0.5, QColor(0x7A, 0x0A, 0x12));
    front.setColorAt(1, QColor(0x5C, 0x06, 0x0C));
    p.setBrush(front);
    p.drawRect(QRectF(8, 5, 11, 23));
    p.setBrush(QColor(255, 255, 255, 45));
    p.drawRect(QRectF(8, 5, 11, 9));

    // Display, disc slot, buttons and a lit standby lamp.
    p.setBrush(QColor(0x12, 0x12, 0x14));
    p.drawRect(QRectF(9.5, 7, 8, 4));
    p.setBrush(QColor(0x5C, 0xF0, 0x6A));
    p.drawRect(QRectF(10.5, 8.2, 1.4, 1.6));
    p.drawRect(QRectF(12.5, 8.2, 1.4, 1.6));
    p.drawRect(QRectF(14.5, 8.2, 1.4, 1.6));
    p.setBrush(QColor(0x2A, 0x02, 0x06));
    p.drawRect(QRectF(9.5, 14, 8, 1.2));
    p.setBrush(QColor(0xD8, 0xD8, 0xDC));
    for (int i = 0; i < 3; ++i)
        p.drawEllipse(QRectF(10, 18.5 + i * 2.8, 1.8, 1.8));
    p.setBrush(QColor(0xFF, 0xD0, 0x30));
    p.drawEllipse(QRectF(14.8, 24.2, 2, 2));

    // Feet.
    p.setBrush(QColor(0x40, 0x40, 0x44));
    p.drawRect(QRectF(8, 29, 2.5, 1.5));
    p.drawRect(QRectF(17, 29, 2.5, 1.5));
    p.end();
    return img.convertToFormat(QImage::Format_ARGB32);
}

}  // namespace artwork
