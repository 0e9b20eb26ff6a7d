#pragma once
// The skin's colours, shared by the title bar, its buttons, the border
// strips and the button faces so the pieces meet without seams.

#include <QColor>

namespace artwork::palette {

inline const QColor kFrameOuter(0x0A, 0x24, 0x6A);
inline const QColor kFrameMiddle(0x3C, 0x74, 0xD4);
inline const QColor kFrameInner(0x1D, 0x4B, 0xA6);

inline const QColor kBarTop(0x86, 0xB8, 0xF6);
inline const QColor kBarUpper(0x4A, 0x8A, 0xE8);
inline const QColor kBarLower(0x1E, 0x5C, 0xCB);
inline const QColor kBarBottom(0x2F, 0x70, 0xDC);
inline const QColor kBarEdge(0x0E, 0x36, 0x8C);

inline const QColor kPlateTop(0x84, 0x84, 0x8A);
inline const QColor kPlateUpper(0x5E, 0x5E, 0x66);
inline const QColor kPlateLower(0x36, 0x36, 0x3C);
inline const QColor kPlateBottom(0x4C, 0x4C, 0x54);

}  // namespace artwork::palette
