// What passes on the line in the ZARN command-word upload: the 4-byte words,
// the greeting, the image header's fields, the type codes, and the texts the
// upload derives from them. Words are compared whole as big-endian values.
//
// Pure constants and functions; safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zarn {

// Command and reply words as 32-bit values, first line byte most significant.
inline constexpr uint32_t DnRequest = 0xAB446E00;  // low byte: the type code
inline constexpr uint32_t DnAccept = 0xBA446E90;
inline constexpr uint32_t HeaderAccept = 0xAB9000AB;
inline constexpr uint32_t PacketEnd = 0xAB50434B;
inline constexpr uint32_t PacketBad = 0xAB4D4F52;
inline constexpr uint32_t EndOfImage = 0xAB454E44;
inline constexpr uint32_t FlashStart = 0xAB464C53;
inline constexpr uint32_t FlashOk = 0xAB9090AB;
inline constexpr uint32_t FlashErr = 0xAB9009AB;

inline constexpr size_t kWordSize = 4;
inline constexpr uint8_t kGreeting[3] = {'K', 'G', 'S'};
// The byte that shows the STB came back in its other mode.
inline constexpr uint8_t kOtherModeMark = 'C';

// The image: a 64-byte header, then the body.
inline constexpr size_t kHeaderSize = 64;
inline constexpr size_t kBodySizeOffset = 16;
inline constexpr size_t kNameTagOffset = 32;
inline constexpr size_t kNameTagMaxLength = 32;

// Data bytes per packet: with their CRC-32 they fill 8192 bytes.
inline constexpr size_t kMaxChunk = 8188;
inline constexpr size_t kCrcSize = 4;
inline constexpr size_t kPacketBufferSize = kMaxChunk + kCrcSize;

// `BodySize` of a header: the 32-bit big-endian value at offset 16.
uint32_t BodySize(const uint8_t* header);
// `NameTag` of a header: the text at offset 32 up to its 0x00 byte, at most
// 32 bytes (a tag without its 0x00 ends with the header).
std::string NameTag(const uint8_t* header);
// The type code that a name tag asks for (compared exactly, case included),
// or nothing for an unknown tag.
std::optional<uint8_t> TypeCodeForNameTag(std::string_view nameTag);

// The status-log line for packet `counter`: accepted ("Data packet  000
// ........... OK") or rejected ("... BAD!"), the number in at least three
// digits.
std::string PacketLine(int counter, bool accepted);

// What the word the STB sends after writing its flash says: the log line for
// FlashOk, FlashErr, a greeting in ZARN mode or a restart in the other mode,
// in that order of precedence; nothing when it matches none.
std::optional<std::string> FinalWordReport(const uint8_t* word);

}  // namespace zarn
