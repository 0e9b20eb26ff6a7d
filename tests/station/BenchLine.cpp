#include "BenchLine.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <stdexcept>

#include "StbSimulator.h"

namespace {

// How long the copying thread waits for bytes before it looks for a swap
// or a stop.
constexpr int kCopyPollMs = 10;

void WriteAll(int fd, const char* bytes, ssize_t count) {
  while (count > 0) {
    const ssize_t written = write(fd, bytes, static_cast<size_t>(count));
    if (written < 0) {
      pollfd room{fd, POLLOUT, 0};
      poll(&room, 1, kCopyPollMs);
      continue;
    }
    bytes += written;
    count -= written;
  }
}

}  // namespace

BenchLine::BenchLine() : thread_([this] { Copy(); }) {}

BenchLine::~BenchLine() {
  stop_ = true;
  thread_.join();
  Detach();
}

void BenchLine::Attach(const stbsim::StbSimulator& unit) {
  const int fd = open(unit.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) throw std::runtime_error("cannot open the unit's line " + unit.SlavePath());
  std::lock_guard<std::mutex> lock(mutex_);
  if (unit_ >= 0) close(unit_);
  unit_ = fd;
}

void BenchLine::Detach() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (unit_ >= 0) close(unit_);
  unit_ = -1;
}

void BenchLine::Copy() {
  char buffer[4096];
  while (!stop_) {
    std::unique_lock<std::mutex> lock(mutex_);
    pollfd fds[2] = {{adapter_.MasterFd(), POLLIN, 0}, {unit_, POLLIN, 0}};
    lock.unlock();
    poll(fds, fds[1].fd >= 0 ? 2 : 1, kCopyPollMs);
    lock.lock();
    // The unit may have been swapped during the wait: copy only to and from
    // the one attached now.
    const ssize_t fromStation = read(adapter_.MasterFd(), buffer, sizeof buffer);
    if (fromStation > 0 && unit_ >= 0) WriteAll(unit_, buffer, fromStation);
    if (unit_ < 0) continue;
    const ssize_t fromUnit = read(unit_, buffer, sizeof buffer);
    if (fromUnit > 0) WriteAll(adapter_.MasterFd(), buffer, fromUnit);
  }
}
