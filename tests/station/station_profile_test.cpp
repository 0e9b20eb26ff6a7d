// Station profiles: what a profile file gives the station, paths relative to
// its folder, a written profile read back, and the files refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "StationCommandLine.h"
#include "StationProfile.h"
#include "TempDir.h"

namespace {

using namespace std::chrono_literals;

std::string WriteText(const TempDir& folder, const std::string& name, const std::string& text) {
  const std::string path = (folder / name).string();
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

TEST(StationProfile, ResolvesItsPathsAgainstItsOwnFolder) {
  TempDir folder("zarn_profile");
  const std::string path = WriteText(folder, "bench/line1.ini",
                                     "[station]\n"
                                     "image=firmware/unit.DSP\n"
                                     "ports=COM31, COM32, /dev/ttyUSB0\n"
                                     "fast=true\n"
                                     "record=../records/line1.csv\n"
                                     "loop=true\n"
                                     "rearmQuietMs=2500\n"
                                     "locked=true\n");
  std::string error;
  const std::optional<StationProfile> profile = LoadStationProfile(path, error);
  ASSERT_TRUE(profile) << error;
  const StationConfig& config = profile->config;
  const std::string root = std::filesystem::canonical(folder.Path()).string();
  EXPECT_EQ(config.imagePath, root + "/bench/firmware/unit.DSP");
  EXPECT_EQ(config.recordPath, root + "/records/line1.csv");
  EXPECT_EQ(config.ports, (std::vector<std::string>{"COM31", "COM32", "/dev/ttyUSB0"}));
  EXPECT_TRUE(config.fast);
  EXPECT_TRUE(config.loop);
  EXPECT_EQ(config.rearmQuiet, 2500ms);
  EXPECT_TRUE(profile->locked);
}

TEST(StationProfile, ReadsBackWhatItWroteWithPathsInsideItsFolderKeptRelative) {
  TempDir folder("zarn_profile");
  const std::string root = std::filesystem::canonical(folder.Path()).string();
  StationProfile written;
  written.config.imagePath = root + "/images/unit.ZARN";
  written.config.recordPath = "/var/tmp/elsewhere.csv";
  written.config.ports = {"COM31", "/dev/ttyUSB1"};
  written.config.loop = true;
  written.config.rearmQuiet = 4000ms;
  const std::string path = (folder / "station.ini").string();
  ASSERT_EQ(SaveStationProfile(path, written), "");

  std::ifstream in(path);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("image=images/unit.ZARN"), std::string::npos) << text;

  std::string error;
  const std::optional<StationProfile> read = LoadStationProfile(path, error);
  ASSERT_TRUE(read) << error;
  EXPECT_EQ(read->config.imagePath, written.config.imagePath);
  EXPECT_EQ(read->config.recordPath, written.config.recordPath);
  EXPECT_EQ(read->config.ports, written.config.ports);
  EXPECT_EQ(read->config.loop, true);
  EXPECT_EQ(read->config.fast, false);
  EXPECT_EQ(read->config.rearmQuiet, 4000ms);
  EXPECT_FALSE(read->locked);
}

struct BadProfileRow {
  const char* name;
  const char* text;  // nullptr: no file at all
  std::string error;
};

void PrintTo(const BadProfileRow& row, std::ostream* os) { *os << row.name; }

class BadProfiles : public testing::TestWithParam<BadProfileRow> {};

TEST_P(BadProfiles, AreRefusedWithTheirReason) {
  TempDir folder("zarn_profile");
  const BadProfileRow& row = GetParam();
  const std::string path =
      row.text ? WriteText(folder, "p.ini", row.text) : (folder / "none.ini").string();
  std::string error;
  EXPECT_FALSE(LoadStationProfile(path, error));
  EXPECT_EQ(error, row.error);
}

INSTANTIATE_TEST_SUITE_P(
    Station, BadProfiles,
    testing::Values(
        BadProfileRow{"missing", nullptr, "the profile cannot be read"},
        BadProfileRow{"no image", "[station]\nports=COM31\n", "the profile names no image"},
        BadProfileRow{"no ports", "[station]\nimage=a.ZARN\nports=\n", "the profile names no port"},
        BadProfileRow{"re-arm time not a number",
                      "[station]\nimage=a.ZARN\nports=COM31\nrearmQuietMs=soon\n",
                      "rearmQuietMs must be a number of milliseconds above 0"}));

TEST(StationProfile, IsGivenOnTheCommandLineInPlaceOfTheSettings) {
  const ParsedStationCommand parsed = ParseStationCommandLine({"--console", "bench/Line1.INI"});
  ASSERT_TRUE(parsed.command) << parsed.error;
  EXPECT_EQ(parsed.command->profilePath, "bench/Line1.INI");
  const ParsedStationCommand mixed =
      ParseStationCommandLine({"--console", "--loop", "bench/line1.ini"});
  EXPECT_FALSE(mixed.command);
  EXPECT_EQ(mixed.error, "a profile holds the station's settings: give it alone");
  EXPECT_FALSE(ParseStationCommandLine({"--console", "--port", "COM31", "line1.ini"}).command);
  // Without --console the profile opens the window.
  const ParsedStationCommand window = ParseStationCommandLine({"bench/line1.ini"});
  ASSERT_TRUE(window.command) << window.error;
  EXPECT_FALSE(window.command->console);
  EXPECT_EQ(window.command->profilePath, "bench/line1.ini");
}

}  // namespace
