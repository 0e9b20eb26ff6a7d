// The line on POSIX systems: a pseudo-terminal pair (openpty, a raw slave) or
// a terminal device opened raw, and a self-pipe that wakes every wait when
// the simulator is being stopped.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "ComName.h"
#include "PortList.h"
#include "SimLine.h"

namespace stbsim {
namespace {

constexpr size_t kReadChunk = 4096;
// A master whose slave has no opener reads EIO at once; retry after this.
constexpr std::chrono::milliseconds kHangupRetry{10};

[[noreturn]] void ThrowErrno(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

timespec ToTimespec(SimLine::Clock::duration left) {
  if (left < SimLine::Clock::duration::zero()) left = SimLine::Clock::duration::zero();
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
  return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

// Raw 8N1 at 115200 bps, no flow control, the modem lines ignored.
bool MakeRaw(int fd) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) return false;
  cfmakeraw(&tio);
  cfsetispeed(&tio, B115200);
  cfsetospeed(&tio, B115200);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cflag &= ~CRTSCTS;
  return tcsetattr(fd, TCSANOW, &tio) == 0;
}

}  // namespace

SimLineKinds SystemSimLineKinds() { return {true, true}; }

struct SimLine::System {
  // `master`: the STB's end (the pair's master, or the device). `slave`: the
  // pair's slave, held open; -1 for a device.
  int master = -1;
  int slave = -1;
  int stopRead = -1;
  int stopWrite = -1;

  System() = default;
  System(const System&) = delete;
  System& operator=(const System&) = delete;
  ~System() {
    for (int fd : {master, slave, stopRead, stopWrite})
      if (fd >= 0) close(fd);
  }

  bool IsPair() const { return slave >= 0; }

  void OpenStopPipe() {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) ThrowErrno("pipe2");
    stopRead = pipeFds[0];
    stopWrite = pipeFds[1];
  }

  // Waits for the STB's end to become readable (events POLLIN) or writable
  // (POLLOUT), or only for the stop (0); false when `deadline` passes.
  bool Wait(short events, Clock::time_point deadline) {
    if (master < 0) throw LineGone{};
    for (;;) {
      pollfd fds[2] = {{stopRead, POLLIN, 0}, {master, events, 0}};
      const bool forever = deadline == Clock::time_point::max();
      timespec ts = ToTimespec(deadline - Clock::now());
      const int n = ppoll(fds, events ? 2 : 1, forever ? nullptr : &ts, nullptr);
      if (n < 0) {
        if (errno == EINTR) continue;
        ThrowErrno("ppoll");
      }
      if (fds[0].revents) throw LineStopped{};
      if (events && fds[1].revents) return true;
      if (n == 0 && Clock::now() >= deadline) return false;
    }
  }
};

SimLine::SimLine(bool pace, int baud)
    : system_(std::make_unique<System>()), pace_(pace), byteTime_(ByteTime(baud)) {
  char name[256] = {};
  if (openpty(&system_->master, &system_->slave, name, nullptr, nullptr) != 0)
    ThrowErrno("openpty");
  slavePath_ = name;
  MakeRaw(system_->slave);
  fcntl(system_->master, F_SETFL, fcntl(system_->master, F_GETFL) | O_NONBLOCK);
  fcntl(system_->master, F_SETFD, FD_CLOEXEC);
  fcntl(system_->slave, F_SETFD, FD_CLOEXEC);
  system_->OpenStopPipe();
  buffer_.reserve(kReadChunk);
}

SimLine::SimLine(const std::string& device, bool pace, int baud)
    : system_(std::make_unique<System>()), pace_(pace), byteTime_(ByteTime(baud)) {
  std::string path = device;
  if (const std::optional<uint16_t> number = ComNumberFromName(device)) {
    path = DeviceForComNumber(*number);
    if (path.empty())
      throw std::system_error(ENODEV, std::generic_category(), device + " names no device");
  }
  system_->master = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (system_->master < 0) ThrowErrno(path);
  // Another program that opens the device now would take bytes meant for
  // the STB.
  ioctl(system_->master, TIOCEXCL);
  if (!MakeRaw(system_->master))
    throw std::system_error(ENOTTY, std::generic_category(), path + " is no serial device");
  tcflush(system_->master, TCIOFLUSH);
  system_->OpenStopPipe();
  slavePath_ = device;
  buffer_.reserve(kReadChunk);
}

SimLine::~SimLine() = default;

void SimLine::RequestStop() {
  const char byte = 1;
  [[maybe_unused]] auto written = write(system_->stopWrite, &byte, 1);
}

bool SimLine::Gone() const { return system_->master < 0; }

void SimLine::Vanish() {
  std::lock_guard<std::mutex> lock(fdsLock_);
  if (system_->master >= 0) close(system_->master);
  if (system_->slave >= 0) close(system_->slave);
  system_->master = system_->slave = -1;
  buffer_.clear();
  head_ = 0;
}

void SimLine::SleepUntil(Clock::time_point until) {
  while (Clock::now() < until) system_->Wait(0, until);
}

bool SimLine::Receive(Clock::time_point deadline, const std::function<void()>& beforeTaking) {
  for (;;) {
    if (!system_->Wait(POLLIN, deadline)) return false;
    beforeTaking();
    uint8_t chunk[kReadChunk];
    const ssize_t n = read(system_->master, chunk, sizeof chunk);
    if (n > 0) {
      buffer_.assign(chunk, chunk + n);
      return true;
    }
    if (system_->IsPair()) {
      // EIO: nobody holds the slave open. The simulator holds it, so this is
      // transient; wait a little rather than spin.
      if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) ThrowErrno("read");
      if (n < 0 && errno == EIO) SleepFor(kHangupRetry);
      continue;
    }
    // A device reads its end (0) or EIO once it has hung up or been pulled.
    if (n == 0 || errno == EIO) throw LineGone{};
    if (errno != EAGAIN && errno != EINTR) ThrowErrno("read");
  }
}

bool SimLine::SystemQuiet(bool threadEnded) {
  if (system_->master < 0) return true;
  // poll() first hands on what the kernel still holds for a side's reader: a
  // reply written a moment ago shows here as the tool's input, a word the
  // tool wrote a moment ago as the STB's. Once the STB's thread has ended,
  // what the tool writes stays unread for good. A device's far side is out
  // of sight; only what waits for the STB shows.
  pollfd fds[2] = {{system_->slave, POLLIN, 0}, {system_->master, POLLIN, 0}};
  if (!system_->IsPair()) return threadEnded || poll(&fds[1], 1, 0) == 0;
  return poll(fds, threadEnded ? 1 : 2, 0) == 0;
}

void SimLine::DropPendingInput() {
  uint8_t chunk[kReadChunk];
  while (read(system_->master, chunk, sizeof chunk) > 0) {
  }
}

void SimLine::SendAll(const uint8_t* bytes, size_t count) {
  size_t sent = 0;
  while (sent < count) {
    const ssize_t n = write(system_->master, bytes + sent, count - sent);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EIO && !system_->IsPair()) throw LineGone{};
    if (n < 0 && errno != EAGAIN && errno != EINTR) ThrowErrno("write");
    system_->Wait(POLLOUT, Clock::time_point::max());
  }
}

}  // namespace stbsim
