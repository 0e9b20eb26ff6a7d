#include "TsuiURLLabel.h"

#include "SuiFonts.h"

#include <QDesktopServices>
#include <QMouseEvent>

namespace {

TsuiURLLabel::UrlOpener& Opener() {
    static TsuiURLLabel::UrlOpener opener = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    return opener;
}

}  // namespace

void TsuiURLLabel::SetUrlOpener(UrlOpener opener) { Opener() = std::move(opener); }

TsuiURLLabel::TsuiURLLabel(QWidget* parent) : QLabel(parent) {
    setCursor(Qt::PointingHandCursor);
    setFont(sui::LinkFont());
    SetTextColour(kLinkColour);
}

void TsuiURLLabel::SetURL(const QString& url) { url_ = url; }

QColor TsuiURLLabel::TextColour() const { return palette().color(QPalette::WindowText); }

void TsuiURLLabel::SetTextColour(const QColor& colour) {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, colour);
    setPalette(pal);
}

void TsuiURLLabel::enterEvent(QEnterEvent* event) {
    SetTextColour(kHoverColour);
    QLabel::enterEvent(event);
}

void TsuiURLLabel::leaveEvent(QEvent* event) {
    SetTextColour(kLinkColour);
    QLabel::leaveEvent(event);
}

bool TsuiURLLabel::event(QEvent* e) {
    // No tooltip, whatever the owner sets.
    if (e->type() == QEvent::ToolTip) {
        e->accept();
        return true;
    }
    return QLabel::event(e);
}

void TsuiURLLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    const QString link = url_.trimmed();
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && !link.isEmpty())
        Opener()(QUrl::fromUserInput(link));
}
