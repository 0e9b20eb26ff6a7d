#include "SuiFontFamilies.h"

namespace sui {

// Debian's fonts-liberation has the Windows faces' metrics; fonts-dejavu-core
// stands in where Liberation has no match (Tahoma).
const FontFamilies& SystemFontFamilies() {
    static const FontFamilies families{
        {"MS Sans Serif", "Liberation Sans", "DejaVu Sans"},
        {"Tahoma", "DejaVu Sans", "Liberation Sans"},
        {"Courier New", "Liberation Mono", "DejaVu Sans Mono"},
        {"Arial", "Liberation Sans", "DejaVu Sans"},
    };
    return families;
}

// fontconfig's default style, hintslight.
QFont::HintingPreference OneXHinting() { return QFont::PreferVerticalHinting; }

}  // namespace sui
