// The station window's fonts, colours and sizes: the main window's skin
// (its flat background, its faces) at sizes read from two metres.
// GUI thread only.
#pragma once

#include <QColor>
#include <QFont>
#include <QSize>

namespace station_look {

inline constexpr QSize kTileMinimumSize{300, 200};
inline constexpr int kTileProgressHeight = 28;

QFont TileTitleFont();   // the port and its adapter
QFont TileStateFont();   // "PASS", "waiting for STB", ...
QFont TileDetailFont();  // failure text, unit count
QFont HeaderFont();      // the image and the totals
QFont ButtonFont();      // Start, Stop, Save profile

QColor BackgroundColour();  // the skin's flat background
QColor FrameColour();
QColor SelectionColour();  // the selected tile's frame

}  // namespace station_look
