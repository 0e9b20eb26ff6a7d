#include "SuiFontFamilies.h"

namespace sui {

// Windows has every face of the look. MS Sans Serif is a bitmap face there,
// drawn at a few sizes only (the 32-pixel link would come out at 20), so its
// scalable successor with the same design, Microsoft Sans Serif, comes first.
const FontFamilies& SystemFontFamilies() {
    static const FontFamilies families{
        {"Microsoft Sans Serif", "MS Sans Serif"},
        {"Tahoma"},
        {"Courier New"},
        {"Arial"},
    };
    return families;
}

// GDI's full hinting. (Qt draws default-hinted text with DirectWrite once the
// desktop is scaled.)
QFont::HintingPreference OneXHinting() { return QFont::PreferFullHinting; }

}  // namespace sui
