#include "SuiFonts.h"

#include "SuiFontFamilies.h"

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

}  // namespace

QFont WindowFont() { return Make(SystemFontFamilies().sansSerif, QFont::SansSerif, 11, false); }
QFont TitleCaptionFont() { return Make(SystemFontFamilies().tahoma, QFont::SansSerif, 11, true); }
QFont ButtonFont() { return Make(SystemFontFamilies().courier, QFont::TypeWriter, 19, true); }
QFont MemoFont() { return Make(SystemFontFamilies().courier, QFont::TypeWriter, 13, true); }
QFont EditFont() { return Make(SystemFontFamilies().arial, QFont::SansSerif, 15, false); }
QFont ProgressFont() { return Make(SystemFontFamilies().sansSerif, QFont::SansSerif, 11, false); }

QFont LinkFont() {
    QFont f = Make(SystemFontFamilies().sansSerif, QFont::SansSerif, 32, true);
    f.setUnderline(true);
    return f;
}

}  // namespace sui
