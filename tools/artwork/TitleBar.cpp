#include "TitleBar.h"

#include "Glossy.h"
#include "Palette.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace artwork {
namespace {

using namespace palette;

constexpr int kCornerRadius = 7;
constexpr int kPlateLeft = 25;  // where the caption plate begins in the bar
constexpr int kPlateTop = kTitleEdgeRows + 5;
constexpr int kPlateBottom = kTitleEdgeRows + 23;
constexpr int kPlateRadius = 5;

int TotalWidth() {
    int w = 0;
    for (int piece : kTitlePieceWidths)
        w += piece;
    return w;
}

QLinearGradient BarGradient() {
    QLinearGradient g(0, kTitleEdgeRows, 0, kTitlePieceHeight);
    g.setColorAt(0.0, kBarTop);
    g.setColorAt(0.46, kBarUpper);
    g.setColorAt(0.54, kBarLower);
    g.setColorAt(1.0, kBarBottom);
    return g;
}

// The whole bar at the pieces' summed width; the pieces are cut from it.
QImage MasterBar() {
    const int w = TotalWidth();
    QImage img(w, kTitlePieceHeight, QImage::Format_RGB32);
    img.fill(kFrameOuter);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    // Three rings of the border (outer, middle, inner, as the side strips)
    // with rounded outer top corners, then the bar inside them.
    const QColor rings[] = {kFrameMiddle, kFrameInner};
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 2; ++i) {
        const qreal inset = i + 1;
        QPainterPath ring;
        ring.addRoundedRect(QRectF(inset, inset, w - 2 * inset, kTitlePieceHeight + kCornerRadius * 2),
                            kCornerRadius - inset, kCornerRadius - inset);
        p.setBrush(rings[i]);
        p.drawPath(ring);
    }
    QPainterPath bar;
    bar.addRoundedRect(
        QRectF(kTitleEdgeRows, kTitleEdgeRows, w - 2 * kTitleEdgeRows, kTitlePieceHeight + kCornerRadius * 2),
        kCornerRadius - kTitleEdgeRows, kCornerRadius - kTitleEdgeRows);
    p.setBrush(BarGradient());
    p.drawPath(bar);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(kTitleEdgeRows, kTitlePieceHeight - 1, w - 2 * kTitleEdgeRows, 1, kBarEdge);
    p.setRenderHint(QPainter::Antialiasing);

    // Caption plate: from the left piece through the closing piece; its
    // middle is uniform across so the caption piece stretches cleanly.
    const int plateRight = kTitlePieceWidths[0] + kTitlePieceWidths[1] + 11;
    const QRectF plate(kPlateLeft, kPlateTop, plateRight - kPlateLeft, kPlateBottom - kPlateTop);
    QPainterPath platePath;
    platePath.addRoundedRect(plate, kPlateRadius, kPlateRadius);
    p.setBrush(QColor(0x0B, 0x2E, 0x78, 150));
    p.drawPath(platePath.translated(0, 1));
    QLinearGradient plateGrad(0, plate.top(), 0, plate.bottom());
    plateGrad.setColorAt(0.0, kPlateTop);
    plateGrad.setColorAt(0.48, kPlateUpper);
    plateGrad.setColorAt(0.52, kPlateLower);
    plateGrad.setColorAt(1.0, kPlateBottom);
    p.setPen(QPen(QColor(0x1A, 0x1A, 0x1E), 1));
    p.setBrush(plateGrad);
    p.drawPath(platePath);
    p.setPen(QPen(QColor(255, 255, 255, 60), 1));
    p.drawLine(QPointF(kPlateLeft + kPlateRadius, kPlateTop + 1.5),
               QPointF(plateRight - kPlateRadius, kPlateTop + 1.5));
    p.end();
    return img;
}

QColor Shade(const QColor& c, TitleButtonState s) {
    switch (s) {
        case TitleButtonState::Hover: return c.lighter(125);
        case TitleButtonState::Pressed: return c.darker(135);
        case TitleButtonState::Normal: break;
    }
    return c;
}

}  // namespace

QList<QImage> TitlePieces() {
    const QImage master = MasterBar();
    QList<QImage> pieces;
    int x = 0;
    for (int w : kTitlePieceWidths) {
        pieces.append(master.copy(x, 0, w, kTitlePieceHeight));
        x += w;
    }
    // The middle and right pieces come from the bar's right end so the right
    // piece carries the rounded corner and the middle is plain bar.
    const int total = TotalWidth();
    pieces[4] = master.copy(total - kTitlePieceWidths[4], 0, kTitlePieceWidths[4], kTitlePieceHeight);
    pieces[3] = master.copy(total - kTitlePieceWidths[4] - kTitlePieceWidths[3], 0, kTitlePieceWidths[3],
                            kTitlePieceHeight);
    return pieces;
}

QString TitleButtonName(TitleButtonKind kind, TitleButtonState state) {
    static const char* const kinds[] = {"controlbox", "close", "maximize", "minimize"};
    static const char* const states[] = {"normal", "hover", "pressed"};
    return QStringLiteral("title_%1_%2").arg(kinds[int(kind)], states[int(state)]);
}

QImage TitleButton(TitleButtonKind kind, TitleButtonState state) {
    const int s = kTitleButtonSize;
    QImage img(s, s, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    const bool isClose = kind == TitleButtonKind::Close;
    const QColor base = Shade(isClose ? QColor(0xD8, 0x4A, 0x2E) : QColor(0x2A, 0x6C, 0xE0), state);
    const QRectF face(0.5, 0.5, s - 1.0, s - 1.0);
    QLinearGradient g(0, 0, 0, s);
    g.setColorAt(0.0, base.lighter(150));
    g.setColorAt(0.5, base);
    g.setColorAt(1.0, base.lighter(115));
    p.setPen(QPen(Shade(QColor(0xFF, 0xFF, 0xFF),
                        state == TitleButtonState::Pressed ? TitleButtonState::Normal : state),
                  1));
    if (state == TitleButtonState::Pressed)
        p.setPen(QPen(QColor(0xC8, 0xD8, 0xF0), 1));
    p.setBrush(g);
    if (kind == TitleButtonKind::ControlBox)
        p.drawEllipse(face);
    else
        p.drawRoundedRect(face, 3.5, 3.5);
    DrawGloss(p, QRectF(2.5, 1.5, s - 5.0, s * 0.45), state == TitleButtonState::Pressed ? 70 : 150, 20);

    const qreal c = s / 2.0 + (state == TitleButtonState::Pressed ? 0.5 : 0.0);
    QPainterPath sym;
    qreal pen = 2.0;
    switch (kind) {
        case TitleButtonKind::Close:
            sym.moveTo(c - 3.5, c - 3.5);
            sym.lineTo(c + 3.5, c + 3.5);
            sym.moveTo(c + 3.5, c - 3.5);
            sym.lineTo(c - 3.5, c + 3.5);
            break;
        case TitleButtonKind::Maximize:
            sym.addRect(QRectF(c - 4.0, c - 3.5, 8.0, 7.5));
            sym.moveTo(c - 4.0, c - 2.5);
            sym.lineTo(c + 4.0, c - 2.5);
            pen = 1.6;
            break;
        case TitleButtonKind::Minimize:
            sym.moveTo(c - 4.0, c + 3.5);
            sym.lineTo(c + 4.0, c + 3.5);
            pen = 2.4;
            break;
        case TitleButtonKind::ControlBox:
            sym.moveTo(c - 4.0, c - 1.5);
            sym.lineTo(c, c + 2.5);
            sym.lineTo(c + 4.0, c - 1.5);
            pen = 2.2;
            break;
    }
    StrokeSymbol(p, sym, pen);
    p.end();
    return img.convertToFormat(QImage::Format_ARGB32);
}

}  // namespace artwork
