#include "TsuiTitleButton.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

TsuiTitleButton::TsuiTitleButton(sui::TitleButtonKind kind, QWidget* parent)
    : QAbstractButton(parent), kind_(kind) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    resize(kSize, kSize);
}

sui::TitleButtonState TsuiTitleButton::State() const {
    if (isDown())
        return sui::TitleButtonState::Pressed;
    if (underMouse())
        return sui::TitleButtonState::Hover;
    return sui::TitleButtonState::Normal;
}

bool TsuiTitleButton::event(QEvent* e) {
    if (e->type() == QEvent::HoverEnter || e->type() == QEvent::HoverLeave)
        update();
    return QAbstractButton::event(e);
}

void TsuiTitleButton::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        emit doubleClicked();
        event->accept();
        return;
    }
    QAbstractButton::mouseDoubleClickEvent(event);
}

void TsuiTitleButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(rect(), sui::Skin().TitleButton(kind_, State()));
}
