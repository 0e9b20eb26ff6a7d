#pragma once
// A push button on a skinned face (normal, pointer over, pressed, disabled)
// with its caption and, 4 pixels to its right, a glyph, centred across the
// button as one group and each centred vertically.
//
// - The glyph's top-left pixel is its transparent colour.
// - While the left button is held on it, caption and glyph move 1 pixel
//   right and down; moving the pointer off restores them.
// - Disabled: greyed glyph and an embossed caption (white at +1,+1 under
//   #808080).
// - Focused: a dotted rectangle 2 pixels inside the edge.
// - Space or Enter released while focused clicks it.
//
// GUI thread only.

#include "SkinPictures.h"

#include <QAbstractButton>
#include <QImage>

class TsuiButton : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr int kGlyphGap = 4;
    static constexpr int kFocusInset = 2;

    explicit TsuiButton(QWidget* parent = nullptr);

    // Shows `glyph` right of the caption; a null image shows the caption alone.
    void SetGlyph(const QImage& glyph);
    // The glyph as it was given.
    QImage Glyph() const { return glyph_; }

    // Where the caption and glyph are drawn now (pressed offset included).
    QRect CaptionRect() const;
    QRect GlyphRect() const;
    // The face the button shows now.
    sui::FaceState FaceState() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    int PressOffset() const { return isDown() ? 1 : 0; }
    int GroupLeft() const;

    QImage glyph_;        // as given
    QImage shownGlyph_;   // key colour made transparent
    QImage greyedGlyph_;  // for the disabled state
};
