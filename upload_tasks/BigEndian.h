// Multi-byte values on the serial line travel most significant byte first:
// the 32-bit command words and CRC-32 of the ZARN upload.
//
// Pure functions on caller-owned bytes; safe from any thread.
#pragma once

#include <cstdint>

// Reads the 4 bytes at `bytes` as one big-endian 32-bit value.
inline constexpr uint32_t ReadBigEndian32(const uint8_t* bytes) {
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
         uint32_t{bytes[3]};
}

// Writes `value` into the 4 bytes at `bytes`, most significant byte first.
inline constexpr void WriteBigEndian32(uint8_t* bytes, uint32_t value) {
  bytes[0] = static_cast<uint8_t>(value >> 24);
  bytes[1] = static_cast<uint8_t>(value >> 16);
  bytes[2] = static_cast<uint8_t>(value >> 8);
  bytes[3] = static_cast<uint8_t>(value);
}
