// CRC-16/XMODEM against published values and against a bitwise reference, so
// a wrong table entry cannot hide behind a matching check value.
#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "Crc16.h"

namespace {

std::span<const uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

uint16_t BitwiseCrc16(std::span<const uint8_t> data) {
  uint16_t crc = 0;
  for (uint8_t byte : data) {
    crc ^= static_cast<uint16_t>(byte << 8);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021)
                           : static_cast<uint16_t>(crc << 1);
    }
  }
  return crc;
}

struct KnownValue {
  std::string_view text;
  uint16_t crc;
};

class Crc16KnownValues : public ::testing::TestWithParam<KnownValue> {};

TEST_P(Crc16KnownValues, MatchesPublishedValue) {
  EXPECT_EQ(Crc16(Bytes(GetParam().text)), GetParam().crc);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Xmodem, Crc16KnownValues,
    ::testing::Values(KnownValue{"123456789", 0x31C3}, KnownValue{"", 0x0000},
                      KnownValue{"A", 0x58E5},
                      KnownValue{std::string_view("\0\0\0\0", 4), 0x0000}));
// clang-format on

TEST(Crc16, TableMatchesThePolynomial) {
  const auto& table = Crc16Table();
  EXPECT_EQ(table[0], 0x0000);
  EXPECT_EQ(table[1], 0x1021);
  EXPECT_EQ(table[255], 0x1EF0);
  for (unsigned i = 0; i < 256; ++i) {
    const uint8_t byte = static_cast<uint8_t>(i);
    EXPECT_EQ(table[i], BitwiseCrc16({&byte, 1})) << "entry " << i;
  }
}

TEST(Crc16, AgreesWithBitwiseReferenceOverEveryByteValue) {
  std::vector<uint8_t> data(1024);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
  EXPECT_EQ(Crc16(data), BitwiseCrc16(data));
}

TEST(Crc16, ContinuesAcrossPieces) {
  const auto whole = Bytes("123456789");
  const uint16_t first = Crc16(whole.first(4));
  EXPECT_EQ(Crc16(whole.subspan(4), first), 0x31C3);
}

TEST(Crc16, OneFlippedBitChangesTheSum) {
  std::vector<uint8_t> data(1024, 0x5A);
  const uint16_t clean = Crc16(data);
  data[517] ^= 0x10;
  EXPECT_NE(Crc16(data), clean);
}

}  // namespace
