// The shipped sample images: each is an image the tool takes, with a correct
// BodySize and a name tag of its type code, and the DSP sample is there.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ZarnWords.h"

namespace {

std::vector<uint8_t> ReadFile(const std::string& name) {
  std::ifstream in(std::string(ZARN_SAMPLES_DIR) + "/" + name, std::ios::binary);
  EXPECT_TRUE(in) << name;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct SampleCase {
  const char* file;
  const char* nameTag;
  uint8_t typeCode;
};

void PrintTo(const SampleCase& c, std::ostream* os) { *os << c.file; }

class SampleImageTest : public ::testing::TestWithParam<SampleCase> {};

TEST_P(SampleImageTest, HeaderMatchesTheBody) {
  const std::vector<uint8_t> image = ReadFile(GetParam().file);
  ASSERT_GT(image.size(), zarn::kHeaderSize);
  EXPECT_EQ(zarn::BodySize(image.data()), image.size() - zarn::kHeaderSize);
  EXPECT_EQ(zarn::NameTag(image.data()), GetParam().nameTag);
  EXPECT_EQ(zarn::TypeCodeForNameTag(zarn::NameTag(image.data())), GetParam().typeCode);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Samples, SampleImageTest,
                         ::testing::Values(SampleCase{"sample_dat.DAT", "DAT", 0x01},
                                           SampleCase{"sample_ser.ZARN", "SER", 0x02},
                                           SampleCase{"sample_app.ZARN", "APP", 0x04},
                                           SampleCase{"sample_force.ZFL", "FORCE", 0x04},
                                           SampleCase{"sample_full.ZFL", "FULL", 0x08},
                                           SampleCase{"sample_logo.LOGO", "zarnlogo.logo", 0x08}),
                         [](const ::testing::TestParamInfo<SampleCase>& info) {
                           std::string name = info.param.file;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });
// clang-format on

TEST(SampleDspTest, IsThereAndSpansSeveralBlocks) {
  EXPECT_GT(ReadFile("sample.DSP").size(), 4u * 1024);
}

}  // namespace
