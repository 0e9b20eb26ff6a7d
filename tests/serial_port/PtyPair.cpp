#include "PtyPair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

PtyPair::PtyPair() {
  int slave = -1;
  char name[256] = {};
  termios raw{};
  cfmakeraw(&raw);
  if (openpty(&master_, &slave, name, &raw, nullptr) != 0) throw std::runtime_error("openpty failed");
  slavePath_ = name;
  // The component opens the slave itself; this descriptor is only needed
  // until then so that the pair exists.
  close(slave);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() { CloseMaster(); }

void PtyPair::CloseMaster() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

void PtyPair::Send(const std::vector<uint8_t>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) throw std::runtime_error("pty write failed");
    pollfd p{master_, POLLOUT, 0};
    poll(&p, 1, 100);
  }
}

void PtyPair::Send(const std::string& text) { Send(std::vector<uint8_t>(text.begin(), text.end())); }

std::vector<uint8_t> PtyPair::Receive(std::size_t count, std::chrono::milliseconds limit) {
  std::vector<uint8_t> out;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  uint8_t buffer[4096];
  while (out.size() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - out.size()));
    if (n > 0) out.insert(out.end(), buffer, buffer + n);
    if (n < 0 && errno != EAGAIN && errno != EINTR) break;
  }
  return out;
}

std::vector<uint8_t> PtyPair::ReceiveAvailable(std::chrono::milliseconds limit) {
  return Receive(SIZE_MAX, limit);
}

std::vector<uint8_t> Pattern(std::size_t length, std::size_t start) {
  std::vector<uint8_t> out(length);
  for (std::size_t i = 0; i < length; ++i) out[i] = static_cast<uint8_t>((start + i) % 251);
  return out;
}
