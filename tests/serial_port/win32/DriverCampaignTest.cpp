// Seeded random sessions of the serial engine (TApdComPort on the Win32
// backend) over the driver double: bytes both ways while the driver
// completes writes at once or later and in part, completes reads empty for a
// while, sits on cancels, and at a random point loses its adapter with a
// random removal sequence; the engine flushes its rings at random points.
// Every session must deliver what it was given in order (all of it when
// nothing was flushed), end its threads with a line failure after a removal,
// close within its limit, and never leave the driver memory it no longer
// owns.
//
// ZARN_DRIVER_CAMPAIGN_SESSIONS and ZARN_DRIVER_CAMPAIGN_FIRST_SEED choose
// the seeds (a short run by default; ctest runs that).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "Adexcept.h"
#include "Adport.h"
#include "EngineHooks.h"
#include "FakeSerialDriver.h"
#include "Lnswin32.h"
#include "PortSetup.h"
#include "WaitUntil.h"
#include "win32/CommCalls.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

constexpr uint64_t kDefaultSessions = 12;
constexpr int kMaxSteps = 40;
constexpr int kMaxBlock = 300;
// Failing seeds a run reports before it stops.
constexpr int kMaxReported = 5;
// A close waits kCancelSettleMs at most for a driver that sits on its
// cancels; this is that and room for the engine's threads to end.
constexpr auto kCloseLimit = 3s;

const DWORD kRemovalErrors[] = {995, 5, 6, 22, 31, 55, 433, 1167, 109, 21};

uint64_t FromEnvironment(const char* name, uint64_t fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : fallback;
}

class Dice {
 public:
  explicit Dice(uint64_t seed) : engine_(seed) {}
  int Upto(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(engine_); }
  bool Chance(int percent) { return Upto(1, 100) <= percent; }
  Bytes Random(int lo, int hi) {
    Bytes b(static_cast<std::size_t>(Upto(lo, hi)));
    for (auto& x : b) x = static_cast<uint8_t>(Upto(0, 255));
    return b;
  }

 private:
  std::mt19937_64 engine_;
};

// Whether `part` appears in `whole` in order (bytes may be missing, none
// added or moved).
bool IsSubsequence(const Bytes& part, const Bytes& whole) {
  auto at = whole.begin();
  for (uint8_t b : part) {
    at = std::find(at, whole.end(), b);
    if (at == whole.end()) return false;
    ++at;
  }
  return true;
}

struct Reports {
  std::mutex lock;
  std::vector<std::string> lines;
};

// One session; the violations it found, empty when it held.
std::vector<std::string> RunSession(uint64_t seed, Reports& reports) {
  std::vector<std::string> violations;
  auto violated = [&](const std::string& text) { violations.push_back(text); };
  Dice dice(seed);
  TFakeSerialDriver driver;
  TCommCalls* previous = ReplaceCommCalls(&driver);
  const bool late = dice.Chance(30);
  const bool pending = dice.Chance(50);
  driver.SetWritesPending(pending);
  driver.SetWriteLimit(dice.Chance(50) ? 0 : static_cast<DWORD>(dice.Upto(1, 64)));
  const int steps = dice.Upto(5, kMaxSteps);
  const int removeAt = dice.Chance(50) ? dice.Upto(0, steps - 1) : -1;
  {
    std::lock_guard<std::mutex> guard(reports.lock);
    reports.lines.clear();
  }
  Bytes arrived, received, put;
  bool inputFlushed = false, outputFlushed = false, removed = false;
  {
    TApdComPort port;
    OpenPortOn(port, TFakeSerialDriver::kPortName);
    if (!port.Open()) {
      ReplaceCommCalls(previous);
      return {"the port did not open"};
    }
    if (late) driver.SetCancel(TFakeSerialDriver::TCancel::Late);
    auto take = [&] {
      const uint32_t used = port.InBuffUsed();
      if (used == 0) return;
      Bytes part(std::min<uint32_t>(used, 60000));
      if (port.GetBlock(part.data(), static_cast<uint16_t>(part.size())) == part.size()) {
        received.insert(received.end(), part.begin(), part.end());
      }
    };
    for (int step = 0; step < steps; ++step) {
      if (step == removeAt) {
        std::vector<DWORD> sequence;
        for (int i = dice.Upto(1, 3); i > 0; --i) {
          sequence.push_back(kRemovalErrors[dice.Upto(0, std::size(kRemovalErrors) - 1)]);
        }
        driver.Remove(sequence);
        removed = true;
      }
      switch (dice.Upto(0, 7)) {
        case 0:
        case 1: {
          const Bytes b = dice.Random(1, kMaxBlock);
          if (!removed) arrived.insert(arrived.end(), b.begin(), b.end());
          driver.Arrive(b);
          break;
        }
        case 2:
        case 3: {
          const Bytes b = dice.Random(1, kMaxBlock);
          try {
            port.PutBlock(b.data(), static_cast<uint16_t>(b.size()));
            put.insert(put.end(), b.begin(), b.end());
          } catch (const Exception&) {
            if (!removed) violated("a write failed on a line that was still there");
          }
          break;
        }
        case 4: driver.CompleteWrites(); break;
        case 5: driver.SetEmptyReads(dice.Chance(50)); break;
        case 6:
          if (dice.Chance(50)) {
            port.FlushInBuffer();
            inputFlushed = true;
          } else {
            port.FlushOutBuffer();
            outputFlushed = true;
          }
          break;
        default: driver.CompleteCancelled(); break;
      }
      take();
    }
    driver.SetEmptyReads(false);
    auto* engine = static_cast<TApdWin32Dispatcher*>(port.Dispatcher());
    if (removed) {
      if (!WaitUntil([&] { return engine->ActiveThreads() == 0; })) {
        violated("the engine's threads did not end after the removal");
      }
      std::lock_guard<std::mutex> guard(reports.lock);
      if (reports.lines.empty()) violated("no line failure was reported after the removal");
      for (const std::string& r : reports.lines) {
        if (r != "EInOutError: Device read error" && r != "EInOutError: Device write error") {
          violated("odd report: " + r);
        }
      }
    } else {
      if (!WaitUntil([&] {
            take();
            return inputFlushed ? true : received.size() >= arrived.size();
          })) {
        violated("not every arrived byte was received");
      }
      if (!WaitUntil([&] {
            driver.CompleteWrites();
            return outputFlushed || driver.Sent().size() >= put.size();
          })) {
        violated("not every byte put went out");
      }
      std::lock_guard<std::mutex> guard(reports.lock);
      for (const std::string& r : reports.lines) violated("report on a live line: " + r);
    }
    take();
    const Bytes sent = driver.Sent();
    if (inputFlushed || removed ? !IsSubsequence(received, arrived) : received != arrived) {
      violated("received bytes differ from what arrived");
    }
    if (outputFlushed || removed ? !IsSubsequence(sent, put) : sent != put) {
      violated("sent bytes differ from what was put");
    }
    const auto closing = std::chrono::steady_clock::now();
    port.SetOpen(false);
    if (std::chrono::steady_clock::now() - closing > kCloseLimit)
      violated("the close took too long");
  }
  // Whatever the driver still holds completes after the port has gone.
  driver.CompleteCancelled();
  driver.CompleteWrites();
  if (driver.StrayWrites() != 0) violated("the driver wrote into memory the program had freed");
  if (driver.ReusedOverlapped() != 0) violated("an OVERLAPPED the driver held was reused");
  ReplaceCommCalls(previous);
  return violations;
}

TEST(DriverCampaign, EverySessionHolds) {
  const uint64_t sessions = FromEnvironment("ZARN_DRIVER_CAMPAIGN_SESSIONS", kDefaultSessions);
  const uint64_t first = FromEnvironment("ZARN_DRIVER_CAMPAIGN_FIRST_SEED", 1);
  Reports reports;
  SetThreadFailureReporter([&](const std::string& cls, const std::string& message) {
    std::lock_guard<std::mutex> guard(reports.lock);
    reports.lines.push_back(cls + ": " + message);
  });
  int failing = 0;
  for (uint64_t seed = first; seed < first + sessions && failing < kMaxReported; ++seed) {
    const std::vector<std::string> violations = RunSession(seed, reports);
    for (const std::string& v : violations) ADD_FAILURE() << "seed " << seed << ": " << v;
    if (!violations.empty()) ++failing;
  }
  SetThreadFailureReporter(nullptr);
  std::printf("%llu sessions from seed %llu, %d failing\n",
              static_cast<unsigned long long>(sessions), static_cast<unsigned long long>(first),
              failing);
}

}  // namespace
