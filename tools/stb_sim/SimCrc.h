// The STB's own checksums, computed bit by bit. They are deliberately not the
// tool's table-driven routines: the simulator plays an independent device, so
// a fault in the tool's tables shows as a rejected packet or block.
#pragma once

#include <cstddef>
#include <cstdint>

namespace stbsim {

// CRC-32 of IEEE 802.3 (reflected 0xEDB88320, preset and final complement);
// "123456789" gives 0xCBF43926.
uint32_t BitwiseCrc32(const uint8_t* data, size_t length);

// CRC-16/XMODEM (0x1021, MSB first, start 0, no final XOR); "123456789" gives
// 0x31C3.
uint16_t BitwiseCrc16(const uint8_t* data, size_t length);

}  // namespace stbsim
