#pragma once
// Drawing pieces shared by the pictures: the glossy round button under every
// glyph, the white symbol pen and its soft shadow, and a colour scheme.

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QPointF>

#include <initializer_list>

namespace artwork {

struct Hue {
    QColor light;  // lit lower body
    QColor base;   // body
    QColor dark;   // rim and shade
};

Hue RedHue();
Hue BlueHue();

// A glossy round button filling a `size` x `size` square with a soft shadow
// below it; the square's corners stay fully transparent.
void DrawGlossyDisc(QPainter& p, int size, const Hue& hue);

// Strokes `path` in white with round ends, over a faint dark shadow one pixel
// lower so the symbol stands off the body.
void StrokeSymbol(QPainter& p, const QPainterPath& path, qreal width);

// Fills `path` in white over the same faint shadow.
void FillSymbol(QPainter& p, const QPainterPath& path);

// The closed outline through `corners`, in order.
QPainterPath ClosedPath(std::initializer_list<QPointF> corners);

// The top gloss: a white ellipse fading downwards over the upper part of `r`.
void DrawGloss(QPainter& p, const QRectF& r, int topAlpha, int bottomAlpha);

}  // namespace artwork
