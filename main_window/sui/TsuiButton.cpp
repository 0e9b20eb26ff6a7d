#include "TsuiButton.h"

#include "SuiFonts.h"

#include <QEvent>
#include <QKeyEvent>
#include <QPainter>

namespace {

const QColor kEmbossLight(0xFF, 0xFF, 0xFF);
const QColor kEmbossShade(0x80, 0x80, 0x80);

// Pixels of exactly the top-left pixel's colour become see-through.
QImage KeyOutCorner(const QImage& glyph) {
    QImage img = glyph.convertToFormat(QImage::Format_ARGB32);
    if (img.isNull())
        return img;
    const QRgb key = img.pixel(0, 0);
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if (line[x] == key)
                line[x] = qRgba(0, 0, 0, 0);
    }
    return img;
}

// A washed-out grey copy, alpha kept.
QImage Greyed(const QImage& img) {
    QImage out = img.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const int g = qGray(line[x]);
            const int v = 128 + g / 2;
            line[x] = qRgba(v, v, v, qAlpha(line[x]) * 3 / 4);
        }
    }
    return out;
}

}  // namespace

TsuiButton::TsuiButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover);
    setFont(sui::ButtonFont());
}

void TsuiButton::SetGlyph(const QImage& glyph) {
    glyph_ = glyph;
    shownGlyph_ = KeyOutCorner(glyph);
    greyedGlyph_ = shownGlyph_.isNull() ? QImage() : Greyed(shownGlyph_);
    update();
}

QSize TsuiButton::sizeHint() const {
    const int w =
        fontMetrics().horizontalAdvance(text()) + (glyph_.isNull() ? 0 : kGlyphGap + glyph_.width());
    return {w + 16, qMax(fontMetrics().height(), glyph_.height()) + 8};
}

sui::FaceState TsuiButton::FaceState() const {
    if (!isEnabled())
        return sui::FaceState::Disabled;
    if (isDown())
        return sui::FaceState::Pressed;
    if (underMouse())
        return sui::FaceState::Hover;
    return sui::FaceState::Normal;
}

int TsuiButton::GroupLeft() const {
    const int textW = fontMetrics().horizontalAdvance(text());
    const int group = textW + (glyph_.isNull() ? 0 : kGlyphGap + glyph_.width());
    return (width() - group) / 2;
}

QRect TsuiButton::CaptionRect() const {
    const int textW = fontMetrics().horizontalAdvance(text());
    const int h = fontMetrics().height();
    const int d = PressOffset();
    return QRect(GroupLeft() + d, (height() - h) / 2 + d, textW, h);
}

QRect TsuiButton::GlyphRect() const {
    if (glyph_.isNull())
        return QRect();
    const int textW = fontMetrics().horizontalAdvance(text());
    const int d = PressOffset();
    return QRect(GroupLeft() + textW + kGlyphGap + d, (height() - glyph_.height()) / 2 + d, glyph_.width(),
                 glyph_.height());
}

bool TsuiButton::event(QEvent* e) {
    if (e->type() == QEvent::HoverEnter || e->type() == QEvent::HoverLeave)
        update();
    return QAbstractButton::event(e);
}

void TsuiButton::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat()) {
        setDown(true);
        event->accept();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void TsuiButton::keyReleaseEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat()) {
        event->accept();
        if (isDown()) {
            setDown(false);
            click();
        }
        return;
    }
    QAbstractButton::keyReleaseEvent(event);
}

void TsuiButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    sui::DrawNineSlice(p, rect(), sui::Skin().Face(FaceState()), sui::SkinPictures::kFaceMargin);

    const QRect caption = CaptionRect();
    p.setFont(font());
    const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
    if (isEnabled()) {
        p.setPen(Qt::black);
        p.drawText(caption, flags, text());
    } else {
        p.setPen(kEmbossLight);
        p.drawText(caption.translated(1, 1), flags, text());
        p.setPen(kEmbossShade);
        p.drawText(caption, flags, text());
    }
    if (!shownGlyph_.isNull())
        p.drawImage(GlyphRect().topLeft(), isEnabled() ? shownGlyph_ : greyedGlyph_);

    if (hasFocus()) {
        QPen dots(Qt::black, 1, Qt::CustomDashLine);
        dots.setDashPattern({1, 1});
        p.setPen(dots);
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(kFocusInset, kFocusInset, -kFocusInset - 1, -kFocusInset - 1));
    }
}
