#include "TsuiButton.h"

#include <QPainter>

TsuiButton::TsuiButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
}

void TsuiButton::SetGlyph(const QImage& glyph) {
    glyph_ = glyph;
    update();
}

QSize TsuiButton::sizeHint() const { return {153, 57}; }

void TsuiButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(0xD6, 0xE4, 0xF6));
    p.setPen(Qt::black);
    const QString caption = text();
    const int textW = fontMetrics().horizontalAdvance(caption);
    const int gap = glyph_.isNull() ? 0 : 4;
    const int groupW = textW + gap + glyph_.width();
    const int x = (width() - groupW) / 2;
    p.drawText(QRect(x, 0, textW, height()), Qt::AlignVCenter | Qt::AlignLeft, caption);
    if (!glyph_.isNull())
        p.drawImage(x + textW + gap, (height() - glyph_.height()) / 2, glyph_);
}
