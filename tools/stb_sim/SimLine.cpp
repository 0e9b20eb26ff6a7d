// The portable half of the STB's line: pacing and the received bytes' buffer.
// The system's backend waits, reads and writes (SimLine.h).
#include "SimLine.h"

#include <algorithm>

#include "SimOptions.h"

namespace stbsim {
namespace {

// Received bytes are handed out in batches of at most this many when pacing:
// about 2.8 ms of line time at 115200 bps, fine enough for every reply timing.
constexpr size_t kPaceBatch = 32;

}  // namespace

SimLine::Clock::duration SimLine::ByteTime(int baud) {
  return std::chrono::duration_cast<Clock::duration>(
      std::chrono::nanoseconds(1'000'000'000LL * kBitsPerByte / std::max(baud, 1)));
}

bool SimLine::ReceiveFor(Awaiting awaiting, Clock::time_point deadline) {
  if (awaiting == Awaiting::Deadline) return Receive(deadline, [] {});
  // Odd for as long as the wait lasts, also when it ends by a throw.
  struct ToolWait {
    std::atomic<uint64_t>& waits;
    bool ended = false;
    explicit ToolWait(std::atomic<uint64_t>& counter) : waits(counter) { ++waits; }
    void End() {
      if (ended) return;
      ended = true;
      ++waits;
    }
    ~ToolWait() { End(); }
    ToolWait(const ToolWait&) = delete;
    ToolWait& operator=(const ToolWait&) = delete;
  } wait(toolWaits_);
  return Receive(deadline, [&wait] { wait.End(); });
}

bool SimLine::Fill(Clock::time_point deadline, Awaiting awaiting) {
  if (head_ < buffer_.size()) return true;
  buffer_.clear();
  head_ = 0;
  if (!ReceiveFor(awaiting, deadline)) return false;
  // An idle line starts carrying these bytes now.
  inLineFree_ = std::max(inLineFree_, Clock::now());
  return true;
}

size_t SimLine::Read(uint8_t* out, size_t max, Clock::time_point deadline, Awaiting awaiting) {
  if (max == 0 || !Fill(deadline, awaiting)) return 0;
  size_t count = std::min(max, buffer_.size() - head_);
  if (pace_) {
    count = std::min(count, kPaceBatch);
    const auto arrival = inLineFree_ + byteTime_ * static_cast<long>(count);
    SleepUntil(arrival);
    inLineFree_ = arrival;
  }
  std::copy_n(buffer_.begin() + static_cast<long>(head_), count, out);
  head_ += count;
  return count;
}

std::optional<uint8_t> SimLine::ReadByte(Clock::time_point deadline, Awaiting awaiting) {
  uint8_t byte;
  if (Read(&byte, 1, deadline, awaiting) == 0) return std::nullopt;
  return byte;
}

bool SimLine::WaitReadable(Clock::time_point deadline) {
  return Fill(deadline, deadline == Clock::time_point::max() ? Awaiting::Tool : Awaiting::Deadline);
}

bool SimLine::Quiet(bool threadEnded) {
  const uint64_t waitsBefore = toolWaits_.load();
  if (!threadEnded && waitsBefore % 2 == 0) return false;
  {
    std::lock_guard<std::mutex> lock(fdsLock_);
    if (!SystemQuiet(threadEnded)) return false;
  }
  return threadEnded || toolWaits_.load() == waitsBefore;
}

void SimLine::DiscardInput() {
  if (Gone()) return;
  buffer_.clear();
  head_ = 0;
  DropPendingInput();
}

void SimLine::Write(const std::vector<uint8_t>& bytes) {
  if (Gone()) throw LineGone{};
  if (bytes.empty()) return;
  if (pace_) {
    const auto done =
        std::max(outLineFree_, Clock::now()) + byteTime_ * static_cast<long>(bytes.size());
    SleepUntil(done);
    outLineFree_ = done;
  }
  SendAll(bytes.data(), bytes.size());
}

}  // namespace stbsim
