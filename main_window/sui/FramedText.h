#pragma once
// The skin's frame for text controls: a 1-pixel #09206A outer frame and,
// inside it, a 1-pixel ring of the control's own background colour.

#include <QColor>
#include <QString>

namespace sui {

inline const QColor kTextFrameColour(0x09, 0x20, 0x6A);

// A style sheet for `widgetClass` with that frame, the background and text
// colours, and no sunken edge.
QString FramedTextStyle(const char* widgetClass, const QColor& background, const QColor& text);

}  // namespace sui
