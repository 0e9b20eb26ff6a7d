#include "LinePacer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace bench {

namespace {

using namespace std::chrono_literals;

constexpr double kBitsPerByte = 10.0;
// How long one pass of the pump may sleep without asking `done` again.
constexpr auto kLongestSleep = 5ms;
constexpr std::size_t kReadChunk = 4096;
// The receive FIFO's trigger level and its time-out, in bytes and byte times.
constexpr std::size_t kFifoTrigger = 14;
constexpr int kFifoTimeoutBytes = 4;

bool OpenRawPty(int& master, int& slave, std::string& path) {
  char name[128] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return false;
  termios modes{};
  if (tcgetattr(slave, &modes) == 0) {
    cfmakeraw(&modes);
    tcsetattr(slave, TCSANOW, &modes);
  }
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  path = name;
  return true;
}

void CloseIfOpen(int fd) {
  if (fd >= 0) close(fd);
}

}  // namespace

LinePacer::LinePacer(double baud)
    : byteTime_(std::chrono::duration_cast<Clock::duration>(
          std::chrono::duration<double>(kBitsPerByte / baud))) {
  int pair[2] = {-1, -1};
  if (!OpenRawPty(senderMaster_, senderSlave_, senderPath_) ||
      socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) {
    CloseIfOpen(senderMaster_);
    CloseIfOpen(senderSlave_);
    senderMaster_ = -1;
    return;
  }
  receiverMaster_ = pair[0];
  receiverSocket_ = pair[1];
  fcntl(receiverMaster_, F_SETFL, fcntl(receiverMaster_, F_GETFL) | O_NONBLOCK);
  toReceiver_.from = senderMaster_;
  toReceiver_.to = receiverMaster_;
  toSender_.from = receiverMaster_;
  toSender_.to = senderMaster_;
}

LinePacer::~LinePacer() {
  CloseIfOpen(senderMaster_);
  CloseIfOpen(senderSlave_);
  CloseIfOpen(receiverMaster_);
  CloseIfOpen(receiverSocket_);
}

void LinePacer::Take(Direction& direction, Clock::time_point now) {
  uint8_t chunk[kReadChunk];
  for (;;) {
    const ssize_t got = read(direction.from, chunk, sizeof chunk);
    if (got <= 0) return;
    for (ssize_t i = 0; i < got; ++i) {
      // A byte leaves once the line is free, and arrives one byte time later.
      direction.lineFreeAt = std::max(direction.lineFreeAt, now) + byteTime_;
      direction.queue.emplace_back(chunk[i], direction.lineFreeAt);
    }
  }
}

std::optional<LinePacer::Clock::time_point> LinePacer::Deliver(Direction& direction,
                                                               Clock::time_point now) {
  // Bytes in the FIFO: arrived by now, not yet handed on.
  std::size_t arrived = 0;
  while (arrived < direction.queue.size() && direction.queue[arrived].second <= now) ++arrived;
  std::size_t handOver = arrived / kFifoTrigger * kFifoTrigger;
  if (arrived > 0 && handOver == 0) {
    const Clock::time_point quietAt =
        direction.queue[arrived - 1].second + kFifoTimeoutBytes * byteTime_;
    if (now >= quietAt) handOver = arrived;
  }
  if (handOver > 0) {
    std::vector<uint8_t> bytes;
    bytes.reserve(handOver);
    for (std::size_t i = 0; i < handOver; ++i) bytes.push_back(direction.queue[i].first);
    const ssize_t written = write(direction.to, bytes.data(), bytes.size());
    if (written > 0 && std::getenv("ZARN_PACER_TRACE") != nullptr) {
      std::fprintf(stderr,
                   "%.6f %s %zd:", std::chrono::duration<double>(now.time_since_epoch()).count(),
                   &direction == &toReceiver_ ? ">" : "<", written);
      for (ssize_t i = 0; i < std::min<ssize_t>(written, 4); ++i)
        std::fprintf(stderr, " %02x", bytes[i]);
      std::fprintf(stderr, "%s\n", written > 4 ? " ..." : "");
    }
    if (written > 0) {
      lastByte_ = direction.queue[static_cast<std::size_t>(written) - 1].second;
      if (&direction == &toReceiver_ && !firstSenderByte_)
        firstSenderByte_ = direction.queue.front().second;
      direction.queue.erase(direction.queue.begin(), direction.queue.begin() + written);
      direction.delivered += static_cast<std::size_t>(written);
      arrived -= static_cast<std::size_t>(written);
    }
  }
  if (direction.queue.empty()) return std::nullopt;
  // The next byte's arrival, or the time-out of what waits in the FIFO.
  if (arrived == 0) return direction.queue.front().second;
  const Clock::time_point quietAt =
      direction.queue[arrived - 1].second + kFifoTimeoutBytes * byteTime_;
  if (arrived < direction.queue.size()) return std::min(quietAt, direction.queue[arrived].second);
  return quietAt;
}

bool LinePacer::Pump(const std::function<bool()>& done, Clock::time_point deadline) {
  while (!done()) {
    Clock::time_point now = Clock::now();
    if (now >= deadline) return false;
    Take(toReceiver_, now);
    Take(toSender_, now);
    Clock::time_point wake = std::min(deadline, now + kLongestSleep);
    for (Direction* direction : {&toReceiver_, &toSender_}) {
      if (const auto next = Deliver(*direction, now)) wake = std::min(wake, *next);
    }
    now = Clock::now();
    if (wake <= now) continue;
    pollfd fds[] = {{senderMaster_, POLLIN, 0}, {receiverMaster_, POLLIN, 0}};
    const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(wake - now);
    const timespec limit{static_cast<time_t>(wait.count() / 1'000'000'000),
                         static_cast<long>(wait.count() % 1'000'000'000)};
    ppoll(fds, 2, &limit, nullptr);
  }
  return true;
}

}  // namespace bench
