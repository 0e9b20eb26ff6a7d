// zarn-stb-sim as a separate process: what it prints, a short upload, the
// saved image, and the link removed when it is stopped.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "PtyPair.h"
#include "ScriptedTool.h"
#include "TempDir.h"

extern char** environ;
namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr std::chrono::milliseconds kMustCome{10000};

// The program with its standard output on a pipe.
class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> args) {
    int fds[2];
    if (pipe(fds) != 0) {
      ADD_FAILURE() << "pipe";
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    args.insert(args.begin(), ZARN_STB_SIM_PATH);
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, ZARN_STB_SIM_PATH, &actions, nullptr, argv.data(), environ) != 0) {
      ADD_FAILURE() << "spawn " << ZARN_STB_SIM_PATH;
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    out_ = fds[0];
  }

  ~SimProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
  }

  // The next line that starts with `prefix` (earlier lines are skipped), or
  // "" when none comes in time.
  std::string LineStartingWith(const std::string& prefix) {
    const auto deadline = std::chrono::steady_clock::now() + kMustCome;
    for (;;) {
      for (size_t end; (end = pending_.find('\n')) != std::string::npos;) {
        std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd fd{out_, POLLIN, 0};
      if (left.count() <= 0 || poll(&fd, 1, static_cast<int>(left.count())) <= 0) return "";
      char chunk[1024];
      const ssize_t n = read(out_, chunk, sizeof chunk);
      if (n <= 0) return "";
      pending_.append(chunk, static_cast<size_t>(n));
    }
  }

  // Sends `signal` and returns the exit status.
  int StopWith(int signal) {
    kill(pid_, signal);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string pending_;
};

TEST(SimProgramTest, PrintsItsPortTakesAnUploadSavesItAndCleansUp) {
  TempDir dir{"zarn-sim"};
  const std::string saved = dir.Path() + "/received.img";
  SimProcess sim({"--no-pace", "--port-dir", dir.Path() + "/ports", "--save", saved, "--flash-time",
                  "1", "--restart-time", "1"});
  const std::string device = sim.LineStartingWith("device: ");
  ASSERT_FALSE(device.empty());
  EXPECT_EQ(sim.LineStartingWith("port: "), "COM31");
  const std::string link = dir.Path() + "/ports/COM31";
  EXPECT_EQ(fs::read_symlink(link), device);

  // The tool opens the link, as the port dialog would. The greeting repeats
  // once a second, so the first one may have gone before the open.
  ScriptedTool tool(link);
  EXPECT_EQ(tool.Receive(3, kMustCome), Bytes({'K', 'G', 'S'}));
  tool.Send(Word(0xAB446E01));
  ASSERT_EQ(tool.Receive(4, kMustCome), Word(0xBA446E90));
  const Bytes header = ZarnHeader(10, "DAT");
  const Bytes body = Pattern(10);
  tool.Send(header);
  ASSERT_EQ(tool.Receive(4, kMustCome), Word(0xAB9000AB));
  tool.Send(ZarnPacketBytes(body));
  ASSERT_EQ(tool.Receive(4, kMustCome), Word(0xAB41434B));
  tool.Send(Word(0xAB454E44));
  EXPECT_EQ(tool.Receive(8, kMustCome), Concat({Word(0xAB464C53), Word(0xAB9090AB)}));

  EXPECT_EQ(sim.LineStartingWith("saved: "), saved);
  std::ifstream in(saved, std::ios::binary);
  EXPECT_EQ(Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()),
            Concat({header, body}));

  EXPECT_EQ(sim.StopWith(SIGTERM), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

// The saved bytes of a .DSP transfer are the file's data; its name, which
// they lack, comes on the line before.
TEST(SimProgramTest, NamesASavedDspFile) {
  TempDir dir{"zarn-sim"};
  const std::string saved = dir.Path() + "/received.dsp";
  SimProcess sim({"--mode", "dsp", "--no-pace", "--no-link", "--save", saved, "--quiet"});
  const std::string device = sim.LineStartingWith("device: ");
  ASSERT_FALSE(device.empty());

  constexpr uint8_t kEot = 0x04, kAck = 0x06, kNak = 0x15;
  ScriptedTool tool(device);
  ASSERT_EQ(tool.Receive(1, kMustCome), Bytes({'C'}));
  const Bytes file = Pattern(30, 5);
  tool.Send(DspHeaderBlock("BOOT.DSP", static_cast<int64_t>(file.size())));
  ASSERT_EQ(tool.Receive(2, kMustCome), Bytes({kAck, 'C'}));
  tool.Send(DspDataBlock(1, file));
  ASSERT_EQ(tool.Receive(1, kMustCome), Bytes({kAck}));
  tool.Send({kEot});
  ASSERT_EQ(tool.Receive(1, kMustCome), Bytes({kNak}));
  tool.Send({kEot});
  ASSERT_EQ(tool.Receive(1, kMustCome), Bytes({kAck}));
  tool.Send(DspClosingBlock());
  ASSERT_EQ(tool.Receive(1, kMustCome), Bytes({kAck}));

  EXPECT_EQ(sim.LineStartingWith("name: "), "BOOT.DSP");
  EXPECT_EQ(sim.LineStartingWith("saved: "), saved);
  std::ifstream in(saved, std::ios::binary);
  EXPECT_EQ(Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), file);
  EXPECT_EQ(sim.StopWith(SIGTERM), 0);
}

// --com with a device path: the simulator opens the device as its line, as
// it would a serial port at the far end of a cable. The pair's slave stands
// for the device; the test is the tool on the master.
TEST(SimProgramTest, PlaysOnANamedDevice) {
  TempDir dir{"zarn-sim"};
  const std::string saved = dir.Path() + "/received.img";
  PtyPair cable;
  SimProcess sim({"--com", cable.SlavePath(), "--save", saved, "--quiet", "--once", "--flash-time",
                  "1", "--restart-time", "1"});
  EXPECT_EQ(sim.LineStartingWith("device: "), cable.SlavePath());

  const Bytes header = ZarnHeader(10, "DAT");
  const Bytes body = Pattern(10);
  EXPECT_EQ(cable.Receive(3, kMustCome), Bytes({'K', 'G', 'S'}));
  cable.Send(Word(0xAB446E01));
  ASSERT_EQ(cable.Receive(4, kMustCome), Word(0xBA446E90));
  cable.Send(header);
  ASSERT_EQ(cable.Receive(4, kMustCome), Word(0xAB9000AB));
  cable.Send(ZarnPacketBytes(body));
  ASSERT_EQ(cable.Receive(4, kMustCome), Word(0xAB41434B));
  cable.Send(Word(0xAB454E44));
  EXPECT_EQ(cable.Receive(8, kMustCome), Concat({Word(0xAB464C53), Word(0xAB9090AB)}));

  // No link: the device is the port.
  EXPECT_EQ(sim.LineStartingWith("saved: "), saved);
  std::ifstream in(saved, std::ios::binary);
  EXPECT_EQ(Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()),
            Concat({header, body}));
  EXPECT_EQ(sim.StopWith(SIGTERM), 0);
}

TEST(SimProgramTest, MissingDeviceEndsWithStatusOne) {
  TempDir dir{"zarn-sim"};
  SimProcess sim({"--com", dir.Path() + "/ttyNone"});
  EXPECT_EQ(sim.LineStartingWith("device: "), "");
  EXPECT_EQ(sim.StopWith(0), 1);
}

TEST(SimProgramTest, WrongArgumentsEndWithStatusTwo) {
  SimProcess sim({"--mode", "sideways"});
  // Nothing is printed on standard output; the status tells.
  EXPECT_EQ(sim.LineStartingWith("device: "), "");
  EXPECT_EQ(sim.StopWith(0), 2);
}

}  // namespace
