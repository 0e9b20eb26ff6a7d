#include "PtyPair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include <gtest/gtest.h>

#include "Adport.h"

PtyPair::PtyPair() {
  char name[256] = {};
  if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
    ADD_FAILURE() << "openpty failed: errno " << errno;
    return;
  }
  termios raw{};
  tcgetattr(slave_, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave_, TCSANOW, &raw);
  slavePath_ = name;
}

PtyPair::~PtyPair() {
  CloseMaster();
  if (slave_ >= 0) close(slave_);
}

void PtyPair::Send(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ASSERT_GT(n, 0) << "write to pty master failed: errno " << errno;
    done += static_cast<size_t>(n);
  }
}

std::vector<uint8_t> PtyPair::Receive(size_t count, std::chrono::milliseconds limit) {
  std::vector<uint8_t> got;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (got.size() < count && master_ >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    uint8_t buffer[4096];
    const size_t want = std::min(sizeof buffer, count - got.size());
    const ssize_t n = read(master_, buffer, want);
    if (n <= 0) break;
    got.insert(got.end(), buffer, buffer + n);
  }
  return got;
}

std::vector<uint8_t> PtyPair::Drain(std::chrono::milliseconds limit) {
  return Receive(SIZE_MAX, limit);
}

void PtyPair::CloseMaster() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

void OpenPortOn(TApdCustomComPort& port, const std::string& path) {
  port.SetDevicePath(path);
  port.SetBaud(115200);
  port.SetDataBits(8);
  port.SetStopBits(1);
  port.SetParity(pNone);
  port.SetInSize(32768);
  port.SetOutSize(32768);
  port.SetAutoOpen(false);
  port.SetDTR(false);
  port.SetRTS(false);
  port.SetOpen(true);
  port.FlushInBuffer();
  port.FlushOutBuffer();
}
