// zarn-stb-campaign: seeded random sessions of both upload protocols against
// the simulated STB, over pseudo-terminals, on the fake task clock. Each
// session's STB answers at every point where the tool waits correctly or
// wrongly (another word, a truncated one, random bytes, silence, late, after
// noise, flipped bits) or vanishes; every session must end, report success
// only when the STB completed its side (and then holds exactly the file), and
// write only the lines and boxes its protocol defines.
//
//   zarn-stb-campaign --sessions 500 [--first-seed S]   a campaign
//   zarn-stb-campaign --seed N [--verbose]               replays one session
//
// Exit status 0 when every session held, 1 when one did not (its seed is
// printed), 2 for usage errors, 4 on a hang (the seed is printed first).
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "EngineHooks.h"
#include "Session.h"

namespace {

constexpr int kExitHeld = 0;
constexpr int kExitViolated = 1;
constexpr int kExitUsage = 2;
// A campaign stops after this many failing sessions; their seeds are enough
// to go on with.
constexpr int kMaxReportedFailures = 20;
// Progress note every so many sessions of a long campaign.
constexpr uint64_t kProgressEvery = 1000;

const char kUsage[] =
    "Usage: zarn-stb-campaign --sessions N [--first-seed S] [--quiet] [--fast-dsp]\n"
    "       zarn-stb-campaign --seed N [--verbose] [--fast-dsp]\n"
    "--fast-dsp: the DSP sessions use the fast transfer (same seeds, same faults)\n";

bool ParseNumber(const char* text, uint64_t& out) {
  char* end = nullptr;
  out = std::strtoull(text, &end, 10);
  return end != text && *end == '\0';
}

const char* EndName(const std::optional<TaskEnd>& end) {
  if (!end) return "none";
  switch (*end) {
    case TaskEnd::Early: return "ended early";
    case TaskEnd::Unconfirmed: return "unconfirmed";
    case TaskEnd::Confirmed: return "confirmed";
    case TaskEnd::FlashError: return "flash error";
  }
  return "?";
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t sessions = 0;
  uint64_t firstSeed = 1;
  bool replay = false;
  bool verbose = false;
  bool quiet = false;
  DspPacing pacing = DspPacing::PausePerBlock;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--sessions" && hasValue && ParseNumber(argv[i + 1], sessions)) {
      ++i;
    } else if (arg == "--first-seed" && hasValue && ParseNumber(argv[i + 1], firstSeed)) {
      ++i;
    } else if (arg == "--seed" && hasValue && ParseNumber(argv[i + 1], firstSeed)) {
      ++i;
      replay = true;
      sessions = 1;
    } else if (arg == "--verbose") {
      verbose = true;
    } else if (arg == "--quiet") {
      quiet = true;
    } else if (arg == "--fast-dsp") {
      pacing = DspPacing::AckDriven;
    } else {
      std::fputs(kUsage, stderr);
      return kExitUsage;
    }
  }
  if (sessions == 0) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }

  // A vanished line makes the engine's threads report; they are counted and
  // must be whole reports of the line's failure.
  std::atomic<int> reports{0};
  std::atomic<int> oddReports{0};
  SetThreadFailureReporter([&](const std::string& cls, const std::string& message) {
    ++reports;
    if (cls != "EInOutError" ||
        (message != "Device read error" && message != "Device write error")) {
      ++oddReports;
    }
  });

  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                       ("zarn-campaign-" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(folder);

  const auto start = std::chrono::steady_clock::now();
  int failures = 0;
  uint64_t ran = 0;
  uint64_t confirmed = 0;
  for (uint64_t seed = firstSeed; seed < firstSeed + sessions; ++seed) {
    const campaign::SessionPlan plan = campaign::PlanForSeed(seed, pacing);
    const campaign::SessionResult result = campaign::RunSession(plan, folder.string());
    ++ran;
    if (result.end == TaskEnd::Confirmed) ++confirmed;
    const std::vector<std::string> violations = campaign::Violations(plan, result);
    if (replay || verbose || !violations.empty()) {
      std::printf("seed %llu: %s -> %s, %lld ms%s\n", static_cast<unsigned long long>(seed),
                  plan.description.c_str(), EndName(result.end),
                  static_cast<long long>(result.realTime.count()),
                  result.stopRequested ? ", stop requested" : "");
    }
    if (replay || verbose) {
      for (const std::string& line : result.log) std::printf("  log: %s\n", line.c_str());
      for (const campaign::Box& box : result.boxes) {
        std::printf("  box: %s: %s\n", box.title.c_str(), box.text.c_str());
      }
    }
    for (const std::string& text : violations) {
      std::printf("FAILED seed %llu: %s\n", static_cast<unsigned long long>(seed), text.c_str());
    }
    if (!violations.empty() && ++failures >= kMaxReportedFailures) break;
    if (!quiet && !replay && ran % kProgressEvery == 0) {
      std::fprintf(stderr, "%llu sessions...\n", static_cast<unsigned long long>(ran));
    }
    std::fflush(stdout);
  }
  SetThreadFailureReporter(nullptr);
  std::filesystem::remove_all(folder);
  if (oddReports != 0) {
    std::printf("FAILED: %d engine failure reports other than a lost line\n", oddReports.load());
    ++failures;
  }
  const auto seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf(
      "%llu sessions (seeds %llu..%llu), %llu confirmed, %d engine reports, %d failing, %.1f s\n",
      static_cast<unsigned long long>(ran), static_cast<unsigned long long>(firstSeed),
      static_cast<unsigned long long>(firstSeed + ran - 1),
      static_cast<unsigned long long>(confirmed), reports.load(), failures, seconds);
  return failures == 0 ? kExitHeld : kExitViolated;
}
