#include "YmodemBlocks.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "Crc16.h"

namespace ymodem {
namespace {

// The field holds the name, its terminating zero, the size text and its zero.
constexpr std::size_t kFieldTerminators = 2;

bool IsUtf8Continuation(char c) { return (static_cast<uint8_t>(c) & 0xC0) == 0x80; }

// The longest prefix of `text` of at most `limit` bytes that ends on a
// character boundary.
std::string_view Utf8Prefix(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t cut = limit;
  while (cut > 0 && IsUtf8Continuation(text[cut])) --cut;
  return text.substr(0, cut);
}

void PutCrc(uint8_t* out, std::span<const uint8_t> field) {
  const uint16_t crc = Crc16(field);
  out[0] = static_cast<uint8_t>(crc >> 8);
  out[1] = static_cast<uint8_t>(crc & 0xFF);
}

HeaderBlock EmptyHeaderBlock() {
  HeaderBlock block{};
  block[0] = SOH;
  block[1] = 0x00;
  block[2] = 0xFF;
  return block;
}

}  // namespace

std::string SizeText(int32_t size) {
  char text[16];
  std::snprintf(text, sizeof text, "%ld", static_cast<long>(size));
  return text;
}

std::string FitNameToHeader(std::string_view name, std::string_view sizeText) {
  const std::size_t room =
      kHeaderFieldSize - std::min(kHeaderFieldSize, sizeText.size() + kFieldTerminators);
  if (name.size() <= room) return std::string(name);

  const std::size_t dot = name.rfind('.');
  const bool hasExtension = dot != std::string_view::npos && dot > 0;
  const std::string_view extension = hasExtension ? name.substr(dot) : std::string_view{};
  if (extension.empty() || extension.size() >= room) {
    return std::string(Utf8Prefix(name, room));
  }
  const std::string_view stem = name.substr(0, dot);
  std::string fitted(Utf8Prefix(stem, room - extension.size()));
  fitted += extension;
  return fitted;
}

HeaderBlock BuildHeaderBlock(std::string_view name, int32_t size) {
  const std::string sizeText = SizeText(size);
  const std::string fitted = FitNameToHeader(name, sizeText);

  HeaderBlock block = EmptyHeaderBlock();
  uint8_t* field = block.data() + 3;
  std::copy(fitted.begin(), fitted.end(), field);
  // The byte after the name stays zero; the size text follows it.
  std::copy(sizeText.begin(), sizeText.end(), field + fitted.size() + 1);
  PutCrc(block.data() + 3 + kHeaderFieldSize, {field, kHeaderFieldSize});
  return block;
}

DataBlock BuildDataBlock(uint8_t blockNumber, std::span<const uint8_t> data) {
  if (data.size() > kDataFieldSize) {
    throw std::length_error("a data block carries at most 1024 bytes");
  }
  DataBlock block{};
  block[0] = STX;
  block[1] = blockNumber;
  block[2] = static_cast<uint8_t>(~blockNumber);
  uint8_t* field = block.data() + 3;
  std::copy(data.begin(), data.end(), field);
  PutCrc(field + kDataFieldSize, {field, kDataFieldSize});
  return block;
}

HeaderBlock BuildClosingBlock() {
  HeaderBlock block = EmptyHeaderBlock();
  PutCrc(block.data() + 3 + kHeaderFieldSize, {block.data() + 3, kHeaderFieldSize});
  return block;
}

}  // namespace ymodem
