#include "StationLook.h"

#include "SuiFonts.h"

namespace station_look {

namespace {

QFont Sized(QFont font, int pixels, bool bold) {
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

}  // namespace

QFont TileTitleFont() { return Sized(sui::EditFont(), 24, true); }
QFont TileStateFont() { return Sized(sui::EditFont(), 34, true); }
QFont TileDetailFont() { return Sized(sui::EditFont(), 20, false); }
QFont HeaderFont() { return Sized(sui::EditFont(), 20, false); }
QFont ButtonFont() { return Sized(sui::ButtonFont(), 24, true); }

QColor BackgroundColour() { return {0xe8, 0xe8, 0xe8}; }
QColor FrameColour() { return {0x80, 0x80, 0x80}; }
QColor SelectionColour() { return {0x1c, 0x4f, 0xa8}; }

}  // namespace station_look
