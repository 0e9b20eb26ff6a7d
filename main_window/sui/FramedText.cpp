#include "FramedText.h"

namespace sui {

QString FramedTextStyle(const char* widgetClass, const QColor& background, const QColor& text) {
    return QStringLiteral("%1 { border: 1px solid %2; padding: 1px; background-color: %3; color: %4; }")
        .arg(QLatin1String(widgetClass), kTextFrameColour.name(), background.name(), text.name());
}

}  // namespace sui
