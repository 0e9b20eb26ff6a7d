// The "COM<n>" links that make the simulator show up in the tool's port list.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "PortLink.h"
#include "PortList.h"
#include "StbSimulator.h"
#include "TempDir.h"

namespace fs = std::filesystem;

namespace {

TEST(PortLinkTest, TakesTheLowestFreeNumberAndPointsAtTheTarget) {
  TempDir dir{"zarn-sim"};
  const auto first = stbsim::CreatePortLink("/dev/null", dir.Path());
  const auto second = stbsim::CreatePortLink("/dev/zero", dir.Path());
  EXPECT_EQ(first.name, "COM31");
  EXPECT_EQ(second.name, "COM32");
  EXPECT_EQ(fs::read_symlink(first.path), "/dev/null");
  EXPECT_EQ(fs::read_symlink(second.path), "/dev/zero");
  stbsim::RemovePortLink(first, "/dev/null");
  EXPECT_FALSE(fs::exists(fs::symlink_status(first.path)));
  EXPECT_EQ(stbsim::CreatePortLink("/dev/full", dir.Path()).name, "COM31")
      << "a removed number is free again";
}

TEST(PortLinkTest, DanglingLinkIsReplacedButOtherEntriesAreKept) {
  TempDir dir{"zarn-sim"};
  fs::create_symlink(dir.Path() + "/gone", dir.Path() + "/COM31");
  std::ofstream(dir.Path() + "/COM32") << "not a link";
  const auto link = stbsim::CreatePortLink("/dev/null", dir.Path());
  EXPECT_EQ(link.name, "COM31");
  EXPECT_EQ(fs::read_symlink(link.path), "/dev/null");
  EXPECT_EQ(stbsim::CreatePortLink("/dev/null", dir.Path()).name, "COM33");
  EXPECT_TRUE(fs::is_regular_file(dir.Path() + "/COM32"));
}

TEST(PortLinkTest, RemovesOnlyItsOwnLink) {
  TempDir dir{"zarn-sim"};
  const auto link = stbsim::CreatePortLink("/dev/null", dir.Path());
  // Another simulator took the name over after a crash.
  fs::remove(link.path);
  fs::create_symlink("/dev/zero", link.path);
  stbsim::RemovePortLink(link, "/dev/null");
  EXPECT_EQ(fs::read_symlink(link.path), "/dev/zero");
}

TEST(PortLinkTest, NoLinkWhenEveryNumberIsTaken) {
  TempDir dir{"zarn-sim"};
  for (int n = kFirstLinkPortNumber; n <= kLastLinkPortNumber; ++n)
    ASSERT_FALSE(stbsim::CreatePortLink("/dev/null", dir.Path()).name.empty());
  EXPECT_TRUE(stbsim::CreatePortLink("/dev/null", dir.Path()).name.empty());
}

TEST(PortLinkTest, MissingFoldersAreMadePrivate) {
  TempDir dir{"zarn-sim"};
  const std::string folder = dir.Path() + "/a/b/ports";
  EXPECT_EQ(stbsim::CreatePortLink("/dev/null", folder).name, "COM31");
  EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST(PortLinkTest, SimulatorLinksItsLineForItsLifetime) {
  TempDir dir{"zarn-sim"};
  std::string linkPath;
  {
    stbsim::SimOptions options;
    options.makePortLink = true;
    options.portDir = dir.Path();
    stbsim::StbSimulator sim(options);
    EXPECT_EQ(sim.PortName(), "COM31");
    linkPath = sim.PortLinkPath();
    EXPECT_EQ(fs::read_symlink(linkPath), sim.SlavePath());
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(linkPath)));
}

}  // namespace
