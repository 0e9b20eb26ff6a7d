#include "Crc16.h"

namespace {

constexpr uint16_t kPolynomial = 0x1021;

constexpr std::array<uint16_t, 256> BuildTable() {
  std::array<uint16_t, 256> table{};
  for (unsigned index = 0; index < table.size(); ++index) {
    uint16_t value = static_cast<uint16_t>(index << 8);
    for (int bit = 0; bit < 8; ++bit) {
      value = (value & 0x8000) ? static_cast<uint16_t>((value << 1) ^ kPolynomial)
                               : static_cast<uint16_t>(value << 1);
    }
    table[index] = value;
  }
  return table;
}

constexpr std::array<uint16_t, 256> kTable = BuildTable();

}  // namespace

const std::array<uint16_t, 256>& Crc16Table() { return kTable; }

uint16_t Crc16(std::span<const uint8_t> data, uint16_t crc) {
  for (uint8_t byte : data) {
    crc = static_cast<uint16_t>(kTable[((crc >> 8) ^ byte) & 0xFF] ^ (crc << 8));
  }
  return crc;
}
