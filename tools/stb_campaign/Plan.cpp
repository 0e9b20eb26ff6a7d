// The random sessions: at every point where the tool waits, the STB answers
// correctly, with another valid word, a truncated word, random bytes,
// silence, late, after a burst of noise, with flipped bits, or vanishes.
#include <algorithm>
#include <random>
#include <string>

#include "Session.h"
#include "YmodemBlocks.h"
#include "ZarnWords.h"

namespace campaign {

namespace {

using namespace std::chrono_literals;
using stbsim::Fault;
using stbsim::FaultKind;
using stbsim::SimPhase;
using Bytes = std::vector<uint8_t>;

// Late answers span the tool's limits as the fake clock counts them (one real
// millisecond of silence is 50 fake ones): up to 15 fake seconds.
constexpr int kMaxLateMs = 300;
constexpr int kMaxNoiseBytes = 16;
constexpr int kMaxRandomReplyBytes = 8;
constexpr int kMaxFaults = 5;
// The STB's own pacing, short: the fake clock does not speed it up.
constexpr auto kFlashTime = 5ms;
constexpr auto kRestartTime = 5ms;
constexpr auto kAbortQuiet = 20ms;
constexpr auto kContactInterval = 200ms;

class Dice {
 public:
  explicit Dice(uint64_t seed) : engine_(seed) {}
  int Upto(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(engine_); }
  bool Chance(int percent) { return Upto(1, 100) <= percent; }
  uint8_t Byte() { return static_cast<uint8_t>(Upto(0, 255)); }
  Bytes Random(int lo, int hi) {
    Bytes b(static_cast<size_t>(Upto(lo, hi)));
    for (auto& x : b) x = Byte();
    return b;
  }
  template <class T>
  const T& Pick(const std::vector<T>& from) {
    return from[static_cast<size_t>(Upto(0, static_cast<int>(from.size()) - 1))];
  }

 private:
  std::mt19937_64 engine_;
};

Bytes WordBytes(uint32_t w) {
  return {static_cast<uint8_t>(w >> 24), static_cast<uint8_t>(w >> 16),
          static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(w)};
}

bool Contains(const Bytes& hay, const Bytes& needle) {
  return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
}

struct PhaseInfo {
  SimPhase phase;
  const char* name;
  Bytes normal;  // the STB's usual answer there
  int maxIndex;  // indices worth aiming at
};

std::string Hex(const Bytes& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string s;
  for (uint8_t b : bytes) {
    if (!s.empty()) s += ' ';
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

// One fault for `info`; `valid` lists the other words of the protocol.
Fault RandomFault(Dice& dice, const PhaseInfo& info, const std::vector<Bytes>& valid,
                  std::string& text) {
  Fault fault;
  fault.phase = info.phase;
  fault.index = dice.Chance(15) ? stbsim::kAnyIndex : dice.Upto(0, info.maxIndex);
  fault.times = dice.Chance(80) ? 1 : dice.Chance(70) ? dice.Upto(2, 3) : stbsim::kForever;
  text = std::string(info.name) + "@" + std::to_string(fault.index) + "x" +
         (fault.times == stbsim::kForever ? std::string("forever") : std::to_string(fault.times)) +
         "=";
  switch (dice.Upto(0, 7)) {
    case 0:
      fault.kind = FaultKind::Replace;
      fault.bytes = dice.Pick(valid);
      text += "word " + Hex(fault.bytes);
      break;
    case 1:
      fault.kind = FaultKind::Replace;
      fault.bytes.assign(info.normal.begin(),
                         info.normal.begin() +
                             dice.Upto(0, std::max(0, static_cast<int>(info.normal.size()) - 1)));
      text += "truncated " + Hex(fault.bytes);
      break;
    case 2:
      fault.kind = FaultKind::Replace;
      fault.bytes = dice.Random(1, kMaxRandomReplyBytes);
      text += "random " + Hex(fault.bytes);
      break;
    case 3:
      fault.kind = FaultKind::Replace;
      text += "silent";
      break;
    case 4:
      fault.kind = FaultKind::Late;
      fault.delay = std::chrono::milliseconds(dice.Upto(1, kMaxLateMs));
      text += "late " + std::to_string(fault.delay.count()) + "ms";
      break;
    case 5:
      fault.kind = FaultKind::Garbage;
      fault.bytes = dice.Random(1, kMaxNoiseBytes);
      text += "noise " + Hex(fault.bytes);
      break;
    case 6:
      fault.kind = FaultKind::FlipBits;
      fault.flipMask = static_cast<uint8_t>(dice.Upto(1, 255));
      text += "flip " + Hex({fault.flipMask});
      break;
    default:
      fault.kind = FaultKind::Vanish;
      text += "vanish";
      break;
  }
  return fault;
}

std::vector<uint8_t> ZarnImage(Dice& dice, std::string& text) {
  static const std::vector<std::string> kTags = {"DAT",   "SER",  "APP",
                                                 "FORCE", "FULL", "zarnlogo.logo"};
  int body = 0;
  switch (dice.Upto(0, 5)) {
    case 0: body = 0; break;
    case 1: body = dice.Upto(1, 200); break;
    case 2: body = dice.Upto(201, 3000); break;
    case 3: body = static_cast<int>(zarn::kMaxChunk); break;
    case 4: body = static_cast<int>(zarn::kMaxChunk) + 1; break;
    default:
      body = dice.Upto(static_cast<int>(zarn::kMaxChunk) + 2,
                       2 * static_cast<int>(zarn::kMaxChunk) + 50);
      break;
  }
  Bytes image = dice.Random(static_cast<int>(zarn::kHeaderSize) + body,
                            static_cast<int>(zarn::kHeaderSize) + body);
  // Tag: a known one, or (rarely) one the tool refuses.
  const std::string tag = dice.Chance(95) ? dice.Pick(kTags) : std::string("app");
  std::fill(image.begin() + zarn::kNameTagOffset, image.begin() + zarn::kHeaderSize, 0);
  std::copy(tag.begin(), tag.end(), image.begin() + zarn::kNameTagOffset);
  // BodySize: right, or (rarely) wrong, which the tool corrects in its copy.
  const uint32_t size = dice.Chance(90) ? static_cast<uint32_t>(body) : 0u;
  const Bytes sizeBytes = WordBytes(size);
  std::copy(sizeBytes.begin(), sizeBytes.end(), image.begin() + zarn::kBodySizeOffset);
  text = "image " + tag + " body " + std::to_string(body) +
         (size == static_cast<uint32_t>(body) ? "" : " BodySize 0");
  return image;
}

}  // namespace

SessionPlan PlanForSeed(uint64_t seed, DspPacing pacing) {
  Dice dice(seed);
  SessionPlan plan;
  plan.seed = seed;
  stbsim::SimOptions& sim = plan.sim;
  sim.loop = false;
  sim.idleRestart = 0ms;  // the session ends the STB itself
  sim.flashTime = kFlashTime;
  sim.restartTime = kRestartTime;
  sim.abortQuiet = kAbortQuiet;
  sim.cInterval = kContactInterval;
  sim.greetInterval = 0ms;  // a repeated greeting would be read as a reply

  std::vector<PhaseInfo> phases;
  std::vector<Bytes> valid;
  Bytes confirming;  // the word that confirms, and where it belongs
  SimPhase confirmingPhase;
  std::string what;
  int64_t sessionBytes = 0;
  if (dice.Chance(50)) {
    sim.mode = stbsim::SimMode::Zarn;
    plan.fileName = "image.zarn";
    plan.file = ZarnImage(dice, what);
    const Bytes accept = sim.acceptWord;
    phases = {{SimPhase::Greeting, "greeting", {'K', 'G', 'S'}, 0},
              {SimPhase::RequestReply, "request", WordBytes(zarn::DnAccept), 0},
              {SimPhase::HeaderReply, "header", WordBytes(zarn::HeaderAccept), 0},
              {SimPhase::PacketReply, "packet", accept, 2},
              {SimPhase::FlashStart, "flashstart", WordBytes(zarn::FlashStart), 0},
              {SimPhase::FlashDone, "flashdone", WordBytes(zarn::FlashOk), 0}};
    valid = {WordBytes(zarn::DnAccept),
             WordBytes(zarn::HeaderAccept),
             WordBytes(zarn::PacketBad),
             WordBytes(zarn::FlashStart),
             WordBytes(zarn::FlashOk),
             WordBytes(zarn::FlashErr),
             accept,
             {'K', 'G', 'S', 0},
             {'C', 'C', 'C', 'C'}};
    confirming = WordBytes(zarn::FlashOk);
    confirmingPhase = SimPhase::FlashDone;
    if (dice.Chance(5)) sim.flashError = true;
    const int64_t body =
        static_cast<int64_t>(plan.file.size()) - static_cast<int64_t>(zarn::kHeaderSize);
    const int64_t packets =
        (body + static_cast<int64_t>(zarn::kMaxChunk) - 1) / static_cast<int64_t>(zarn::kMaxChunk);
    sessionBytes = 4 + 64 + packets * 12 + body + 4;
  } else {
    sim.mode = stbsim::SimMode::Dsp;
    plan.pacing = pacing;
    plan.fileName = dice.Chance(80) ? "FIRMWARE.DSP" : "firmware.dsp";
    const int size = dice.Chance(10)   ? 0
                     : dice.Chance(50) ? dice.Upto(1, 1024)
                                       : dice.Upto(1025, 4100);
    plan.file = dice.Random(size, size);
    what = "file of " + std::to_string(size) + " bytes" +
           (pacing == DspPacing::AckDriven ? ", fast transfer" : "");
    phases = {{SimPhase::ContactC, "contact", {'C'}, 1},
              {SimPhase::DspHeaderReply, "dspheader", {ymodem::ACK, 'C'}, 1},
              {SimPhase::BlockReply, "block", {ymodem::ACK}, 4},
              {SimPhase::EotReply, "eot", {ymodem::ACK}, 2},
              {SimPhase::ClosingReply, "closing", {ymodem::ACK}, 1}};
    valid = {{ymodem::ACK},
             {ymodem::NAK},
             {ymodem::CAN},
             {ymodem::SUB},
             {'C'},
             {ymodem::ACK, 'C'},
             {ymodem::CAN, ymodem::CAN}};
    confirming = {ymodem::ACK};
    confirmingPhase = SimPhase::ClosingReply;
    const int64_t blocks = (size + 1023) / 1024;
    sessionBytes = 133 + blocks * 1030 + 2 + 133;
  }
  plan.description = what;

  const int faults = dice.Upto(0, kMaxFaults);
  for (int i = 0; i < faults; ++i) {
    std::string text;
    const Fault fault = RandomFault(dice, dice.Pick(phases), valid, text);
    plan.description += "; " + text;
    // A confirming word the plan puts on the line itself cannot be told from
    // the STB's own.
    const bool injects = fault.kind == FaultKind::Replace || fault.kind == FaultKind::Garbage;
    // A late answer to an EOT or a closing block is an ACK at a moment the
    // tool cannot tell from the closing block's own.
    const bool lateNearTheEnd =
        fault.kind == FaultKind::Late &&
        (fault.phase == SimPhase::EotReply || fault.phase == SimPhase::ClosingReply);
    if (lateNearTheEnd) plan.confirmationForged = true;
    // Likewise extra bytes around an EOT's answer that arrive in a write of
    // their own: the task pairs its EOTs with the answers as they come, and
    // an answer that comes after the discard before the closing block is an
    // ACK it cannot tell from the closing block's.
    const bool extraBytesAtEot = fault.phase == SimPhase::EotReply &&
                                 (fault.kind == FaultKind::Garbage ||
                                  (fault.kind == FaultKind::Replace && fault.bytes.size() > 1));
    if (extraBytesAtEot) plan.confirmationForged = true;
    if (injects && Contains(fault.bytes, confirming) &&
        (sim.mode == stbsim::SimMode::Zarn || fault.phase == confirmingPhase ||
         fault.phase == SimPhase::EotReply || fault.bytes.size() > 1)) {
      plan.confirmationForged = true;
    }
    sim.faults.push_back(fault);
  }
  // Flipped bits turn what goes out at a phase (its usual answer or the bytes
  // a fault puts there) into other bytes, which may hold the confirming word.
  for (const Fault& flip : sim.faults) {
    if (flip.kind != FaultKind::FlipBits) continue;
    std::vector<Bytes> sent;
    for (const PhaseInfo& info : phases) {
      if (info.phase == flip.phase) sent.push_back(info.normal);
    }
    for (const Fault& other : sim.faults) {
      const bool injects = other.kind == FaultKind::Replace || other.kind == FaultKind::Garbage;
      if (injects && other.phase == flip.phase) sent.push_back(other.bytes);
    }
    for (Bytes bytes : sent) {
      for (uint8_t& b : bytes) b ^= flip.flipMask;
      if (Contains(bytes, confirming)) plan.confirmationForged = true;
    }
  }
  if (dice.Chance(10)) {
    sim.vanishAtByte = dice.Upto(0, static_cast<int>(sessionBytes));
    plan.description += "; vanish at byte " + std::to_string(sim.vanishAtByte);
  }
  if (sim.flashError) plan.description += "; flash error";
  return plan;
}

}  // namespace campaign
