// The pseudo-terminal line on POSIX systems: openpty, a raw slave, and a
// self-pipe that wakes every wait when the simulator is being stopped.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "SimLine.h"
#include "SimOptions.h"

namespace stbsim {
namespace {

// Received bytes are handed out in batches of at most this many when pacing:
// about 2.8 ms of line time at 115200 bps, fine enough for every reply timing.
constexpr size_t kPaceBatch = 32;
constexpr size_t kReadChunk = 4096;
// A master whose slave has no opener reads EIO at once; retry after this.
constexpr std::chrono::milliseconds kHangupRetry{10};

[[noreturn]] void ThrowErrno(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

timespec ToTimespec(SimLine::Clock::duration left) {
  if (left < SimLine::Clock::duration::zero()) left = SimLine::Clock::duration::zero();
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
  return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

}  // namespace

struct SimLine::Fds {
  int master = -1;
  int slave = -1;
  int stopRead = -1;
  int stopWrite = -1;
};

SimLine::SimLine(bool pace, int baud)
    : fds_(std::make_unique<Fds>()),
      pace_(pace),
      byteTime_(std::chrono::duration_cast<Clock::duration>(
          std::chrono::nanoseconds(1'000'000'000LL * kBitsPerByte / std::max(baud, 1)))) {
  char name[256] = {};
  if (openpty(&fds_->master, &fds_->slave, name, nullptr, nullptr) != 0) ThrowErrno("openpty");
  slavePath_ = name;
  termios tio{};
  if (tcgetattr(fds_->slave, &tio) == 0) {
    cfmakeraw(&tio);
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    tio.c_cflag |= CLOCAL | CREAD;
    tcsetattr(fds_->slave, TCSANOW, &tio);
  }
  fcntl(fds_->master, F_SETFL, fcntl(fds_->master, F_GETFL) | O_NONBLOCK);
  fcntl(fds_->master, F_SETFD, FD_CLOEXEC);
  fcntl(fds_->slave, F_SETFD, FD_CLOEXEC);
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) ThrowErrno("pipe2");
  fds_->stopRead = pipeFds[0];
  fds_->stopWrite = pipeFds[1];
  buffer_.reserve(kReadChunk);
}

SimLine::~SimLine() {
  for (int fd : {fds_->master, fds_->slave, fds_->stopRead, fds_->stopWrite})
    if (fd >= 0) close(fd);
}

void SimLine::RequestStop() {
  const char byte = 1;
  [[maybe_unused]] auto written = write(fds_->stopWrite, &byte, 1);
}

bool SimLine::Gone() const { return fds_->master < 0; }

void SimLine::Vanish() {
  std::lock_guard<std::mutex> lock(fdsLock_);
  if (fds_->master >= 0) close(fds_->master);
  if (fds_->slave >= 0) close(fds_->slave);
  fds_->master = fds_->slave = -1;
  buffer_.clear();
  head_ = 0;
}

bool SimLine::WaitMaster(short events, Clock::time_point deadline) {
  if (Gone()) throw LineGone{};
  for (;;) {
    pollfd fds[2] = {{fds_->stopRead, POLLIN, 0}, {fds_->master, events, 0}};
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

bool SimLine::WaitMasterFor(Awaiting awaiting, Clock::time_point deadline) {
  if (awaiting == Awaiting::Deadline) return WaitMaster(POLLIN, deadline);
  // Odd for as long as the wait lasts, also when it ends by a throw.
  struct ToolWait {
    std::atomic<uint64_t>& waits;
    explicit ToolWait(std::atomic<uint64_t>& counter) : waits(counter) { ++waits; }
    ~ToolWait() { ++waits; }
    ToolWait(const ToolWait&) = delete;
    ToolWait& operator=(const ToolWait&) = delete;
  } wait(toolWaits_);
  return WaitMaster(POLLIN, deadline);
}

void SimLine::SleepUntil(Clock::time_point until) {
  while (Clock::now() < until) WaitMaster(0, until);
}

bool SimLine::Fill(Clock::time_point deadline, Awaiting awaiting) {
  if (head_ < buffer_.size()) return true;
  buffer_.clear();
  head_ = 0;
  for (;;) {
    if (!WaitMasterFor(awaiting, deadline)) return false;
    uint8_t chunk[kReadChunk];
    const ssize_t n = read(fds_->master, chunk, sizeof chunk);
    if (n > 0) {
      buffer_.assign(chunk, chunk + n);
      // An idle line starts carrying these bytes now.
      inLineFree_ = std::max(inLineFree_, Clock::now());
      return true;
    }
    // EIO: nobody holds the slave open. The simulator holds it, so this is
    // transient; wait a little rather than spin.
    if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) ThrowErrno("read");
    if (n < 0 && errno == EIO) SleepFor(kHangupRetry);
  }
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
    if (fds_->master >= 0) {
      // poll() first hands on what the kernel still holds for a side's
      // reader: a reply written a moment ago shows here as the tool's input,
      // a word the tool wrote a moment ago as the STB's. Once the STB's
      // thread has ended, what the tool writes stays unread for good.
      pollfd fds[2] = {{fds_->slave, POLLIN, 0}, {fds_->master, POLLIN, 0}};
      if (poll(fds, threadEnded ? 1 : 2, 0) != 0) return false;
    }
  }
  return threadEnded || toolWaits_.load() == waitsBefore;
}

void SimLine::DiscardInput() {
  if (Gone()) return;
  buffer_.clear();
  head_ = 0;
  uint8_t chunk[kReadChunk];
  while (read(fds_->master, chunk, sizeof chunk) > 0) {
  }
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
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = write(fds_->master, bytes.data() + sent, bytes.size() - sent);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) ThrowErrno("write");
    WaitMaster(POLLOUT, Clock::time_point::max());
  }
}

}  // namespace stbsim
