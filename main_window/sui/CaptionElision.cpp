#include "CaptionElision.h"

namespace sui {

QString ElideCaption(const QString& text, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    const QString dots = QStringLiteral("...");
    if (metrics.horizontalAdvance(dots) > width)
        return QString();
    // Binary search on the prefix length; advance grows with length.
    int lo = 0, hi = int(text.size());
    while (lo < hi) {
        const int mid = (lo + hi + 1) / 2;
        if (metrics.horizontalAdvance(text.left(mid) + dots) <= width)
            lo = mid;
        else
            hi = mid - 1;
    }
    QString prefix = text.left(lo);
    // Do not split a surrogate pair.
    if (!prefix.isEmpty() && prefix.back().isHighSurrogate())
        prefix.chop(1);
    return prefix + dots;
}

}  // namespace sui
