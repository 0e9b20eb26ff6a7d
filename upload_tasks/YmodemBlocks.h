// The blocks of the DSP transfer as they go on the line: the 133-byte header
// block (file name and size), the 1030-byte data block and the 133-byte
// closing block, plus the control bytes both ends use.
//
// Pure functions: they own nothing, keep no state and may run on any thread
// at the same time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace ymodem {

// Control bytes.
inline constexpr uint8_t SOH = 0x01;
inline constexpr uint8_t STX = 0x02;
inline constexpr uint8_t EOT = 0x04;
inline constexpr uint8_t ACK = 0x06;
inline constexpr uint8_t NAK = 0x15;
inline constexpr uint8_t CAN = 0x18;
inline constexpr uint8_t SUB = 0x1A;
inline constexpr uint8_t CrcReady = 'C';

inline constexpr std::size_t kHeaderFieldSize = 128;
inline constexpr std::size_t kHeaderBlockSize = 3 + kHeaderFieldSize + 2;  // 133
inline constexpr std::size_t kDataFieldSize = 1024;
// The 1029-byte block and the one 0x00 byte the STB expects after it.
inline constexpr std::size_t kDataBlockSize = 3 + kDataFieldSize + 2 + 1;  // 1030

using HeaderBlock = std::array<uint8_t, kHeaderBlockSize>;
using DataBlock = std::array<uint8_t, kDataBlockSize>;

// The file name of `path` without its drive and directories, as the STB gets
// it in the header block. The separators are the system's own: '/' on Linux;
// '\', '/' and a drive prefix ("C:") on Windows, where a user types
// "C:\fw\FIRM.DSP" and the STB must see "FIRM.DSP". The whole path when it
// has no directory part. Defined per system (posix/, win32/).
std::string_view NameWithoutDirectory(std::string_view path);

// `size` as printf's "%ld" writes it.
std::string SizeText(int32_t size);

// `name` cut so that it, one zero byte, `sizeText` and one more zero byte fit
// the 128-byte header field. A name that fits comes back unchanged; a longer
// one loses bytes from the end of its stem and keeps its extension (from its
// last '.'), so the STB still sees the file kind. Cuts never split a UTF-8
// sequence. An extension that alone leaves no room is cut like the rest.
std::string FitNameToHeader(std::string_view name, std::string_view sizeText);

// SOH, 0x00, 0xFF, the field (name fitted as above, 0x00, size text, 0x00,
// zeros), CRC-16 of the field high byte first. `size` must not be negative.
HeaderBlock BuildHeaderBlock(std::string_view name, int32_t size);

// STX, `blockNumber`, its complement, `data` (at most 1024 bytes) padded with
// zeros to 1024, CRC-16 over all 1024 bytes high byte first, and 0x00.
// Throws std::length_error when `data` is longer than 1024 bytes.
DataBlock BuildDataBlock(uint8_t blockNumber, std::span<const uint8_t> data);

// The header block's layout with an empty field: ends the batch.
HeaderBlock BuildClosingBlock();

}  // namespace ymodem
