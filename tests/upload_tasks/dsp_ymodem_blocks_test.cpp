// The bytes of the header, data and closing blocks, and the fitting of long
// names into the 128-byte header field.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "Crc16.h"
#include "YmodemBlocks.h"

namespace {

using namespace ymodem;

uint16_t CrcOnLine(const uint8_t* highLow) {
  return static_cast<uint16_t>((highLow[0] << 8) | highLow[1]);
}

// The name and size text of a header field, read as a receiver would.
struct ParsedHeader {
  std::string name;
  std::string size;
};

ParsedHeader Parse(const HeaderBlock& block) {
  const char* field = reinterpret_cast<const char*>(block.data() + 3);
  ParsedHeader parsed;
  parsed.name = std::string(field, strnlen(field, kHeaderFieldSize));
  const std::size_t sizeAt = parsed.name.size() + 1;
  if (sizeAt < kHeaderFieldSize) {
    parsed.size = std::string(field + sizeAt, strnlen(field + sizeAt, kHeaderFieldSize - sizeAt));
  }
  return parsed;
}

TEST(YmodemHeaderBlock, CarriesNameSizeAndCrc) {
  const HeaderBlock block = BuildHeaderBlock("FIRM.DSP", 2048);
  ASSERT_EQ(block.size(), 133u);
  EXPECT_EQ(block[0], SOH);
  EXPECT_EQ(block[1], 0x00);
  EXPECT_EQ(block[2], 0xFF);
  const std::string expected(
      "FIRM.DSP\0"
      "2048",
      13);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), block.begin() + 3));
  EXPECT_TRUE(
      std::all_of(block.begin() + 3 + 13, block.begin() + 131, [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(CrcOnLine(&block[131]), Crc16({block.data() + 3, 128}));
}

TEST(YmodemHeaderBlock, EmptyFileCarriesZeroSize) {
  const ParsedHeader parsed = Parse(BuildHeaderBlock("EMPTY.DSP", 0));
  EXPECT_EQ(parsed.name, "EMPTY.DSP");
  EXPECT_EQ(parsed.size, "0");
}

TEST(YmodemHeaderBlock, LargestSizeIsPrintedInFull) {
  EXPECT_EQ(Parse(BuildHeaderBlock("A.DSP", 2147483647)).size, "2147483647");
}

TEST(YmodemHeaderBlock, NameBytesGoUnchanged) {
  const std::string name =
      "pr\xC3\xBC"
      "fung.dsp";  // UTF-8 "prüfung.dsp"
  EXPECT_EQ(Parse(BuildHeaderBlock(name, 5)).name, name);
}

TEST(YmodemHeaderBlock, ClosingBlockIsEmptyHeader) {
  const HeaderBlock block = BuildClosingBlock();
  EXPECT_EQ(block[0], SOH);
  EXPECT_EQ(block[1], 0x00);
  EXPECT_EQ(block[2], 0xFF);
  EXPECT_TRUE(std::all_of(block.begin() + 3, block.end(), [](uint8_t b) { return b == 0; }));
}

// ---- name fitting ----

struct FitCase {
  const char* label;
  std::string name;
  int32_t size;
  std::string expectedName;
};

class YmodemNameFitting : public ::testing::TestWithParam<FitCase> {};

TEST_P(YmodemNameFitting, FitsFieldAndKeepsExtension) {
  const FitCase& c = GetParam();
  const HeaderBlock block = BuildHeaderBlock(c.name, c.size);
  const ParsedHeader parsed = Parse(block);
  EXPECT_EQ(parsed.name, c.expectedName);
  EXPECT_EQ(parsed.size, SizeText(c.size));
  // Name, zero, size text, zero: all inside the field.
  EXPECT_LE(parsed.name.size() + 1 + parsed.size.size() + 1, kHeaderFieldSize);
  EXPECT_EQ(block[3 + parsed.name.size() + 1 + parsed.size.size()], 0x00);
  EXPECT_EQ(CrcOnLine(&block[131]), Crc16({block.data() + 3, 128}));
}

// 128 = name + 1 + size text + 1, so with "1024" (4 digits) a name may hold 122.
// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, YmodemNameFitting,
    ::testing::Values(
        FitCase{"ExactFit", std::string(118, 'a') + ".DSP", 1024, std::string(118, 'a') + ".DSP"},
        FitCase{"OneTooLong", std::string(119, 'a') + ".DSP", 1024, std::string(118, 'a') + ".DSP"},
        FitCase{"VeryLong", std::string(300, 'b') + ".dsp", 7, std::string(121, 'b') + ".dsp"},
        FitCase{"LongestSizeText", std::string(200, 'c') + ".DSP", 2147483647,
                std::string(112, 'c') + ".DSP"},
        FitCase{"NoExtension", std::string(130, 'd'), 1024, std::string(122, 'd')},
        FitCase{"HugeExtension", "x." + std::string(200, 'e'), 1024, "x." + std::string(120, 'e')},
        FitCase{"DotsInStem", "v1.2." + std::string(150, 'f') + ".DSP", 1024,
                "v1.2." + std::string(113, 'f') + ".DSP"},
        // A two-byte character straddling the cut is dropped whole.
        FitCase{"Utf8NotSplit", std::string(117, 'g') + "\xC3\xA9" + "h.DSP", 1024,
                std::string(117, 'g') + ".DSP"}),
    [](const auto& info) { return std::string(info.param.label); });
// clang-format on

// The name the STB gets for a path as the user's system writes it: on
// Windows a drive and backslashes are a path's own, on Linux a backslash or a
// colon is an ordinary character of a file name.
struct NameCase {
  const char* path;
  const char* onLinux;
  const char* onWindows;
};

// clang-format off
const NameCase kNameCases[] = {
  {"/home/u/images/FIRM.DSP",      "FIRM.DSP",                  "FIRM.DSP"},
  {"FIRM.DSP",                     "FIRM.DSP",                  "FIRM.DSP"},
  {"/FIRM.DSP",                    "FIRM.DSP",                  "FIRM.DSP"},
  {"C:\\fw\\Firmware.DSP",         "C:\\fw\\Firmware.DSP",      "Firmware.DSP"},
  {"Z:\\home\\u\\Прошивка.DSP",    "Z:\\home\\u\\Прошивка.DSP", "Прошивка.DSP"},
  {"C:/fw/FIRM.DSP",               "FIRM.DSP",                  "FIRM.DSP"},
  {"C:FIRM.DSP",                   "C:FIRM.DSP",                "FIRM.DSP"},
  {"c:FIRM.DSP",                   "c:FIRM.DSP",                "FIRM.DSP"},
  {"\\\\?\\C:\\fw\\FIRM.DSP",      "\\\\?\\C:\\fw\\FIRM.DSP",   "FIRM.DSP"},
  {"\\\\server\\share\\FIRM.DSP",    "\\\\server\\share\\FIRM.DSP", "FIRM.DSP"},
  {"fw\\mixed/dir\\FIRM.DSP",      "dir\\FIRM.DSP",             "FIRM.DSP"},
  // Only a letter and a colon at the start make a drive.
  {"1:FIRM.DSP",                   "1:FIRM.DSP",                "1:FIRM.DSP"},
  {"dir/",                         "",                          ""},
};
// clang-format on

// Which column holds the running system's answer.
#ifdef _WIN32
constexpr bool kWindowsPaths = true;
#else
constexpr bool kWindowsPaths = false;
#endif

TEST(YmodemNameFitting, NameWithoutDirectoryBySystem) {
  for (const NameCase& row : kNameCases) {
    EXPECT_EQ(NameWithoutDirectory(row.path), kWindowsPaths ? row.onWindows : row.onLinux)
        << row.path;
  }
}

// ---- data blocks ----

struct DataCase {
  const char* label;
  uint8_t number;
  std::size_t carried;
};

class YmodemDataBlock : public ::testing::TestWithParam<DataCase> {};

TEST_P(YmodemDataBlock, FramesDataWithPaddingCrcAndTrailingZero) {
  const DataCase& c = GetParam();
  std::vector<uint8_t> data(c.carried);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(0xA5 ^ i);

  const DataBlock block = BuildDataBlock(c.number, data);
  ASSERT_EQ(block.size(), 1030u);
  EXPECT_EQ(block[0], STX);
  EXPECT_EQ(block[1], c.number);
  EXPECT_EQ(block[2], static_cast<uint8_t>(0xFF - c.number));
  EXPECT_TRUE(std::equal(data.begin(), data.end(), block.begin() + 3));
  EXPECT_TRUE(std::all_of(block.begin() + 3 + c.carried, block.begin() + 1027,
                          [](uint8_t b) { return b == 0; }));
  std::vector<uint8_t> padded(data);
  padded.resize(1024, 0);
  EXPECT_EQ(CrcOnLine(&block[1027]), Crc16(padded));
  EXPECT_EQ(block[1029], 0x00);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, YmodemDataBlock,
    ::testing::Values(DataCase{"FullFirst", 1, 1024}, DataCase{"OneByte", 2, 1},
                      DataCase{"Partial", 7, 513}, DataCase{"WrappedNumber", 0x00, 1024},
                      DataCase{"LastNumber", 0xFF, 1000}),
    [](const auto& info) { return std::string(info.param.label); });
// clang-format on

TEST(YmodemDataBlock, RefusesMoreThanOneField) {
  std::vector<uint8_t> data(1025);
  EXPECT_THROW(BuildDataBlock(1, data), std::length_error);
}

}  // namespace
