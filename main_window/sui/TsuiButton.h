#pragma once
// A push button with a caption and a glyph to its right, drawn as one
// centred group on a skinned face. GUI thread only.

#include <QAbstractButton>
#include <QImage>

class TsuiButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit TsuiButton(QWidget* parent = nullptr);

    // The glyph is shown as given; its top-left pixel is the transparent colour.
    void SetGlyph(const QImage& glyph);
    QImage Glyph() const { return glyph_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage glyph_;
};
