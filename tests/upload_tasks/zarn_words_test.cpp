// The pure pieces of the ZARN upload: CRC-32, big-endian words, header fields,
// type codes, the packet lines and the restart report.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "BigEndian.h"
#include "Crc32.h"
#include "ZarnWords.h"

namespace {

uint32_t BitwiseCrc32(const std::vector<uint8_t>& data) {
  uint32_t reg = 0xFFFFFFFFu;
  for (uint8_t byte : data) {
    reg ^= byte;
    for (int bit = 0; bit < 8; ++bit) reg = (reg & 1u) ? (reg >> 1) ^ 0xEDB88320u : reg >> 1;
  }
  return ~reg;
}

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

TEST(Crc32, CheckValueOfTheNineDigits) {
  const auto digits = Bytes("123456789");
  EXPECT_EQ(Crc32(digits.data(), digits.size()), 0xCBF43926u);
}

TEST(Crc32, NoBytesGiveZero) { EXPECT_EQ(Crc32(nullptr, 0), 0u); }

TEST(Crc32, TableAgreesWithBitwiseReferenceOnEveryByteValueAndLongData) {
  for (int value = 0; value < 256; ++value) {
    const std::vector<uint8_t> one{static_cast<uint8_t>(value)};
    ASSERT_EQ(Crc32(one.data(), 1), BitwiseCrc32(one)) << "byte " << value;
  }
  std::vector<uint8_t> chunk(zarn::kMaxChunk);
  for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<uint8_t>(i * 131 + 7);
  EXPECT_EQ(Crc32(chunk.data(), chunk.size()), BitwiseCrc32(chunk));
}

TEST(Crc32, UpdateContinuesOverPieces) {
  const auto all = Bytes("123456789");
  const uint32_t first = Crc32(all.data(), 4);
  EXPECT_EQ(Crc32Update(first, all.data() + 4, 5), 0xCBF43926u);
}

TEST(BigEndian, WordsGoMostSignificantByteFirst) {
  uint8_t bytes[4] = {};
  WriteBigEndian32(bytes, 0xCBF43926u);
  EXPECT_EQ((std::array<uint8_t, 4>{bytes[0], bytes[1], bytes[2], bytes[3]}),
            (std::array<uint8_t, 4>{0xCB, 0xF4, 0x39, 0x26}));
  EXPECT_EQ(ReadBigEndian32(bytes), 0xCBF43926u);
}

TEST(ZarnWords, WordsHaveTheirLineBytes) {
  struct Row {
    uint32_t word;
    std::array<uint8_t, 4> line;
  };
  const Row rows[] = {
      {zarn::DnRequest | 0x04, {0xAB, 0x44, 0x6E, 0x04}},
      {zarn::DnAccept, {0xBA, 0x44, 0x6E, 0x90}},
      {zarn::HeaderAccept, {0xAB, 0x90, 0x00, 0xAB}},
      {zarn::PacketEnd, {0xAB, 'P', 'C', 'K'}},
      {zarn::PacketBad, {0xAB, 'M', 'O', 'R'}},
      {zarn::EndOfImage, {0xAB, 'E', 'N', 'D'}},
      {zarn::FlashStart, {0xAB, 'F', 'L', 'S'}},
      {zarn::FlashOk, {0xAB, 0x90, 0x90, 0xAB}},
      {zarn::FlashErr, {0xAB, 0x90, 0x09, 0xAB}},
  };
  for (const Row& row : rows) {
    uint8_t bytes[4];
    WriteBigEndian32(bytes, row.word);
    EXPECT_EQ(0, std::memcmp(bytes, row.line.data(), 4)) << std::hex << row.word;
  }
}

struct NameTagRow {
  const char* tag;
  std::optional<uint8_t> code;
};

class TypeCodes : public testing::TestWithParam<NameTagRow> {};

TEST_P(TypeCodes, NameTagChoosesTheTypeCodeExactly) {
  EXPECT_EQ(zarn::TypeCodeForNameTag(GetParam().tag), GetParam().code);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Table, TypeCodes,
    testing::Values(NameTagRow{"DAT", 0x01}, NameTagRow{"SER", 0x02}, NameTagRow{"APP", 0x04},
                    NameTagRow{"FORCE", 0x04}, NameTagRow{"FULL", 0x08},
                    NameTagRow{"zarnlogo.logo", 0x08}, NameTagRow{"app", std::nullopt},
                    NameTagRow{"ZARNLOGO.LOGO", std::nullopt}, NameTagRow{"DAT ", std::nullopt},
                    NameTagRow{"", std::nullopt}, NameTagRow{"FULLX", std::nullopt}));
// clang-format on

TEST(ZarnHeader, FieldsAreReadAtTheirOffsets) {
  uint8_t header[zarn::kHeaderSize] = {};
  WriteBigEndian32(header + 16, 0x00010203);
  std::memcpy(header + 32, "FORCE", 5);
  EXPECT_EQ(zarn::BodySize(header), 0x00010203u);
  EXPECT_EQ(zarn::NameTag(header), "FORCE");
}

TEST(ZarnHeader, NameTagWithoutItsZeroEndsWithTheHeader) {
  uint8_t header[zarn::kHeaderSize];
  std::memset(header, 'A', sizeof header);
  EXPECT_EQ(zarn::NameTag(header), std::string(32, 'A'));
}

struct PacketLineRow {
  int counter;
  bool accepted;
  const char* line;
};

class PacketLines : public testing::TestWithParam<PacketLineRow> {};

TEST_P(PacketLines, NumberHasAtLeastThreeDigitsBetweenTwoBlanksEachSide) {
  EXPECT_EQ(zarn::PacketLine(GetParam().counter, GetParam().accepted), GetParam().line);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Table, PacketLines,
    testing::Values(PacketLineRow{0, true, "Data packet  000  ........... OK"},
                    PacketLineRow{7, false, "Data packet  007  ........... BAD!"},
                    PacketLineRow{999, true, "Data packet  999  ........... OK"},
                    PacketLineRow{1000, true, "Data packet  1000  ........... OK"},
                    PacketLineRow{1000, false, "Data packet  1000  ........... BAD!"}));
// clang-format on

struct FinalWordRow {
  std::array<uint8_t, 4> word;
  std::optional<std::string> line;
};

class FinalWords : public testing::TestWithParam<FinalWordRow> {};

TEST_P(FinalWords, ReportTheFirstMatch) {
  EXPECT_EQ(zarn::FinalWordReport(GetParam().word.data()), GetParam().line);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Table, FinalWords,
    testing::Values(
        FinalWordRow{{0xAB, 0x90, 0x90, 0xAB}, "Writing to FLASH [OK], restarting..."},
        FinalWordRow{{0xAB, 0x90, 0x09, 0xAB}, "Writing to FLASH [ERR], restarting..."},
        FinalWordRow{{'K', 'G', 'S', 0x00}, "STB restarted in ZARN mode!!!"},
        FinalWordRow{{'K', 'G', 'S', 'C'}, "STB restarted in ZARN mode!!!"},
        FinalWordRow{{'C', 0x00, 0x00, 0x00}, "STB restarted in Orvane mode!!!"},
        FinalWordRow{{0x00, 'C', 0x00, 0x00}, "STB restarted in Orvane mode!!!"},
        FinalWordRow{{0x00, 0x00, 'C', 0x00}, "STB restarted in Orvane mode!!!"},
        FinalWordRow{{0x00, 0x00, 0x00, 'C'}, std::nullopt},
        FinalWordRow{{'K', 'G', 'X', 0x00}, std::nullopt},
        FinalWordRow{{0xAB, 0x46, 0x4C, 0x53}, std::nullopt}));
// clang-format on

}  // namespace
