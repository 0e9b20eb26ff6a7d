#include "PtyPair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {
// How long Send waits for room in one go before it tries the write again.
constexpr int kRoomWaitMs = 100;
constexpr std::size_t kReadChunk = 4096;

std::runtime_error ErrnoError(const std::string& what) {
  return std::runtime_error(what + ": " + std::strerror(errno));
}
}  // namespace

PtyPair::PtyPair(SlaveEnd slave) {
  char name[256] = {};
  // Raw from a blank setting (no CREAD, no CLOCAL, speed 0): what the line
  // shows once the port has opened it is what the port itself set.
  termios raw{};
  cfmakeraw(&raw);
  if (openpty(&master_, &slave_, name, &raw, nullptr) != 0) throw ErrnoError("openpty");
  slavePath_ = name;
  if (slave == SlaveEnd::Released) {
    close(slave_);
    slave_ = -1;
  }
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
  CloseMaster();
  if (slave_ >= 0) close(slave_);
}

void PtyPair::CloseMaster() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

void PtyPair::Send(const std::vector<uint8_t>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) throw ErrnoError("write to the pty master");
    pollfd p{master_, POLLOUT, 0};
    poll(&p, 1, kRoomWaitMs);
  }
}

void PtyPair::Send(const std::string& text) {
  Send(std::vector<uint8_t>(text.begin(), text.end()));
}

std::vector<uint8_t> PtyPair::Receive(std::size_t count, std::chrono::milliseconds limit) {
  std::vector<uint8_t> out;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  uint8_t buffer[kReadChunk];
  while (out.size() < count && master_ >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    const ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - out.size()));
    if (n > 0) {
      out.insert(out.end(), buffer, buffer + n);
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
      break;  // hung up: nothing more can come
    }
  }
  return out;
}

std::vector<uint8_t> PtyPair::ReceiveAvailable(std::chrono::milliseconds limit) {
  return Receive(SIZE_MAX, limit);
}
