#pragma once
// Cutting a title to fit: the longest prefix that, with "..." after it, fits
// `width` pixels in `metrics`. Three ASCII dots, not the ellipsis character,
// so the caption reads as the window system's own.

#include <QFontMetrics>
#include <QString>

namespace sui {

// Returns `text` unchanged when it fits, else a prefix followed by "...",
// or "" when not even "..." fits.
QString ElideCaption(const QString& text, const QFontMetrics& metrics, int width);

}  // namespace sui
