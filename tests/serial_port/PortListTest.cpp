// Port numbers, the link folder for pseudo-terminals, and the listing.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "PortFixture.h"
#include "PortList.h"
#include "TempDir.h"

namespace {

namespace fs = std::filesystem;

// Sets or removes an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

struct FolderCase {
  const char* PortDir;
  const char* RuntimeDir;
  std::string want;
};

void PrintTo(const FolderCase& c, std::ostream* os) { *os << c.want; }

class LinkFolder : public testing::TestWithParam<FolderCase> {};

TEST_P(LinkFolder, FollowsTheEnvironment) {
  ScopedEnv portDir("ZARN_PORT_DIR", GetParam().PortDir);
  ScopedEnv runtime("XDG_RUNTIME_DIR", GetParam().RuntimeDir);
  EXPECT_EQ(PortLinkFolder(), GetParam().want);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Environments, LinkFolder,
    testing::Values(FolderCase{"/x/ports", "/run/user/5", "/x/ports"},
                    FolderCase{nullptr, "/run/user/5", "/run/user/5/zarn-loader/ports"},
                    FolderCase{"", "/run/user/5", "/run/user/5/zarn-loader/ports"},
                    FolderCase{nullptr, nullptr,
                               "/tmp/zarn-loader-" + std::to_string(getuid()) + "/ports"}));
// clang-format on

struct NumberCase {
  uint16_t number;
  std::string device;
};

void PrintTo(const NumberCase& c, std::ostream* os) { *os << "COM" << c.number; }

class FixedNumbers : public testing::TestWithParam<NumberCase> {};

TEST_P(FixedNumbers, NameTheirDevice) {
  ScopedEnv portDir("ZARN_PORT_DIR", "/links");
  EXPECT_EQ(DeviceForComNumber(GetParam().number), GetParam().device);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Numbers, FixedNumbers,
                         testing::Values(NumberCase{0, ""}, NumberCase{11, "/dev/ttyUSB0"},
                                         NumberCase{20, "/dev/ttyUSB9"},
                                         NumberCase{21, "/dev/ttyACM0"},
                                         NumberCase{30, "/dev/ttyACM9"},
                                         NumberCase{31, "/links/COM31"},
                                         NumberCase{50, "/links/COM50"}, NumberCase{51, ""},
                                         NumberCase{65535, ""}));
// clang-format on

TEST(PortNumbers, UartsWithoutHardwareNameNoDevice) {
  for (uint16_t n = 1; n <= 10; ++n) {
    const std::string device = DeviceForComNumber(n);
    if (device.empty()) continue;
    EXPECT_EQ(device, "/dev/ttyS" + std::to_string(n - 1));
    // A UART that is named must have a driver behind it.
    EXPECT_TRUE(fs::exists(fs::path("/sys/class/tty") / ("ttyS" + std::to_string(n - 1)) /
                           "device" / "driver"));
  }
}

class PortListing : public testing::Test {
 protected:
  void Link(const std::string& name, const fs::path& target) {
    fs::create_symlink(target, dir / name);
  }
  TempDir dir{"zarn-serial"};
  ScopedEnv env{"ZARN_PORT_DIR", dir.Path().c_str()};
};

TEST_F(PortListing, ListsLiveLinksOnlyAndFindsTheirNumbers) {
  PtyPair free, held;
  Link("COM31", free.SlavePath());
  Link("COM32", dir / "gone");  // dangling
  std::ofstream(dir / "plain") << "x";
  Link("COM34", dir / "plain");  // not a terminal
  Link("COM35", held.SlavePath());
  Link("COM51", free.SlavePath());  // beyond the numbers
  Link("ttyX", free.SlavePath());   // not a port name
  TApdComPort holder;
  ConfigureLikeMainWindow(holder, held.SlavePath());
  holder.SetOpen(true);

  std::vector<uint16_t> linked;
  for (const TPortInfo& info : ListPorts()) {
    if (info.number < 31) continue;
    linked.push_back(info.number);
    EXPECT_EQ(info.description, "pseudo-terminal");
    EXPECT_EQ(info.path, (dir / ("COM" + std::to_string(info.number))).string());
  }
  EXPECT_EQ(linked, (std::vector<uint16_t>{31, 35}));
  EXPECT_TRUE(IsPortAvailable(35));  // held by another holder, still listed
  EXPECT_FALSE(IsPortAvailable(32));
  EXPECT_FALSE(IsPortAvailable(34));
  EXPECT_FALSE(IsPortAvailable(0));
  EXPECT_FALSE(IsPortAvailable(51));

  EXPECT_EQ(ComNumberForDevice(free.SlavePath()), std::optional<uint16_t>(31));
  EXPECT_EQ(ComNumberForDevice((dir / "COM35").string()), std::optional<uint16_t>(35));
  EXPECT_EQ(ComNumberForDevice("/dev/ttyUSB3"), std::optional<uint16_t>(14));
  // The number names the path whether or not a terminal is behind it.
  EXPECT_EQ(ComNumberForDevice((dir / "plain").string()), std::optional<uint16_t>(34));
  EXPECT_EQ(ComNumberForDevice("/nowhere/at/all"), std::nullopt);

  // The probe of a free port leaves it free.
  TApdComPort port;
  ConfigureLikeMainWindow(port, "");
  port.SetComNumber(31);
  port.SetOpen(true);
  EXPECT_TRUE(port.Open());
}

TEST_F(PortListing, AMissingFolderListsNoLinks) {
  ScopedEnv missing("ZARN_PORT_DIR", (dir / "absent").c_str());
  for (const TPortInfo& info : ListPorts()) EXPECT_LT(info.number, 31);
}

}  // namespace
