#pragma once
// The fonts of the look, at fixed pixel heights so the layout does not follow
// the desktop's scale setting. Each names the Windows face first; on Linux the
// free faces from Debian that stand in for it follow (SuiFontFamilies.h).

#include <QFont>

namespace sui {

QFont WindowFont();        // MS Sans Serif, 11 px
QFont TitleCaptionFont();  // Tahoma, 11 px, bold
QFont ButtonFont();        // Courier New, 19 px, bold
QFont MemoFont();          // Courier New, 13 px, bold
QFont EditFont();          // Arial, 15 px
QFont LinkFont();          // MS Sans Serif, 32 px, bold, underlined
QFont ProgressFont();      // MS Sans Serif, 11 px

}  // namespace sui
