#include "BarEraser.h"

namespace {
constexpr const char kEraseLineSequence[] = "\r\033[K";
}  // namespace

std::string BarErasingText(BarEraser eraser, size_t barColumns) {
  switch (eraser) {
    case BarEraser::EscapeSequence: return kEraseLineSequence;
    case BarEraser::Overwrite: break;
  }
  return "\r" + std::string(barColumns, ' ') + "\r";
}
