#pragma once
// The four 48 x 48 button glyphs. Each is an ARGB picture whose top-left
// pixel is fully transparent, the colour the buttons treat as see-through.

#include <QImage>

namespace artwork {

constexpr int kGlyphSize = 48;

QImage ConnectGlyph();    // red button, white power symbol: a bar inside a ring
QImage ConnectedGlyph();  // blue button, white standby symbol: ring open at the top, bar
QImage LoadGlyph();       // blue button, white open folder
QImage SendGlyph();       // blue button, white curved arrow pointing right

}  // namespace artwork
