// The STB's bit-by-bit checksums: their check values, and agreement with the
// tool's table-driven routines over many buffers (a wrong table entry in the
// tool would show here as well as in a rejected packet).
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "Crc16.h"
#include "Crc32.h"
#include "SimCrc.h"

namespace {

struct CrcCase {
  const char* label;
  std::string data;
  uint32_t crc32;
  uint16_t crc16;
};

void PrintTo(const CrcCase& c, std::ostream* os) { *os << c.label; }

class SimCrcTest : public ::testing::TestWithParam<CrcCase> {};

TEST_P(SimCrcTest, KnownValues) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(GetParam().data.data());
  EXPECT_EQ(stbsim::BitwiseCrc32(bytes, GetParam().data.size()), GetParam().crc32);
  EXPECT_EQ(stbsim::BitwiseCrc16(bytes, GetParam().data.size()), GetParam().crc16);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Values, SimCrcTest,
                         ::testing::Values(CrcCase{"CheckDigits", "123456789", 0xCBF43926u, 0x31C3},
                                           CrcCase{"Empty", "", 0x00000000u, 0x0000},
                                           CrcCase{"ClosingBlockField", std::string(128, '\0'), 0xC2A8FA9Du, 0x0000},
                                           CrcCase{"OneLetter", "a", 0xE8B7BE43u, 0x7C87}),
                         [](const ::testing::TestParamInfo<CrcCase>& info) { return std::string(info.param.label); });
// clang-format on

TEST(SimCrcCrossCheck, AgreesWithTheToolsTables) {
  std::mt19937 random(20240601);
  for (size_t length : {1u, 2u, 3u, 255u, 256u, 1024u, 8188u}) {
    std::vector<uint8_t> data(length);
    for (int round = 0; round < 20; ++round) {
      for (uint8_t& byte : data) byte = static_cast<uint8_t>(random());
      ASSERT_EQ(stbsim::BitwiseCrc32(data.data(), length), Crc32(data.data(), length)) << length;
      ASSERT_EQ(stbsim::BitwiseCrc16(data.data(), length), Crc16(data)) << length;
    }
  }
  // Every single-byte message exercises every table entry once.
  for (int value = 0; value < 256; ++value) {
    const uint8_t byte = static_cast<uint8_t>(value);
    ASSERT_EQ(stbsim::BitwiseCrc32(&byte, 1), Crc32(&byte, 1)) << value;
    ASSERT_EQ(stbsim::BitwiseCrc16(&byte, 1), Crc16(std::span<const uint8_t>(&byte, 1))) << value;
  }
}

}  // namespace
