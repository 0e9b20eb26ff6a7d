#pragma once
// The faces each font of the look asks for, in order. The first of each list
// is the Windows face the look was made with; where that face is missing (on
// Linux), free faces with the same metrics follow. Which list applies is the
// system's business: one file per system, chosen by CMake.

#include <QFont>
#include <QStringList>

namespace sui {

struct FontFamilies {
    QStringList sansSerif;  // MS Sans Serif
    QStringList tahoma;     // Tahoma
    QStringList courier;    // Courier New
    QStringList arial;      // Arial
};

const FontFamilies& SystemFontFamilies();

// The hinting this system gives text at 100 %, named explicitly: left to its
// default, Qt hints differently (or not at all) once the desktop is scaled,
// and the enlarged 1x picture would no longer be the 100 % one.
QFont::HintingPreference OneXHinting();

}  // namespace sui
