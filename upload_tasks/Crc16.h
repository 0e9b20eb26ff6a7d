// CRC-16/XMODEM, the check sum of the DSP block transfer: polynomial 0x1021,
// most significant bit first, initial value 0x0000, no reflection, no final
// XOR (check value over "123456789": 0x31C3). The STB expects it high byte
// first after each block's data field.
//
// Pure functions over caller-owned memory; safe to call from any thread at
// the same time (the table is a constant built at compile time).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// The 256-entry table built from the polynomial (entry 1 is 0x1021).
const std::array<uint16_t, 256>& Crc16Table();

// Continues `crc` over `data` a byte at a time through the table; pass the
// result of an earlier call to checksum data that arrives in pieces.
uint16_t Crc16(std::span<const uint8_t> data, uint16_t crc = 0x0000);
