#include "WholeScale.h"

#include "SuiFontFamilies.h"

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QWidget>
#include <QWindow>

#include <cmath>

namespace sui {

namespace {

// Where a window keeps its latest 1x picture (a property, so it goes with the
// window).
constexpr char kPictureProperty[] = "zarnOneXPicture";

// The top-level widget that a QWindow shows, if any.
QWidget* WidgetShownBy(const QObject* window) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowHandle() == window)
            return w;
    return nullptr;
}

}  // namespace

void UseWholeScaleFactors() {
    if (qEnvironmentVariableIsSet("QT_SCALE_FACTOR_ROUNDING_POLICY"))
        return;
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::Floor);
}

void PixelMultiplier::InstallOn(QApplication& application) {
    QFont font = QApplication::font();
    font.setHintingPreference(OneXHinting());
    QApplication::setFont(font);
    application.installEventFilter(new PixelMultiplier(&application));
}

int PixelMultiplier::FactorFor(const QWidget& widget) {
    const qreal ratio = widget.devicePixelRatioF();
    const qreal whole = std::round(ratio);
    return ratio > 1 && std::abs(ratio - whole) < 1e-6 ? int(whole) : 0;
}

void PixelMultiplier::TakePicture(QWidget& window) {
    // Opaque, as the window's own backing store is: text is then smoothed
    // the same way as at 100 %.
    QImage picture(window.size(), QImage::Format_RGB32);
    picture.fill(window.palette().window().color());
    renderingPicture_ = true;
    window.render(&picture, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
    renderingPicture_ = false;
    window.setProperty(kPictureProperty, picture);
}

bool PixelMultiplier::PaintFromPicture(QWidget& widget, const QRect& exposed) {
    QWidget* window = widget.window();
    const QImage picture = window->property(kPictureProperty).value<QImage>();
    if (picture.size() != window->size())
        return false;
    const QPoint origin = widget.mapTo(window, QPoint(0, 0));
    QPainter painter(&widget);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(exposed, picture, exposed.translated(origin));
    return true;
}

bool PixelMultiplier::eventFilter(QObject* watched, QEvent* event) {
    if (renderingPicture_)
        return false;

    switch (event->type()) {
        // Qt sends a window's update request to its top-level widget or to
        // the QWindow, depending on the platform; an expose to the QWindow.
        case QEvent::UpdateRequest:
        case QEvent::Expose: {
            QWidget* window = nullptr;
            if (watched->isWidgetType())
                window = static_cast<QWidget*>(watched);
            else if (watched->isWindowType())
                window = WidgetShownBy(watched);
            if (window && window->isWindow() && FactorFor(*window) != 0)
                TakePicture(*window);
            return false;
        }
        case QEvent::Paint:
            if (watched->isWidgetType()) {
                auto* widget = static_cast<QWidget*>(watched);
                if (FactorFor(*widget) != 0)
                    return PaintFromPicture(*widget, static_cast<QPaintEvent*>(event)->rect());
            }
            return false;
        default: return false;
    }
}

}  // namespace sui
