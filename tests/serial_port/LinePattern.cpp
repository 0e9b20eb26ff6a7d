#include "LinePattern.h"

namespace {
constexpr std::size_t kWrap = 251;
}

std::vector<uint8_t> Pattern(std::size_t length, std::size_t start) {
  std::vector<uint8_t> out(length);
  for (std::size_t i = 0; i < length; ++i) out[i] = static_cast<uint8_t>((start + i) % kWrap);
  return out;
}
