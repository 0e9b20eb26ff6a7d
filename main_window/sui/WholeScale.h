// The window on a scaled desktop: enlarged by whole factors only, each pixel
// of its 100 % picture becoming a square of pixels, so the skin's bitmaps and
// its small fonts stay as crisp as they were drawn.
//
// Threads: the GUI thread.
#pragma once

#include <QObject>

class QApplication;
class QEvent;
class QWidget;

namespace sui {

// Makes Qt scale by the largest whole factor not above the desktop's setting:
// 1x up to 199 %, 2x from 200 %, 3x from 300 %. Call before the QApplication
// is created; QT_SCALE_FACTOR_ROUNDING_POLICY or QT_ENABLE_HIGHDPI_SCALING in
// the environment wins.
void UseWholeScaleFactors();

// Installed on the application, it paints every widget on a screen whose
// device pixel ratio is a whole number above 1 as the widget's 1x picture
// enlarged pixel by pixel. Just before Qt repaints a window (its update
// request or expose), the whole window is rendered at 1x; each widget's paint
// then draws its part of that picture enlarged without smoothing. (A render
// inside a paint is refused by Qt, hence the picture taken before.) At a
// ratio of 1, or one that is not whole, it stays out of the way.
class PixelMultiplier : public QObject {
    Q_OBJECT

public:
    explicit PixelMultiplier(QObject* parent = nullptr) : QObject(parent) {}

    // Installs a multiplier owned by `application`.
    static void InstallOn(QApplication& application);

    // The whole factor by which `widget`'s pixels are enlarged; 0 when they
    // are painted as Qt paints them.
    static int FactorFor(const QWidget& widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Renders `window`'s 1x picture, kept until its next repaint.
    void TakePicture(QWidget& window);
    // Paints `widget`'s part of its window's picture; false when there is
    // none to paint from yet.
    bool PaintFromPicture(QWidget& widget, const QRect& exposed);

    // Set while a window renders its 1x picture: its widgets then paint as
    // usual, into that picture.
    bool renderingPicture_ = false;
};

}  // namespace sui
