#include "SuiFonts.h"

#include <QStringList>

namespace sui {
namespace {

QFont Make(const QStringList& families, QFont::StyleHint hint, int pixels, bool bold) {
    QFont f;
    f.setFamilies(families);
    f.setStyleHint(hint);
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

const QStringList kSansSerif{"MS Sans Serif", "Liberation Sans", "DejaVu Sans"};
const QStringList kTahoma{"Tahoma", "DejaVu Sans", "Liberation Sans"};
const QStringList kCourier{"Courier New", "Liberation Mono", "DejaVu Sans Mono"};
const QStringList kArial{"Arial", "Liberation Sans", "DejaVu Sans"};

}  // namespace

QFont WindowFont() { return Make(kSansSerif, QFont::SansSerif, 11, false); }
QFont TitleCaptionFont() { return Make(kTahoma, QFont::SansSerif, 11, true); }
QFont ButtonFont() { return Make(kCourier, QFont::TypeWriter, 19, true); }
QFont MemoFont() { return Make(kCourier, QFont::TypeWriter, 13, true); }
QFont EditFont() { return Make(kArial, QFont::SansSerif, 15, false); }
QFont ProgressFont() { return Make(kSansSerif, QFont::SansSerif, 11, false); }

QFont LinkFont() {
    QFont f = Make(kSansSerif, QFont::SansSerif, 32, true);
    f.setUnderline(true);
    return f;
}

}  // namespace sui
