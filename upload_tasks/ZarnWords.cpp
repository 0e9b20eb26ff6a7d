#include "ZarnWords.h"

#include <cstdio>
#include <cstring>

#include "BigEndian.h"

namespace zarn {

namespace {

struct TypeCodeEntry {
  std::string_view nameTag;
  uint8_t typeCode;
};

constexpr TypeCodeEntry kTypeCodes[] = {
    {"DAT", 0x01},   {"SER", 0x02},  {"APP", 0x04},
    {"FORCE", 0x04}, {"FULL", 0x08}, {"zarnlogo.logo", 0x08},
};

}  // namespace

uint32_t BodySize(const uint8_t* header) { return ReadBigEndian32(header + kBodySizeOffset); }

std::string NameTag(const uint8_t* header) {
  const char* text = reinterpret_cast<const char*>(header + kNameTagOffset);
  const void* end = std::memchr(text, 0, kNameTagMaxLength);
  const size_t length = end != nullptr ? static_cast<size_t>(static_cast<const char*>(end) - text)
                                       : kNameTagMaxLength;
  return std::string(text, length);
}

std::optional<uint8_t> TypeCodeForNameTag(std::string_view nameTag) {
  for (const TypeCodeEntry& entry : kTypeCodes) {
    if (entry.nameTag == nameTag) return entry.typeCode;
  }
  return std::nullopt;
}

std::string PacketLine(int counter, bool accepted) {
  // Both texts keep their own blanks, so two blanks stand on each side of the
  // number.
  char line[64];
  std::snprintf(line, sizeof line, "%s %03d %s", "Data packet ", counter,
                accepted ? " ........... OK" : " ........... BAD!");
  return line;
}

std::optional<std::string> FinalWordReport(const uint8_t* word) {
  const uint32_t value = ReadBigEndian32(word);
  if (value == FlashOk) return "Writing to FLASH [OK], restarting...";
  if (value == FlashErr) return "Writing to FLASH [ERR], restarting...";
  if (std::memcmp(word, kGreeting, sizeof kGreeting) == 0) return "STB restarted in ZARN mode!!!";
  if (word[0] == kOtherModeMark || word[1] == kOtherModeMark || word[2] == kOtherModeMark) {
    return "STB restarted in Orvane mode!!!";
  }
  return std::nullopt;
}

}  // namespace zarn
