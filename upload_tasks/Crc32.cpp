#include "Crc32.h"

#include <array>

namespace {

constexpr uint32_t kReflectedPolynomial = 0xEDB88320u;
constexpr uint32_t kPreset = 0xFFFFFFFFu;

constexpr std::array<uint32_t, 256> BuildTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t index = 0; index < table.size(); ++index) {
    uint32_t value = index;
    for (int bit = 0; bit < 8; ++bit) {
      value = (value & 1u) ? (value >> 1) ^ kReflectedPolynomial : value >> 1;
    }
    table[index] = value;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kTable = BuildTable();

}  // namespace

uint32_t Crc32Update(uint32_t crc, const uint8_t* data, size_t length) {
  uint32_t reg = crc ^ kPreset;
  for (size_t i = 0; i < length; ++i) {
    reg = kTable[(reg ^ data[i]) & 0xFFu] ^ (reg >> 8);
  }
  return reg ^ kPreset;
}

uint32_t Crc32(const uint8_t* data, size_t length) { return Crc32Update(0, data, length); }
