// CRC-32 of IEEE 802.3 (reflected polynomial 0xEDB88320, preset 0xFFFFFFFF,
// result complemented), the check word the STB expects after each packet.
// Computed through a 256-entry table built once at compile time.
//
// Pure functions; safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

// The CRC-32 of `length` bytes at `data`. Crc32("123456789", 9) is 0xCBF43926;
// the CRC of no bytes is 0.
uint32_t Crc32(const uint8_t* data, size_t length);

// Continues a CRC over more bytes: `crc` is a value returned by Crc32 or by a
// previous Crc32Update, so that Crc32Update(Crc32(a), b) == Crc32(a + b).
uint32_t Crc32Update(uint32_t crc, const uint8_t* data, size_t length);
