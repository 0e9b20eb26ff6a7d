#include "TsuiImagePanel.h"

#include <QPainter>

TsuiImagePanel::TsuiImagePanel(QWidget* parent) : QWidget(parent) {}

void TsuiImagePanel::SetPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void TsuiImagePanel::paintEvent(QPaintEvent*) {
    if (picture_.isNull())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(rect(), picture_);
}
