#pragma once
// The 32 x 32 window and application icon: an upright grey receiver with a
// dark red front, seen from the front left.

#include <QImage>

namespace artwork {

constexpr int kIconSize = 32;
// Drawn on a 32-unit grid and scaled, so larger desktop sizes stay sharp.
QImage ApplicationIcon(int size = kIconSize);

}  // namespace artwork
