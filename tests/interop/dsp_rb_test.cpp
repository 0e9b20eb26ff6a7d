// A DSP upload received by lrzsz's `rb --ymodem`, a YMODEM receiver written
// elsewhere, reached through socat's pseudo-terminal the way a real line
// would carry it. The file rb writes must equal the original byte for byte.
//
// The task runs on the line-aware clock: its waits keep real time (rb's
// repeats of 'C' do), while the 200 ms pause after each block ends as soon as
// rb has answered. One row keeps the real clock throughout. The fast transfer
// has rows of its own: it has no pause, each block going out as soon as rb
// has acknowledged the last, so the block boundaries and rb's handling of the
// byte that trails each block meet at full line speed.
//
// rb is started only once the task waits for first contact: rb sends its
// first 'C' at once and the next one about ten seconds later, while the task
// empties the port's buffers when it starts. A FIFO gate in the temporary
// directory holds rb back until the test opens it.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Adport.h"
#include "FakeTaskHost.h"
#include "LineAwareClock.h"
#include "PortSetup.h"
#include "TempDir.h"
#include "Unit2.h"
#include "WaitUntil.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Generous deadlines: the largest case would need about 52 s of 200 ms pauses
// on the real clock.
constexpr auto kPeerStartDeadline = 10s;
constexpr auto kUploadDeadline = 150s;
// The task's wait slices take their full length of real time, as rb's own
// timing is real.
constexpr auto kRealWaitPerSlice = 50ms;
// How long a pause after a block waits for rb's answer, in real time; a slow
// machine then never turns a late answer into a resend.
constexpr auto kBlockReplyDeadline = 3s;
constexpr auto kPeerExitDeadline = 15s;

std::vector<uint8_t> Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// socat with rb behind a gate, running in its own temporary directory, where
// rb also writes what it receives.
class RbPeer {
 public:
  explicit RbPeer(const fs::path& dir) : dir_(dir) {
    gate_ = dir_ / "go";
    port_ = dir_ / "port";
    if (mkfifo(gate_.c_str(), 0600) != 0) {
      ADD_FAILURE() << "mkfifo: " << std::strerror(errno);
      return;
    }
    const std::string pty = "PTY,link=" + port_.string() + ",raw,echo=0";
    const std::string peer = "SYSTEM:read gate < go; exec rb --ymodem";
    pid_ = fork();
    if (pid_ == 0) {
      if (chdir(dir_.c_str()) != 0) _exit(127);
      const int devNull = open("/dev/null", O_WRONLY);
      if (devNull >= 0) dup2(devNull, STDERR_FILENO);
      execlp("socat", "socat", pty.c_str(), peer.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    if (pid_ < 0) ADD_FAILURE() << "fork: " << std::strerror(errno);
  }

  ~RbPeer() {
    if (gateFd_ >= 0) close(gateFd_);
    if (pid_ > 0 && !Exited(0ms)) {
      kill(pid_, SIGTERM);
      Exited(kPeerExitDeadline);
    }
  }

  const fs::path& PortPath() const { return port_; }

  bool PortReady() {
    return WaitUntil([&] { return fs::exists(port_); }, kPeerStartDeadline);
  }

  // Lets rb start. Opening the FIFO without blocking fails until the shell
  // behind socat has opened its end.
  bool OpenGate() {
    const bool opened = WaitUntil(
        [&] {
          gateFd_ = open(gate_.c_str(), O_WRONLY | O_NONBLOCK);
          return gateFd_ >= 0;
        },
        kPeerStartDeadline);
    if (!opened) return false;
    const char line[] = "go\n";
    return write(gateFd_, line, sizeof line - 1) == static_cast<ssize_t>(sizeof line - 1);
  }

  // True once socat (and rb with it) has ended; its exit status in `status`.
  bool Exited(std::chrono::milliseconds limit) {
    if (reaped_) return true;
    return WaitUntil(
        [&] {
          if (waitpid(pid_, &status_, WNOHANG) == pid_) reaped_ = true;
          return reaped_;
        },
        limit);
  }
  int Status() const { return status_; }

 private:
  fs::path dir_;
  fs::path gate_;
  fs::path port_;
  pid_t pid_ = -1;
  int gateFd_ = -1;
  bool reaped_ = false;
  int status_ = 0;
};

struct RbCase {
  const char* label;
  size_t size;
  bool realTime = false;  // the task's own clock instead of the line-aware one
  DspPacing pacing = DspPacing::PausePerBlock;
};
void PrintTo(const RbCase& c, std::ostream* os) {
  *os << c.size << " bytes" << (c.pacing == DspPacing::AckDriven ? ", fast" : "");
}

class DspUploadToRb : public ::testing::TestWithParam<RbCase> {
 protected:
  void SetUp() override { fs::create_directory(dir_ / "source"); }

  TempDir dir_{"zarn-dsp-rb"};
};

TEST_P(DspUploadToRb, ReceivedFileEqualsOriginal) {
  const RbCase& c = GetParam();
  // Lower-case name: rb turns an all-capitals YMODEM name to lower case.
  const std::string name = "image_" + std::to_string(c.size) + ".dsp";
  const fs::path source = dir_ / "source" / name;
  std::vector<uint8_t> original(c.size);
  uint32_t seed = 0x2545F491u ^ static_cast<uint32_t>(c.size);
  for (auto& byte : original) {
    seed = seed * 1664525u + 1013904223u;
    byte = static_cast<uint8_t>(seed >> 24);
  }
  {
    std::ofstream out(source, std::ios::binary);
    out.write(reinterpret_cast<const char*>(original.data()),
              static_cast<std::streamsize>(original.size()));
  }

  RbPeer rb(dir_.Path());
  ASSERT_TRUE(rb.PortReady()) << "socat made no pseudo-terminal";

  TApdComPort port;
  OpenPortOn(port, rb.PortPath().string());
  FakeTaskHost host(port);
  host.SetChosenPath(source.string());

  FakeTaskClock::Options clockOptions;
  clockOptions.realWaitPerSlice = kRealWaitPerSlice;
  clockOptions.pauseScale = 0;  // a pause waits for rb's answer instead
  LineAwareClock clock(port, clockOptions, kBlockReplyDeadline);
  if (c.realTime) {
    new UpDspThread(host, RealTaskClock(), c.pacing);
  } else {
    new UpDspThread(host, clock, c.pacing);
  }
  auto logHas = [&](const std::string& line) {
    const auto log = host.Log();
    return std::find(log.begin(), log.end(), line) != log.end();
  };
  ASSERT_TRUE(host.PumpUntil([&] { return logHas("Waiting for STB..."); }, kPeerStartDeadline));
  ASSERT_TRUE(rb.OpenGate()) << "the shell behind socat never opened the gate";

  ASSERT_TRUE(host.RunUntilTaskEnds(kUploadDeadline));
  port.SetOpen(false);

  const auto log = host.Log();
  EXPECT_TRUE(host.Boxes().empty()) << host.Boxes().front().text;
  EXPECT_EQ(host.Ended(), std::optional<bool>(true));
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "Download task terminated!!!");
  EXPECT_TRUE(logHas("connection established!!!"));
  EXPECT_EQ(logHas("Fast transfer"), c.pacing == DspPacing::AckDriven);
  const auto packets = std::count_if(log.begin(), log.end(), [](const std::string& line) {
    return line.rfind("Packet ", 0) == 0;
  });
  EXPECT_EQ(static_cast<size_t>(packets), (c.size + 1023) / 1024);

  ASSERT_TRUE(rb.Exited(kPeerExitDeadline)) << "rb did not end after the closing block";
  EXPECT_TRUE(WIFEXITED(rb.Status()) && WEXITSTATUS(rb.Status()) == 0);
  const fs::path received = dir_ / name;
  ASSERT_TRUE(fs::exists(received));
  EXPECT_TRUE(Contents(received) == original)
      << "rb wrote " << fs::file_size(received) << " bytes for " << original.size();
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Sizes, DspUploadToRb,
    ::testing::Values(RbCase{"Empty", 0}, RbCase{"OneByte", 1}, RbCase{"OneBlockAndAByte", 1025},
                      RbCase{"TwoBlocksRealTime", 2048, true},
                      // 258 blocks: the block number wraps past 0xFF.
                      RbCase{"BlockNumberWraps", 256 * 1024 + 100}),
    [](const auto& info) { return std::string(info.param.label); });
// clang-format on

constexpr DspPacing kFast = DspPacing::AckDriven;
// clang-format off
INSTANTIATE_TEST_SUITE_P(
    FastSizes, DspUploadToRb,
    ::testing::Values(RbCase{"Empty", 0, false, kFast}, RbCase{"OneByte", 1, false, kFast},
                      RbCase{"OneShortOfABlock", 1023, false, kFast},
                      RbCase{"OneBlock", 1024, false, kFast},
                      RbCase{"OneBlockAndAByte", 1025, false, kFast},
                      RbCase{"TwoBlocksRealTime", 2048, true, kFast},
                      // 300 blocks at the line's own pace, the number wrapping.
                      RbCase{"ThreeHundredBlocks", 300 * 1024, false, kFast}),
    [](const auto& info) { return std::string(info.param.label); });
// clang-format on

}  // namespace
