#pragma once
// The title bar's five 24-bit pieces (31 pixels high: the window's top edge
// in the first 3 rows, the 28-pixel bar below) and its 18 x 18 buttons.

#include <QImage>
#include <QList>
#include <QString>

namespace artwork {

constexpr int kTitlePieceHeight = 31;
constexpr int kTitleEdgeRows = 3;
inline constexpr int kTitlePieceWidths[5] = {31, 136, 17, 13, 14};

// Left end, caption plate, plate's closing end, middle, right end.
QList<QImage> TitlePieces();

constexpr int kTitleButtonSize = 18;

enum class TitleButtonKind { ControlBox, Close, Maximize, Minimize };
enum class TitleButtonState { Normal, Hover, Pressed };

QImage TitleButton(TitleButtonKind kind, TitleButtonState state);
QString TitleButtonName(TitleButtonKind kind, TitleButtonState state);  // e.g. "title_close_hover"

}  // namespace artwork
