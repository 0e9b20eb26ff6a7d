#include "TsuiForm.h"

#include <QPainter>

TsuiForm::TsuiForm(QWidget* parent) : QWidget(parent) {
    setGeometry(0, 0, kClientWidth, kClientHeight);
}

void TsuiForm::SetCaption(const QString& caption) {
    caption_ = caption;
    window()->setWindowTitle(caption);
    update();
}

void TsuiForm::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(0xE8, 0xE8, 0xE8));
    p.fillRect(0, 0, width(), kTitleBarHeight, QColor(0x1F, 0x4E, 0xA8));
    p.setPen(Qt::white);
    p.drawText(QRect(24, 0, width() - 80, kTitleBarHeight), Qt::AlignVCenter | Qt::AlignLeft, caption_);
}
