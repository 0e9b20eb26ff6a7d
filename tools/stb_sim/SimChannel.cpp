#include "SimChannel.h"

#include <algorithm>
#include <cstdio>

namespace stbsim {

SimChannel::SimChannel(SimLine& line, SimLog& log, const SimOptions& options)
    : line_(line), log_(log), options_(options), plan_(options.faults) {}

SimChannel::Clock::time_point SimChannel::IdleDeadline() const {
  if (options_.idleRestart.count() <= 0) return Clock::time_point::max();
  return Clock::now() + options_.idleRestart;
}

void SimChannel::Count(size_t bytes) {
  sinceReset_ += static_cast<int64_t>(bytes);
  total_ += static_cast<int64_t>(bytes);
  log_.Change([&](SimRecord& record) { record.bytesReceived += static_cast<int64_t>(bytes); });
  if (options_.vanishAfterBytes >= 0 && sinceReset_ >= options_.vanishAfterBytes)
    VanishNow("vanished after " + std::to_string(sinceReset_) + " bytes");
}

void SimChannel::VanishAtLimit() {
  if (options_.vanishAtByte < 0 || total_ < options_.vanishAtByte) return;
  if (!line_.WaitReadable(IdleDeadline())) throw IdleTimeout{};
  VanishNow("vanished at byte " + std::to_string(total_ + 1) + " from the tool");
}

size_t SimChannel::BelowLimit(size_t wanted) const {
  if (options_.vanishAtByte < 0) return wanted;
  return std::min<size_t>(
      wanted, static_cast<size_t>(std::max<int64_t>(1, options_.vanishAtByte - total_)));
}

uint8_t SimChannel::ReadByte() {
  VanishAtLimit();
  const auto byte = line_.ReadByte(IdleDeadline(), SimLine::Awaiting::Tool);
  if (!byte) throw IdleTimeout{};
  Count(1);
  return *byte;
}

std::optional<uint8_t> SimChannel::ReadByteUntil(Clock::time_point deadline) {
  if (options_.vanishAtByte >= 0 && total_ >= options_.vanishAtByte) {
    if (!line_.WaitReadable(deadline)) return std::nullopt;
    VanishAtLimit();
  }
  const auto byte = line_.ReadByte(deadline);
  if (byte) Count(1);
  return byte;
}

std::vector<uint8_t> SimChannel::ReadExact(size_t count) {
  std::vector<uint8_t> bytes(count);
  size_t got = 0;
  while (got < count) {
    VanishAtLimit();
    size_t want = BelowLimit(count - got);
    // Count byte by byte near the vanish point so the line closes mid-block.
    if (options_.vanishAfterBytes >= 0)
      want = std::min<size_t>(
          want, static_cast<size_t>(std::max<int64_t>(1, options_.vanishAfterBytes - sinceReset_)));
    const size_t n = line_.Read(bytes.data() + got, want, IdleDeadline(), SimLine::Awaiting::Tool);
    if (n == 0) throw IdleTimeout{};
    got += n;
    Count(n);
  }
  return bytes;
}

PlannedReply SimChannel::Plan(SimPhase phase, int index, const std::vector<uint8_t>& normal) {
  return plan_.Plan(phase, index, normal);
}

void SimChannel::Send(const PlannedReply& reply, const std::string& what) {
  if (reply.delay.count() > 0) {
    Event(what + ": answering late, in " + std::to_string(reply.delay.count()) + " ms");
    line_.SleepFor(reply.delay);
  }
  if (reply.vanish) VanishNow(what + ": vanished instead of answering");
  if (!reply.garbage.empty()) {
    Event(what + ": garbage " + Hex(reply.garbage));
    line_.Write(reply.garbage);
  }
  Event(what + (reply.bytes.empty() ? ": silent" : ": answer " + Hex(reply.bytes)));
  line_.Write(reply.bytes);
  if (reply.hangUpAfter) {
    line_.SleepFor(*reply.hangUpAfter);
    VanishNow(what + ": answered, then vanished");
  }
}

std::vector<uint8_t> SimChannel::Reply(SimPhase phase, int index,
                                       const std::vector<uint8_t>& normal,
                                       const std::string& what) {
  const PlannedReply reply = Plan(phase, index, normal);
  Send(reply, what);
  return reply.bytes;
}

void SimChannel::VanishNow(const std::string& why) {
  log_.Change([](SimRecord& record) { record.lineClosed = true; });
  Event(why + "; line closed");
  line_.Vanish();
  throw LineGone{};
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string text;
  char piece[4];
  for (uint8_t byte : bytes) {
    std::snprintf(piece, sizeof piece, "%02X", byte);
    if (!text.empty()) text += ' ';
    text += piece;
  }
  return text;
}

uint32_t WordOf(const std::vector<uint8_t>& bytes, size_t offset) {
  return (uint32_t{bytes[offset]} << 24) | (uint32_t{bytes[offset + 1]} << 16) |
         (uint32_t{bytes[offset + 2]} << 8) | uint32_t{bytes[offset + 3]};
}

std::vector<uint8_t> BytesOf(uint32_t word) {
  return {static_cast<uint8_t>(word >> 24), static_cast<uint8_t>(word >> 16),
          static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)};
}

}  // namespace stbsim
