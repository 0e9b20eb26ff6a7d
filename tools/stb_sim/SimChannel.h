// What both sides of the STB share while they talk: reading with the idle
// limit and the vanish count, answering through the fault plan, and the event
// log.
//
// Threads: the simulator's thread only (the log it writes is locked).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "FaultPlan.h"
#include "SimLine.h"
#include "SimLog.h"
#include "SimOptions.h"

namespace stbsim {

// The tool has sent nothing for options.idleRestart: the STB gives up the
// upload in progress and restarts.
struct IdleTimeout {};

// How one upload (or one wait for one) ended.
enum class SessionEnd { Finished, Restart };

class SimChannel {
 public:
  using Clock = SimLine::Clock;

  SimChannel(SimLine& line, SimLog& log, const SimOptions& options);

  SimLine& Line() { return line_; }
  SimLog& Log() { return log_; }
  const SimOptions& Options() const { return options_; }

  // The next byte; IdleTimeout when none comes within the idle limit. Both
  // reads await the tool: the idle limit is the STB giving up on it.
  uint8_t ReadByte();
  // Exactly `count` bytes, each within the idle limit.
  std::vector<uint8_t> ReadExact(size_t count);
  // The next byte, or nothing when `deadline` passes first (no idle limit).
  std::optional<uint8_t> ReadByteUntil(Clock::time_point deadline);

  // Starts counting towards options.vanishAfterBytes again.
  void ResetVanishCount() { sinceReset_ = 0; }

  // What the fault plan makes of the answer `normal` of `phase`/`index`.
  // The engines record what they are about to answer first and send it
  // after, so that whoever has seen an answer finds it in the record.
  PlannedReply Plan(SimPhase phase, int index, const std::vector<uint8_t>& normal);
  // Sends a planned answer (waiting, garbage, answer, or vanishing) and logs
  // it under `what`.
  void Send(const PlannedReply& reply, const std::string& what);
  // Plan and Send in one, for answers the record does not depend on. Returns
  // what was sent (empty for silence).
  std::vector<uint8_t> Reply(SimPhase phase, int index, const std::vector<uint8_t>& normal,
                             const std::string& what);

  void Event(const std::string& text) { log_.Event(text); }
  // Closes the line and throws LineGone.
  [[noreturn]] void VanishNow(const std::string& why);

 private:
  Clock::time_point IdleDeadline() const;
  void Count(size_t bytes);
  // At the vanishAtByte limit: waits for the next byte (IdleTimeout when none
  // comes) and vanishes when it arrives. Nothing below the limit.
  void VanishAtLimit();
  // How many of `wanted` bytes a read may take without passing the limit.
  size_t BelowLimit(size_t wanted) const;

  SimLine& line_;
  SimLog& log_;
  const SimOptions& options_;
  FaultPlan plan_;
  int64_t sinceReset_ = 0;
  int64_t total_ = 0;  // bytes taken from the tool since the start
};

// "AB 44 6E 01"
std::string Hex(const std::vector<uint8_t>& bytes);
uint32_t WordOf(const std::vector<uint8_t>& bytes, size_t offset = 0);
std::vector<uint8_t> BytesOf(uint32_t word);

}  // namespace stbsim
