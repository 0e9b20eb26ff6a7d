#include "Skin.h"

#include "Glossy.h"
#include "Palette.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace artwork {
namespace {

struct FaceColours {
    QColor top, upper, lower, bottom, edge, shine;
};

FaceColours ColoursOf(FaceState s) {
    switch (s) {
        case FaceState::Hover:
            return {QColor(0xFF, 0xFF, 0xFF), QColor(0xE6, 0xF1, 0xFF), QColor(0xC4, 0xDE, 0xFF),
                    QColor(0xDD, 0xEC, 0xFF), QColor(0x2F, 0x6F, 0xD6), QColor(255, 255, 255, 200)};
        case FaceState::Pressed:
            return {QColor(0x9E, 0xBD, 0xEA), QColor(0xAE, 0xC9, 0xEF), QColor(0x93, 0xB6, 0xE6),
                    QColor(0xBC, 0xD3, 0xF3), QColor(0x1A, 0x3F, 0x86), QColor(255, 255, 255, 60)};
        case FaceState::Disabled:
            return {QColor(0xF6, 0xF6, 0xF6), QColor(0xEC, 0xEC, 0xEC), QColor(0xDF, 0xDF, 0xDF),
                    QColor(0xE8, 0xE8, 0xE8), QColor(0xA8, 0xA8, 0xA8), QColor(255, 255, 255, 120)};
        case FaceState::Normal: break;
    }
    return {QColor(0xF7, 0xFA, 0xFF), QColor(0xDD, 0xE9, 0xFA), QColor(0xBB, 0xD2, 0xF2),
            QColor(0xD2, 0xE3, 0xF8), QColor(0x4A, 0x72, 0xB8), QColor(255, 255, 255, 170)};
}

}  // namespace

QString ButtonFaceName(FaceState state) {
    static const char* const names[] = {"normal", "hover", "pressed", "disabled"};
    return QStringLiteral("button_%1").arg(names[int(state)]);
}

QImage ButtonFace(FaceState state) {
    const FaceColours c = ColoursOf(state);
    QImage img(kFaceSize, kFaceSize, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(0.5, 0.5, kFaceSize - 1.0, kFaceSize - 1.0);
    QLinearGradient g(0, 0, 0, kFaceSize);
    g.setColorAt(0.0, c.top);
    g.setColorAt(0.48, c.upper);
    g.setColorAt(0.52, c.lower);
    g.setColorAt(1.0, c.bottom);
    p.setPen(QPen(c.edge, 1));
    p.setBrush(g);
    p.drawRoundedRect(r, 4.5, 4.5);
    p.setPen(QPen(c.shine, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r.adjusted(1, 1, -1, -1), 3.5, 3.5);
    p.end();
    return img.convertToFormat(QImage::Format_ARGB32);
}

QString BorderName(BorderPiece piece) {
    static const char* const names[] = {"left", "right", "bottom", "bottomleft", "bottomright"};
    return QStringLiteral("border_%1").arg(names[int(piece)]);
}

QImage Border(BorderPiece piece) {
    using namespace palette;
    // Outside in: the same three colours as the title bar's top edge.
    const QColor rings[kBorderWidth] = {kFrameOuter, kFrameMiddle, kFrameInner};
    const bool strip = piece == BorderPiece::Left || piece == BorderPiece::Right;
    const int w = piece == BorderPiece::Bottom ? kBorderStripLength : kBorderWidth;
    const int h = strip ? kBorderStripLength : kBorderWidth;
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            int fromLeft = x, fromRight = w - 1 - x, fromBottom = h - 1 - y;
            int ring = kBorderWidth;
            switch (piece) {
                case BorderPiece::Left: ring = fromLeft; break;
                case BorderPiece::Right: ring = fromRight; break;
                case BorderPiece::Bottom: ring = fromBottom; break;
                case BorderPiece::BottomLeft: ring = qMin(fromLeft, fromBottom); break;
                case BorderPiece::BottomRight: ring = qMin(fromRight, fromBottom); break;
            }
            img.setPixelColor(x, y, rings[qMin(ring, kBorderWidth - 1)]);
        }
    }
    return img;
}

QImage ProgressFill() {
    // Light at the top deepening to mid blue, every other row a shade lighter.
    QImage img(kFillWidth, kFillHeight, QImage::Format_Indexed8);
    QList<QRgb> table;
    const QColor light(0xE2, 0xF0, 0xFF);
    const QColor mid(0x3E, 0x86, 0xE0);
    for (int y = 0; y < kFillHeight; ++y) {
        const qreal t = qreal(y) / (kFillHeight - 1);
        QColor c = QColor::fromRgbF(light.redF() + (mid.redF() - light.redF()) * t,
                                    light.greenF() + (mid.greenF() - light.greenF()) * t,
                                    light.blueF() + (mid.blueF() - light.blueF()) * t);
        if (y % 2)
            c = c.lighter(108);
        table.append(c.rgb());
    }
    img.setColorTable(table);
    for (int y = 0; y < kFillHeight; ++y)
        for (int x = 0; x < kFillWidth; ++x)
            img.setPixel(x, y, uint(y));
    return img;
}

}  // namespace artwork
