// What zarn-upload --info reports of a file: the sample images, every
// NameTag, a wrong BodySize, a .DSP file and the refusals; the SHA-256 behind
// the fingerprint; and the protocol floor, which the benchmarks measure
// against.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ImageBuilder.h"
#include "ImageInfo.h"
#include "ProtocolFloor.h"
#include "Sha256.h"
#include "TempDir.h"

namespace {

const std::string kSamples = ZARN_SAMPLES_DIR;

// --- The samples: CRC-32 and SHA-256 as zlib and sha256sum give them.

struct SampleRow {
  const char* file;
  UploadProtocol protocol;
  int64_t size;
  uint32_t bodySize;  // ZARN
  const char* nameTag;
  std::optional<uint8_t> typeCode;
  int64_t units;  // packets or blocks
  uint32_t crc32;
  const char* sha256;
};

class Samples : public testing::TestWithParam<SampleRow> {};

TEST_P(Samples, AreDescribedAsSendWouldSendThem) {
  const SampleRow& row = GetParam();
  const ImageInfo info = DescribeImage(kSamples + "/" + row.file);
  ASSERT_TRUE(info.Sendable()) << info.admission.refusal << info.readError;
  EXPECT_EQ(info.protocol, row.protocol);
  EXPECT_EQ(info.admission.length, row.size);
  EXPECT_EQ(info.units, row.units);
  EXPECT_EQ(info.crc32, row.crc32);
  EXPECT_EQ(info.sha256, row.sha256);
  ASSERT_TRUE(info.floorSeconds.has_value());
  if (row.protocol == UploadProtocol::Zarn) {
    EXPECT_EQ(info.headerBodySize, row.bodySize);
    EXPECT_TRUE(info.BodySizeMatches());
    EXPECT_EQ(info.nameTag, row.nameTag);
    EXPECT_EQ(info.typeCode, row.typeCode);
    EXPECT_DOUBLE_EQ(*info.floorSeconds, ZarnFloorSeconds(row.size));
  } else {
    EXPECT_EQ(info.headerName, row.file);
    EXPECT_EQ(info.headerSizeText, std::to_string(row.size));
    EXPECT_DOUBLE_EQ(*info.floorSeconds, DspFloorSeconds(row.size));
  }
}

using P = UploadProtocol;
// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Table, Samples,
    testing::Values(
        SampleRow{"sample_dat.DAT", P::Zarn, 1064, 1000, "DAT", 0x01, 1, 0x61FD9224, "c6df2dc0ec769aea1565b6e9097fd71bf5627d4cb73bb4a3eb98b1384c0156c0"},
        SampleRow{"sample_ser.ZARN", P::Zarn, 8352, 8288, "SER", 0x02, 2, 0x74E5B9E4, "cc28761ba1ea202a1edfe5f96755279dd00f2519a4effe46d3ce93a9dc2ad595"},
        SampleRow{"sample_app.ZARN", P::Zarn, 20064, 20000, "APP", 0x04, 3, 0xA56A6849, "947c8b134462dcdc2b34612d5737544b2ef5e6ec4bfd402ed6dae0d16d84f071"},
        SampleRow{"sample_force.ZFL", P::Zarn, 5064, 5000, "FORCE", 0x04, 1, 0xE2BB359C, "2ffaa3adf19d4f9393eae81bb44513fcd9f0287dcd0278cc111b4ed333c44385"},
        SampleRow{"sample_full.ZFL", P::Zarn, 30064, 30000, "FULL", 0x08, 4, 0xC05E4E59, "2771e81cfab5d8782531fbf248bc054b146054094d7139290ef6465045644aea"},
        SampleRow{"sample_logo.LOGO", P::Zarn, 4160, 4096, "zarnlogo.logo", 0x08, 1, 0xD09BF271, "04293527f1f15724cedddf4e2cb6a0e43c24b70000a0504621423f8c73430016"},
        SampleRow{"sample.DSP", P::Dsp, 5000, 0, "", std::nullopt, 5, 0xC820545D, "838ca014695c8d9459a859b94c2178707221d8f0b555334912d16c475b2436da"}),
    [](const testing::TestParamInfo<SampleRow>& info) {
      std::string name = info.param.file;
      for (char& c : name) if (c == '.') c = '_';
      return name;
    });
// clang-format on

// --- Headers made here: every NameTag, and one that selects none.

struct TagRow {
  const char* tag;
  std::optional<uint8_t> typeCode;
};

class NameTags : public testing::TestWithParam<TagRow> {
 protected:
  TempDir folder_{"zarn_info"};
};

TEST_P(NameTags, SelectTheirTypeCodeOrTheUploadsFailure) {
  const std::string path = folder_.Write("tag.zarn", MakeImage(GetParam().tag, PatternBody(10000)));
  const ImageInfo info = DescribeImage(path);
  ASSERT_TRUE(info.Sendable());
  EXPECT_EQ(info.nameTag, GetParam().tag);
  EXPECT_EQ(info.typeCode, GetParam().typeCode);
  EXPECT_EQ(info.units, 2);
  if (GetParam().typeCode) {
    EXPECT_TRUE(info.failureBox.empty());
    EXPECT_TRUE(info.floorSeconds.has_value());
  } else {
    // The task's own box; the upload would end there, so no floor.
    EXPECT_EQ(info.failureBox, "Uknown file!!!");
    EXPECT_FALSE(info.floorSeconds.has_value());
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Table, NameTags,
    testing::Values(TagRow{"DAT", 0x01}, TagRow{"SER", 0x02}, TagRow{"APP", 0x04},
                    TagRow{"FORCE", 0x04}, TagRow{"FULL", 0x08}, TagRow{"zarnlogo.logo", 0x08},
                    TagRow{"app", std::nullopt}, TagRow{"", std::nullopt},
                    TagRow{"APPX", std::nullopt}),
    [](const testing::TestParamInfo<TagRow>& info) {
      return "Tag" + std::to_string(info.index);
    });
// clang-format on

TEST(ImageInfo, WrongBodySizeSaysWhatWouldBeSentInstead) {
  TempDir folder("zarn_info");
  const std::string path = folder.Write("odd.zarn", MakeImage("DAT", PatternBody(100), 0));
  const ImageInfo info = DescribeImage(path);
  ASSERT_TRUE(info.Sendable());
  EXPECT_EQ(info.headerBodySize, 0u);
  EXPECT_EQ(info.bodyLength, 100u);
  EXPECT_FALSE(info.BodySizeMatches());
}

TEST(ImageInfo, DspHeaderCarriesTheFittedNameAndTheSizeText) {
  TempDir folder("zarn_info");
  const std::string longName = std::string(150, 'n') + ".DSP";
  const std::string path = folder.Write(longName, std::vector<uint8_t>(2049, 'x'));
  const ImageInfo info = DescribeImage(path);
  ASSERT_TRUE(info.Sendable());
  EXPECT_EQ(info.protocol, UploadProtocol::Dsp);
  EXPECT_EQ(info.headerSizeText, "2049");
  // Name, zero, size text and zero fill the 128-byte field; the stem gave way.
  EXPECT_EQ(info.headerName.size() + 1 + 4 + 1, 128u);
  EXPECT_EQ(info.headerName.substr(info.headerName.size() - 4), ".DSP");
  EXPECT_EQ(info.units, 3);
}

TEST(ImageInfo, RefusedFilesCarryTheRulesRefusalAndNothingElse) {
  TempDir folder("zarn_info");
  const std::string shortImage = folder.Write("short.zarn", std::vector<uint8_t>(63, 'A'));
  const ImageInfo info = DescribeImage(shortImage);
  EXPECT_FALSE(info.Sendable());
  EXPECT_EQ(info.admission.refusal, CheckImage(shortImage, UploadProtocol::Zarn).refusal);
  EXPECT_TRUE(info.sha256.empty());
  EXPECT_FALSE(info.floorSeconds.has_value());
  EXPECT_FALSE(DescribeImage(folder.Path()).Sendable());
}

// --- SHA-256: the standard's examples, fed whole and in pieces.

struct ShaRow {
  std::string message;
  const char* digest;
};

class Sha256Vectors : public testing::TestWithParam<ShaRow> {};

TEST_P(Sha256Vectors, MatchTheStandardWholeAndInPieces) {
  const std::string& message = GetParam().message;
  Sha256 whole;
  whole.Update(reinterpret_cast<const uint8_t*>(message.data()), message.size());
  EXPECT_EQ(HexDigest(whole.Finish()), GetParam().digest);
  Sha256 pieces;
  for (size_t i = 0; i < message.size(); i += 7) {
    const size_t take = std::min<size_t>(7, message.size() - i);
    pieces.Update(reinterpret_cast<const uint8_t*>(message.data()) + i, take);
  }
  EXPECT_EQ(HexDigest(pieces.Finish()), GetParam().digest);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Fips180, Sha256Vectors,
    testing::Values(
        ShaRow{"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        ShaRow{"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        ShaRow{"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
               "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        ShaRow{std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}));
// clang-format on

// --- The floor: the benchmarks' imposed times as the README reports them
// (ZARN with the simulator's 20 ms flash), and a hand count of the smallest
// image.

TEST(ProtocolFloor, MatchesTheBenchmarksFigures) {
  using std::chrono::milliseconds;
  EXPECT_NEAR(ZarnFloorSeconds(64 * 1024, milliseconds(20)), 7.660, 0.0005);
  EXPECT_NEAR(ZarnFloorSeconds(1024 * 1024, milliseconds(20)), 103.131, 0.0005);
  EXPECT_NEAR(DspFloorSeconds(64 * 1024), 12.824, 0.0005);
  EXPECT_NEAR(DspFloorSeconds(1024 * 1024), 204.824, 0.0005);
}

TEST(ProtocolFloor, CountsThePausesOfAHeaderOnlyImageAndAnEmptyDspFile) {
  // Request and reply words on the line; 50 + 550 + 120 ms; 350 ms before
  // the end word; three 50 ms pauses around the flash reports.
  EXPECT_NEAR(ZarnFloorSeconds(64), 8 * 10 / 115200.0 + 0.720 + 0.350 + 0.150, 1e-9);
  EXPECT_EQ(ZarnPacketCount(64), 0);
  EXPECT_EQ(ZarnPacketCount(64 + 8188), 1);
  EXPECT_EQ(ZarnPacketCount(64 + 8189), 2);
  // No block: only the framing's 273 bytes on the line.
  EXPECT_NEAR(DspFloorSeconds(0), 273 * 10 / 115200.0, 1e-9);
  EXPECT_EQ(DspBlockCount(1025), 2);
}

}  // namespace
