#pragma once
// The skin theme's pieces: the push buttons' faces in four states, drawn to
// be nine-sliced (kFaceMargin pixels of corner on each side), the window's
// border strips and corners, and the progress bar's 8-bit fill picture.

#include <QImage>
#include <QString>

namespace artwork {

constexpr int kFaceSize = 32;
constexpr int kFaceMargin = 6;
enum class FaceState { Normal, Hover, Pressed, Disabled };
QImage ButtonFace(FaceState state);
QString ButtonFaceName(FaceState state);  // e.g. "button_hover"

constexpr int kBorderWidth = 3;
constexpr int kBorderStripLength = 8;
enum class BorderPiece { Left, Right, Bottom, BottomLeft, BottomRight };
QImage Border(BorderPiece piece);
QString BorderName(BorderPiece piece);  // e.g. "border_left"

constexpr int kFillWidth = 13;
constexpr int kFillHeight = 10;
QImage ProgressFill();  // Format_Indexed8

}  // namespace artwork
