#pragma once
// The faces each font of the look asks for, in order. The first of each list
// is the Windows face the look was made with; where that face is missing (on
// Linux), free faces with the same metrics follow. Which list applies is the
// system's business: one file per system, chosen by CMake.

#include <QStringList>

namespace sui {

struct FontFamilies {
    QStringList sansSerif;  // MS Sans Serif
    QStringList tahoma;     // Tahoma
    QStringList courier;    // Courier New
    QStringList arial;      // Arial
};

const FontFamilies& SystemFontFamilies();

}  // namespace sui
