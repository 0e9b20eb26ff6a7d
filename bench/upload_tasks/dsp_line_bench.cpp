// The DSP upload's two pacings side by side with lrzsz's `sb --ymodem`, each
// sending the same file into lrzsz's `rb --ymodem` over a line paced at
// 115200 bits per second in both directions (LinePacer).
//
//   zarn-dsp-line-bench [--rounds N] [SIZE...]   SIZE as 64K or 1M (default 64K)
//   zarn-dsp-line-bench 64K 1M                   the README's figures (~15 min)
//
// Each round runs the three senders one after the other (zarn-upload,
// zarn-upload --fast, sb --ymodem), so that a change in the machine's load
// falls on all three; rb writes the file into a folder of its own and the
// round compares it with the original byte for byte.
//
// Time of one transfer: from the first byte the sender puts on the line (its
// header block, the answer to rb's 'C') to the last byte delivered either way
// (rb's acknowledgement of the closing block). Reported per size: the mean
// seconds of each sender, their ratio to sb's, the payload rate as a share of
// the line's 11520 bytes per second, and zarn-upload's processor use in the
// fast transfer (its user and system time over its whole run, divided by the
// transfer time).
// Goals: fast <= 0.75 x sb; fast payload >= 90 % of the line at 1 MiB; the
// default pacing <= 1.02 x its floor (200 ms per data block plus the line time
// of the header and closing blocks, the EOTs and rb's answers); processor use
// in the fast transfer < 2 % of a core. Exits 1 when one is missed, 2 when the
// bench could not run.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "BenchHarness.h"
#include "LinePacer.h"
#include "ProtocolFloor.h"
#include "TempDir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using bench::LinePacer;

const std::string kZarnUpload = ZARN_UPLOAD_PATH;
constexpr size_t kDefaultSize = 64 * 1024;
constexpr int kDefaultRounds = 2;
constexpr double kFastToSbGoal = 0.75;
constexpr double kFastPayloadGoal = 0.90;
constexpr size_t kPayloadGoalFrom = 1024 * 1024;
constexpr double kDefaultFloorGoal = 1.02;
constexpr double kFastCpuGoal = 0.02;
// rb is started once zarn-upload has emptied its port and waits for it: rb's
// first 'C' would be flushed away before that. sb takes its line as it
// starts; rb follows after this grace.
constexpr auto kSbStartGrace = 300ms;
constexpr auto kStartDeadline = 10s;

enum class Sender { Default, Fast, Sb };
const char* Name(Sender sender) {
  switch (sender) {
    case Sender::Default: return "zarn-upload";
    case Sender::Fast: return "zarn-upload --fast";
    case Sender::Sb: return "sb --ymodem";
  }
  return "";
}

std::vector<uint8_t> Pattern(size_t size) {
  std::vector<uint8_t> bytes(size);
  uint32_t state = 0xC0FFEE11u ^ static_cast<uint32_t>(size);
  for (auto& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<uint8_t>(state >> 24);
  }
  return bytes;
}

std::vector<uint8_t> Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A child process with its status and processor time once reaped.
struct Child {
  pid_t pid = -1;
  bool reaped = false;
  int status = 0;
  double cpuSeconds = 0;
  LinePacer::Clock::time_point started;
  LinePacer::Clock::time_point ended;

  bool Exited() {
    if (reaped || pid <= 0) return true;
    rusage usage{};
    if (wait4(pid, &status, WNOHANG, &usage) != pid) return false;
    reaped = true;
    ended = LinePacer::Clock::now();
    cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return true;
  }
  bool Succeeded() const { return reaped && WIFEXITED(status) && WEXITSTATUS(status) == 0; }
  void Kill() {
    if (!reaped && pid > 0) {
      kill(pid, SIGKILL);
      while (!Exited()) usleep(1000);
    }
  }
};

// Runs `argv` with stdin and stdout on `device` (or on `lineFd` when given;
// stdout into `stdoutPipe` when given), in `folder`; stderr goes to `folder`/stderr-<program>.txt,
// which a failed round prints.
Child Spawn(const std::vector<std::string>& argv, const std::string& device, const fs::path& folder,
            int stdoutPipe = -1, int lineFd = -1) {
  Child child;
  child.started = LinePacer::Clock::now();
  child.pid = fork();
  if (child.pid == 0) {
    if (chdir(folder.c_str()) != 0) _exit(127);
    const int line = lineFd >= 0 ? lineFd : open(device.c_str(), O_RDWR | O_NOCTTY);
    const std::string errors = "stderr-" + fs::path(argv[0]).filename().string() + ".txt";
    const int errorFile = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (line < 0 || errorFile < 0) _exit(127);
    dup2(line, STDIN_FILENO);
    dup2(stdoutPipe >= 0 ? stdoutPipe : line, STDOUT_FILENO);
    dup2(errorFile, STDERR_FILENO);
    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  return child;
}

void PrintErrors(const fs::path& folder) {
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("stderr-", 0) != 0) continue;
    const auto bytes = Contents(entry.path());
    std::fprintf(stderr, "  --- %s:\n%.*s\n", name.c_str(), static_cast<int>(bytes.size()),
                 reinterpret_cast<const char*>(bytes.data()));
  }
}

struct Result {
  bool ok = false;
  double seconds = 0;
  double cpuShare = 0;
  size_t senderBytes = 0;
};

Result RunOnce(Sender sender, const fs::path& file, const std::vector<uint8_t>& original,
               const fs::path& folder) {
  Result result;
  const fs::path into = folder / "received";
  fs::remove_all(into);
  fs::create_directories(into);
  LinePacer line(bench::kBaud);
  if (!line.Ready()) {
    std::fprintf(stderr, "no pseudo-terminal for the line\n");
    return result;
  }
  // Twice the default pacing's floor and a minute more.
  const auto deadline = LinePacer::Clock::now() +
                        std::chrono::milliseconds(400 * ((original.size() + 1023) / 1024) + 60'000);

  Child tool;
  int log = -1;  // zarn-upload's standard output, read and dropped
  std::string seen;
  const auto drainLog = [&] {
    char chunk[4096];
    ssize_t got = 0;
    while (log >= 0 && (got = read(log, chunk, sizeof chunk)) > 0)
      seen.append(chunk, static_cast<size_t>(got));
  };
  struct LogCloser {
    int& fd;
    ~LogCloser() {
      if (fd >= 0) close(fd);
    }
  } logCloser{log};
  if (sender == Sender::Sb) {
    tool = Spawn({"sb", "--ymodem", file.string()}, line.SenderPath(), folder);
    line.Pump([] { return false; }, LinePacer::Clock::now() + kSbStartGrace);
  } else {
    int out[2];
    if (pipe(out) != 0) return result;
    std::vector<std::string> argv = {kZarnUpload, "--port", line.SenderPath()};
    if (sender == Sender::Fast) argv.push_back("--fast");
    argv.push_back(file.string());
    tool = Spawn(argv, line.SenderPath(), folder, out[1]);
    close(out[1]);
    log = out[0];
    fcntl(log, F_SETFL, fcntl(log, F_GETFL) | O_NONBLOCK);
    // Its first line, "Waiting for STB...", follows its flush.
    const bool waiting = line.Pump(
        [&] {
          drainLog();
          return seen.find("Waiting for STB...\n") != std::string::npos || tool.Exited();
        },
        LinePacer::Clock::now() + kStartDeadline);
    if (!waiting || tool.reaped) {
      std::fprintf(stderr, "%s did not start\n", Name(sender));
      tool.Kill();
      return result;
    }
  }
  Child rb = Spawn({"rb", "--ymodem"}, "", into, -1, line.ReceiverSocket());
  const bool ended = line.Pump(
      [&] {
        drainLog();
        return rb.Exited() && tool.Exited();
      },
      deadline);
  if (!ended) {
    std::fprintf(stderr, "%s: the transfer did not end in time\n", Name(sender));
    tool.Kill();
    rb.Kill();
    PrintErrors(folder);
    return result;
  }
  const fs::path received = into / file.filename();
  const bool same = fs::exists(received) && Contents(received) == original;
  if (!tool.Succeeded() || !rb.Succeeded() || !same || !line.FirstSenderByte() ||
      !line.LastByte()) {
    std::fprintf(stderr, "%s: failed (sender status %d, rb status %d, file %s)\n", Name(sender),
                 tool.status, rb.status, same ? "equal" : "missing or different");
    if (!seen.empty()) std::fprintf(stderr, "  --- its log:\n%s", seen.c_str());
    PrintErrors(folder);
    return result;
  }
  result.ok = true;
  result.seconds =
      std::chrono::duration<double>(*line.LastByte() - *line.FirstSenderByte()).count();
  result.cpuShare = tool.cpuSeconds / result.seconds;
  result.senderBytes = line.SenderBytes();
  return result;
}

double Mean(const std::vector<double>& values) {
  double sum = 0;
  for (double value : values) sum += value;
  return values.empty() ? 0 : sum / static_cast<double>(values.size());
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = kDefaultRounds;
  std::vector<char*> sizeArgs = {argv[0]};
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
      rounds = std::atoi(argv[++i]);
    } else {
      sizeArgs.push_back(argv[i]);
    }
  }
  const auto sizes = bench::ParseSizes(static_cast<int>(sizeArgs.size()), sizeArgs.data(),
                                       {kDefaultSize}, 0, " (and --rounds N)");
  if (!sizes || rounds < 1) return 2;

  const TempDir dir("zarn-dsp-line-bench");
  std::printf("work folder (each program's stderr is kept there): %s\n", dir.Path().c_str());
  bool ok = true;
  const double lineRate = bench::kBaud / bench::kBitsPerByte;
  std::printf("%-9s %-19s %5s %9s %8s %8s %7s\n", "size", "sender", "round", "seconds", "x sb",
              "payload", "cpu");
  for (size_t size : *sizes) {
    // rb writes the name it receives; lower case, as it would turn an
    // all-capitals name into lower case.
    const fs::path file = fs::path(dir.Path()) / ("bench_" + std::to_string(size) + ".dsp");
    const std::vector<uint8_t> original = Pattern(size);
    {
      std::ofstream out(file, std::ios::binary);
      out.write(reinterpret_cast<const char*>(original.data()),
                static_cast<std::streamsize>(original.size()));
    }
    std::map<Sender, std::vector<double>> seconds;
    std::vector<double> fastCpu;
    for (int round = 1; round <= rounds; ++round) {
      for (Sender sender : {Sender::Default, Sender::Fast, Sender::Sb}) {
        const Result r = RunOnce(sender, file, original, dir.Path());
        if (!r.ok) {
          ok = false;
          continue;
        }
        seconds[sender].push_back(r.seconds);
        if (sender == Sender::Fast) fastCpu.push_back(r.cpuShare);
        std::printf("%-9zu %-19s %5d %9.3f %8s %7.1f%% %6.2f%%   (%zu bytes sent)\n", size,
                    Name(sender), round, r.seconds, "",
                    100.0 * static_cast<double>(size) / r.seconds / lineRate, 100.0 * r.cpuShare,
                    r.senderBytes);
        std::fflush(stdout);
      }
    }
    if (seconds[Sender::Sb].empty() || seconds[Sender::Fast].empty() ||
        seconds[Sender::Default].empty()) {
      std::printf("%zu bytes: a sender never completed\n", size);
      ok = false;
      continue;
    }
    const double sb = Mean(seconds[Sender::Sb]);
    const double floor = DspFloorSeconds(static_cast<int64_t>(size));
    std::printf("\n%zu bytes, mean of %d rounds:\n", size, rounds);
    for (Sender sender : {Sender::Default, Sender::Fast, Sender::Sb}) {
      const double mean = Mean(seconds[sender]);
      std::printf("  %-19s %9.3f s  x%.3f of sb  payload %5.1f%% of the line\n", Name(sender), mean,
                  mean / sb, 100.0 * static_cast<double>(size) / mean / lineRate);
    }
    const double fast = Mean(seconds[Sender::Fast]);
    const double fastPayload = static_cast<double>(size) / fast / lineRate;
    const double defaultRatio = Mean(seconds[Sender::Default]) / floor;
    const double cpu = Mean(fastCpu);
    const auto verdict = [&](bool met) {
      ok = ok && met;
      return met ? "ok" : "MISSED";
    };
    std::printf("  goal fast <= %.2f x sb: x%.3f %s\n", kFastToSbGoal, fast / sb,
                verdict(fast <= kFastToSbGoal * sb));
    if (size >= kPayloadGoalFrom) {
      std::printf("  goal fast payload >= %.0f%% of the line: %.1f%% %s\n", 100 * kFastPayloadGoal,
                  100 * fastPayload, verdict(fastPayload >= kFastPayloadGoal));
    }
    std::printf("  goal default <= %.2f x its floor %.3f s: x%.4f %s\n", kDefaultFloorGoal, floor,
                defaultRatio, verdict(defaultRatio <= kDefaultFloorGoal));
    std::printf("  goal fast cpu < %.0f%% of a core: %.2f%% %s\n\n", 100 * kFastCpuGoal, 100 * cpu,
                verdict(cpu < kFastCpuGoal));
    std::fflush(stdout);
  }
  return ok ? 0 : 1;
}
