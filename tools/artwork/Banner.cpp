#include "Banner.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdint>

namespace artwork {
namespace {

// A fixed pseudo-random sequence: the texture is the same on every run.
std::uint32_t NextNoise(std::uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

void DrawBackground(QPainter& p) {
    QLinearGradient sky(0, 0, 0, kBannerHeight);
    sky.setColorAt(0.0, QColor(0x2B, 0x6C, 0xD8));
    sky.setColorAt(0.48, QColor(0x12, 0x43, 0xA4));
    sky.setColorAt(0.52, QColor(0x0C, 0x35, 0x8C));
    sky.setColorAt(1.0, QColor(0x06, 0x1C, 0x5A));
    p.fillRect(0, 0, kBannerWidth, kBannerHeight, sky);

    // Fine diagonal weave.
    p.setPen(QPen(QColor(255, 255, 255, 14), 1));
    for (int x = -kBannerHeight; x < kBannerWidth; x += 4)
        p.drawLine(x, kBannerHeight, x + kBannerHeight, 0);

    // Grain.
    std::uint32_t seed = 0x2A12u;
    for (int i = 0; i < 900; ++i) {
        const int x = int(NextNoise(seed) % kBannerWidth);
        const int y = int(NextNoise(seed) % kBannerHeight);
        const int a = 10 + int(NextNoise(seed) % 26);
        p.fillRect(x, y, 1, 1, (i & 1) ? QColor(255, 255, 255, a) : QColor(0, 0, 30, a + 10));
    }

    // Circuit traces at both ends, as on a receiver's board.
    p.setPen(QPen(QColor(0x9C, 0xC8, 0xFF, 60), 1));
    p.setBrush(QColor(0x9C, 0xC8, 0xFF, 80));
    const struct {
        int x0, y0, x1, y1, x2;
    } traces[] = {
        {4, 8, 30, 8, 38},       {4, 16, 22, 16, 30},     {4, 35, 26, 35, 34},     {4, 43, 16, 43, 24},
        {300, 10, 272, 10, 262}, {300, 24, 280, 24, 270}, {300, 38, 268, 38, 258}, {300, 45, 285, 45, 278},
    };
    for (const auto& t : traces) {
        p.drawLine(t.x0, t.y0, t.x1, t.y1);
        p.drawLine(t.x1, t.y1, t.x2, t.y1 + (t.y1 < kBannerHeight / 2 ? 5 : -5));
        p.drawEllipse(QPointF(t.x2, t.y1 + (t.y1 < kBannerHeight / 2 ? 5 : -5)), 1.5, 1.5);
    }

    // Soft light behind the lettering.
    QRadialGradient glow(QPointF(kBannerWidth / 2.0, kBannerHeight / 2.0), kBannerWidth * 0.42);
    glow.setColorAt(0.0, QColor(0x7F, 0xB6, 0xFF, 70));
    glow.setColorAt(1.0, QColor(0x7F, 0xB6, 0xFF, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawRect(0, 0, kBannerWidth, kBannerHeight);

    // Gloss over the upper half and a dark line along the bottom edge.
    QLinearGradient gloss(0, 0, 0, kBannerHeight / 2.0);
    gloss.setColorAt(0.0, QColor(255, 255, 255, 70));
    gloss.setColorAt(1.0, QColor(255, 255, 255, 8));
    p.fillRect(0, 0, kBannerWidth, kBannerHeight / 2, gloss);
    p.fillRect(0, kBannerHeight - 1, kBannerWidth, 1, QColor(0x03, 0x10, 0x3A));
}

void DrawLettering(QPainter& p) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(31);
    font.setBold(true);
    font.setItalic(true);
    font.setHintingPreference(QFont::PreferNoHinting);

    QPainterPath text;
    text.addText(0, 0, font, QStringLiteral("ZARN Multi-Loader"));
    const QRectF bounds = text.boundingRect();

    // The panel stretches x more than y; squeeze x by the inverse ratio.
    const qreal squeeze =
        (qreal(kBannerWidth) / kBannerPanelWidth) / (qreal(kBannerHeight) / kBannerPanelHeight);
    QTransform t;
    t.translate(kBannerWidth / 2.0, kBannerHeight / 2.0);
    t.scale(squeeze, 1.0);
    t.translate(-bounds.center().x(), -bounds.center().y());
    const QPainterPath placed = t.map(text);
    const QRectF box = placed.boundingRect();

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 120));
    p.drawPath(placed.translated(1.5, 1.8));

    QLinearGradient gold(0, box.top(), 0, box.bottom());
    gold.setColorAt(0.0, QColor(0xFF, 0xF6, 0xC2));
    gold.setColorAt(0.42, QColor(0xF6, 0xC8, 0x45));
    gold.setColorAt(0.5, QColor(0xC9, 0x8E, 0x12));
    gold.setColorAt(0.75, QColor(0xE8, 0xB0, 0x2A));
    gold.setColorAt(1.0, QColor(0xFF, 0xE2, 0x7A));
    p.setPen(QPen(QColor(0x4A, 0x2C, 0x00), 1.1));
    p.setBrush(gold);
    p.drawPath(placed);
}

}  // namespace

QImage Banner() {
    QImage img(kBannerWidth, kBannerHeight, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    DrawBackground(p);
    DrawLettering(p);
    p.end();
    return img;
}

}  // namespace artwork
