#include "Glyphs.h"

#include "Glossy.h"

#include <QPainter>
#include <QPainterPath>

namespace artwork {
namespace {

constexpr qreal kCentre = kGlyphSize / 2.0;
constexpr qreal kStroke = 3.4;

QImage Canvas() {
    QImage img(kGlyphSize, kGlyphSize, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

QImage Finish(QImage img) {
    // Keep the see-through key pixel exactly transparent.
    img.setPixel(0, 0, qRgba(0, 0, 0, 0));
    return img.convertToFormat(QImage::Format_ARGB32);
}

}  // namespace

QImage ConnectGlyph() {
    QImage img = Canvas();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    DrawGlossyDisc(p, kGlyphSize, RedHue());
    QPainterPath ring;
    ring.addEllipse(QPointF(kCentre, kCentre), 10.5, 10.5);
    QPainterPath bar;
    bar.moveTo(kCentre, kCentre - 5.5);
    bar.lineTo(kCentre, kCentre + 5.5);
    StrokeSymbol(p, ring, kStroke * 0.85);
    StrokeSymbol(p, bar, kStroke);
    p.end();
    return Finish(img);
}

QImage ConnectedGlyph() {
    QImage img = Canvas();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    DrawGlossyDisc(p, kGlyphSize, BlueHue());
    const qreal r = 10.0;
    const QRectF box(kCentre - r, kCentre + 1.0 - r, 2 * r, 2 * r);
    QPainterPath ring;
    ring.arcMoveTo(box, 60);
    ring.arcTo(box, 60, -300);  // leaves a 60-degree opening at the top
    QPainterPath bar;
    bar.moveTo(kCentre, kCentre - 12.0);
    bar.lineTo(kCentre, kCentre);
    StrokeSymbol(p, ring, kStroke);
    StrokeSymbol(p, bar, kStroke);
    p.end();
    return Finish(img);
}

QImage LoadGlyph() {
    QImage img = Canvas();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    DrawGlossyDisc(p, kGlyphSize, BlueHue());
    // Back of the folder with its tab.
    const QPainterPath back = ClosedPath(
        {{13.0, 15.5}, {20.0, 15.5}, {22.5, 18.0}, {33.0, 18.0}, {33.0, 21.5}, {17.0, 21.5}, {13.0, 32.0}});
    // Front flap, tilted open towards the viewer.
    const QPainterPath front = ClosedPath({{17.8, 23.2}, {37.5, 23.2}, {32.2, 33.5}, {12.5, 33.5}});
    FillSymbol(p, back);
    // A thin line of the body's colour separates the flap from the back.
    p.setPen(QPen(BlueHue().base, 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(front);
    FillSymbol(p, front);
    p.end();
    return Finish(img);
}

QImage SendGlyph() {
    QImage img = Canvas();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    DrawGlossyDisc(p, kGlyphSize, BlueHue());
    // Shaft: from lower left, bending upward and over to the right.
    QPainterPath shaft;
    shaft.moveTo(14.0, 33.0);
    shaft.cubicTo(14.0, 22.0, 20.0, 19.0, 28.5, 19.0);
    StrokeSymbol(p, shaft, kStroke + 0.4);
    const QPainterPath head = ClosedPath({{35.5, 19.0}, {27.0, 11.8}, {27.0, 26.2}});
    FillSymbol(p, head);
    p.end();
    return Finish(img);
}

}  // namespace artwork
