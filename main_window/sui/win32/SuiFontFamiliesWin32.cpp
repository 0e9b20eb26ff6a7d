#include "SuiFontFamilies.h"

namespace sui {

// Windows has every face of the look. MS Sans Serif is a bitmap face on
// current Windows; Microsoft Sans Serif is its scalable successor for the
// sizes the bitmaps lack.
const FontFamilies& SystemFontFamilies() {
    static const FontFamilies families{
        {"MS Sans Serif", "Microsoft Sans Serif"},
        {"Tahoma"},
        {"Courier New"},
        {"Arial"},
    };
    return families;
}

}  // namespace sui
