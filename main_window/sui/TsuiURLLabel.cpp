#include "TsuiURLLabel.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

TsuiURLLabel::TsuiURLLabel(QWidget* parent) : QLabel(parent) {
    setCursor(Qt::PointingHandCursor);
}

void TsuiURLLabel::SetURL(const QString& url) { url_ = url; }

void TsuiURLLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        !url_.trimmed().isEmpty())
        QDesktopServices::openUrl(QUrl::fromUserInput(url_.trimmed()));
}
