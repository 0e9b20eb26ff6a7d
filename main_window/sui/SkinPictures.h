#pragma once
// The built-in skin's pictures, read once from the executable's resources
// (compiled from main_window/pictures) and shared by every skinned control.
// GUI thread only; the first call loads them, later calls return the same
// object, which lives until the process ends.

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRect>

namespace sui {

enum class FaceState { Normal, Hover, Pressed, Disabled };
enum class TitleButtonKind { ControlBox, Close, Maximize, Minimize };
enum class TitleButtonState { Normal, Hover, Pressed };
enum class BorderPiece { Left, Right, Bottom, BottomLeft, BottomRight };

struct SkinPictures {
    static constexpr int kTitlePieceCount = 5;
    static constexpr int kFaceMargin = 6;     // corner size of the nine-sliced faces
    static constexpr int kBorderWidth = 3;    // window border outside the client area
    static constexpr int kTitleEdgeRows = 3;  // title pieces' rows that form the top border

    QImage titlePieces[kTitlePieceCount];  // left, caption, caption end, middle, right
    QImage titleButtons[4][3];             // [kind][state]
    QImage faces[4];                       // [FaceState]
    QImage borders[5];                     // [BorderPiece]
    QImage progressFill;
    QImage banner;
    QImage icon;

    const QImage& TitleButton(TitleButtonKind k, TitleButtonState s) const {
        return titleButtons[int(k)][int(s)];
    }
    const QImage& Face(FaceState s) const { return faces[int(s)]; }
    const QImage& Border(BorderPiece p) const { return borders[int(p)]; }
};

const SkinPictures& Skin();

// Makes the ":/sui/..." resources (skin, glyphs, icon) readable. Idempotent;
// any thread.
void RegisterSkinResources();

// Draws `face` over `target`, corners at their own size, edges and middle
// stretched (nine-slice with `margin`-pixel corners).
void DrawNineSlice(QPainter& p, const QRect& target, const QImage& face, int margin);

}  // namespace sui
