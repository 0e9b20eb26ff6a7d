#include "SimCrc.h"

namespace stbsim {

uint32_t BitwiseCrc32(const uint8_t* data, size_t length) {
  constexpr uint32_t kReflectedPolynomial = 0xEDB88320u;
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < length; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc & 1u) ? (crc >> 1) ^ kReflectedPolynomial : crc >> 1;
  }
  return ~crc;
}

uint16_t BitwiseCrc16(const uint8_t* data, size_t length) {
  constexpr uint16_t kPolynomial = 0x1021;
  uint16_t crc = 0;
  for (size_t i = 0; i < length; ++i) {
    crc = static_cast<uint16_t>(crc ^ (data[i] << 8));
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<uint16_t>((crc & 0x8000u) ? (crc << 1) ^ kPolynomial : crc << 1);
  }
  return crc;
}

}  // namespace stbsim
