#pragma once
// Lays the skin's five title pieces across a bar: the left end and right end
// at their own widths, the caption piece stretched to `captionWidth`, the
// 17-pixel piece that closes the caption plate, and the middle piece
// stretched over what is left. The pieces are 31 rows high; their top 3 rows
// are the window's top border.

#include <QPainter>

namespace sui {

// Pieces' own widths, left to right.
inline constexpr int kTitlePieceWidths[5] = {31, 136, 17, 13, 14};
inline constexpr int kTitlePieceHeight = 31;
// Where the caption plate ends inside the closing piece.
inline constexpr int kPlateEndInClosingPiece = 11;

// Paints the bar with its left edge at `left` and top at `top`, `width`
// pixels wide, the caption piece `captionWidth` wide (at least its own
// width; less room left squeezes the middle piece first).
void PaintTitlePieces(QPainter& p, int left, int top, int width, int captionWidth);

}  // namespace sui
