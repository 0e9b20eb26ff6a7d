// TSerialDevice on Linux: a tty opened non-blocking, TIOCEXCL plus flock for
// the exclusive use, termios for the line settings, poll() for the reader and
// the writer, epoll in edge-triggered mode for the hang-up that the status
// thread waits for (so that a hung-up line wakes it once, not in a loop), and
// an eventfd per waiting thread so that another thread can end a wait at once.
#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/uio.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>

#include "DeviceErrors.h"
#include "SerialDevice.h"

namespace {

constexpr std::size_t kMaxReadBuffers = 64;

struct TSpeed {
  uint32_t baud;
  speed_t code;
};

constexpr std::array<TSpeed, 23> kSpeeds{{
    {50, B50},         {75, B75},         {110, B110},         {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},         {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},       {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},   {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000},
}};

bool SpeedCode(uint32_t baud, speed_t& code) {
  for (const TSpeed& s : kSpeeds) {
    if (s.baud == baud) {
      code = s.code;
      return true;
    }
  }
  return false;
}

uint32_t BaudOf(speed_t code) {
  for (const TSpeed& s : kSpeeds) {
    if (s.code == code) return s.baud;
  }
  return 0;
}

TDeviceFailure OpenFailure() { return OpenFailureFor(errno); }
TDeviceFailure CallFailure() { return CallFailureFor(errno); }

const TDeviceFailure kNotOpen{TDeviceFailureKind::NotOpen, EBADF};

void DrainEventFd(int fd) {
  uint64_t value;
  while (read(fd, &value, sizeof value) > 0) {
  }
}

void PokeEventFd(int fd) {
  const uint64_t one = 1;
  ssize_t ignored = write(fd, &one, sizeof one);
  (void)ignored;  // a full counter is already a pending wake
}

}  // namespace

struct TSerialDevice::Impl {
  int fd = -1;
  int epoll = -1;
  int lineWake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  int writeWake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  int readWake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  // The fields termios has no place for, as last written.
  TLineSettings shadow;

  ~Impl() {
    if (lineWake >= 0) close(lineWake);
    if (writeWake >= 0) close(writeWake);
    if (readWake >= 0) close(readWake);
  }
};

TSerialDevice::TSerialDevice() : impl_(std::make_unique<Impl>()) {}

TSerialDevice::~TSerialDevice() { Close(); }

bool TSerialDevice::IsOpen() const { return impl_->fd >= 0; }

TDeviceFailure TSerialDevice::Open(const std::string& path) {
  if (IsOpen()) return {TDeviceFailureKind::Held, EBUSY};
  if (impl_->lineWake < 0 || impl_->writeWake < 0 || impl_->readWake < 0) {
    return {TDeviceFailureKind::OutOfMemory, ENOMEM};
  }
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return OpenFailure();
  auto fail = [fd](TDeviceFailure failure) {
    close(fd);
    return failure;
  };
  if (!isatty(fd)) return fail({TDeviceFailureKind::NoDevice, ENOTTY});
  // flock first: it tells another holder apart even for root, whom TIOCEXCL
  // does not stop.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(OpenFailure());
  if (ioctl(fd, TIOCEXCL) != 0) return fail(OpenFailure());

  termios tio{};
  if (tcgetattr(fd, &tio) != 0) {
    const TDeviceFailure failure = OpenFailure();
    ioctl(fd, TIOCNXCL);
    return fail(failure);
  }
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cflag &= ~CRTSCTS;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  // A read returns at once with whatever the device holds.
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  cfsetispeed(&tio, B115200);
  cfsetospeed(&tio, B115200);
  if (tcsetattr(fd, TCSANOW, &tio) != 0) {
    const TDeviceFailure failure = OpenFailure();
    ioctl(fd, TIOCNXCL);
    return fail(failure);
  }

  int ep = epoll_create1(EPOLL_CLOEXEC);
  if (ep < 0) {
    const TDeviceFailure failure = OpenFailure();
    ioctl(fd, TIOCNXCL);
    return fail(failure);
  }
  epoll_event device{};
  // No EPOLLIN: arrivals are the reader's business; hang-up and error are
  // always reported.
  device.events = EPOLLET;
  device.data.fd = fd;
  epoll_event wake{};
  wake.events = EPOLLIN;
  wake.data.fd = impl_->lineWake;
  if (epoll_ctl(ep, EPOLL_CTL_ADD, fd, &device) != 0 ||
      epoll_ctl(ep, EPOLL_CTL_ADD, impl_->lineWake, &wake) != 0) {
    const TDeviceFailure failure = OpenFailure();
    close(ep);
    ioctl(fd, TIOCNXCL);
    return fail(failure);
  }
  DrainEventFd(impl_->lineWake);
  DrainEventFd(impl_->writeWake);
  DrainEventFd(impl_->readWake);
  impl_->fd = fd;
  impl_->epoll = ep;
  impl_->shadow = TLineSettings{};
  return kNoDeviceFailure;
}

TDeviceFailure TSerialDevice::Probe(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return OpenFailure();
  TDeviceFailure result;
  if (!isatty(fd)) {
    result = {TDeviceFailureKind::NoDevice, ENOTTY};
  } else if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    result = OpenFailure();
  } else {
    flock(fd, LOCK_UN);
  }
  close(fd);
  return result;
}

int TSerialDevice::Close() {
  if (!IsOpen()) return 0;
  // The exclusive mark outlives our descriptor on a pseudo-terminal whose other
  // side stays open, so it is lifted by hand.
  ioctl(impl_->fd, TIOCNXCL);
  close(impl_->epoll);
  impl_->epoll = -1;
  int result = close(impl_->fd) == 0 ? 0 : -1;
  impl_->fd = -1;
  return result;
}

TDeviceFailure TSerialDevice::SetQueueSizes(uint32_t, uint32_t) {
  return IsOpen() ? kNoDeviceFailure : kNotOpen;
}

TDeviceFailure TSerialDevice::GetState(TLineSettings& settings) {
  if (!IsOpen()) return kNotOpen;
  termios tio{};
  if (tcgetattr(impl_->fd, &tio) != 0) return CallFailure();
  settings = impl_->shadow;
  settings.baud = BaudOf(cfgetospeed(&tio));
  if (!(tio.c_cflag & PARENB)) {
    settings.parity = 0;
  } else if (tio.c_cflag & CMSPAR) {
    settings.parity = (tio.c_cflag & PARODD) ? 3 : 4;
  } else {
    settings.parity = (tio.c_cflag & PARODD) ? 1 : 2;
  }
  switch (tio.c_cflag & CSIZE) {
    case CS5: settings.dataBits = 5; break;
    case CS6: settings.dataBits = 6; break;
    case CS7: settings.dataBits = 7; break;
    default: settings.dataBits = 8; break;
  }
  if (!(tio.c_cflag & CSTOPB)) {
    settings.stopBits = sbOne;
  } else if (settings.stopBits == sbOne) {
    settings.stopBits = sbTwo;
  }
  settings.parityCheck = (tio.c_iflag & INPCK) != 0;
  settings.outxCtsFlow = (tio.c_cflag & CRTSCTS) != 0;
  settings.outX = (tio.c_iflag & IXON) != 0;
  settings.inX = (tio.c_iflag & IXOFF) != 0;
  settings.xonChar = static_cast<char>(tio.c_cc[VSTART]);
  settings.xoffChar = static_cast<char>(tio.c_cc[VSTOP]);
  return kNoDeviceFailure;
}

TDeviceFailure TSerialDevice::SetState(const TLineSettings& settings) {
  if (!IsOpen()) return kNotOpen;
  termios tio{};
  if (tcgetattr(impl_->fd, &tio) != 0) return CallFailure();
  speed_t speed;
  if (!SpeedCode(settings.baud, speed)) return CallFailureFor(EINVAL);
  cfsetispeed(&tio, speed);
  cfsetospeed(&tio, speed);
  tio.c_cflag &= ~(PARENB | PARODD | CMSPAR | CSIZE | CSTOPB | CRTSCTS);
  switch (settings.parity) {
    case 1: tio.c_cflag |= PARENB | PARODD; break;
    case 2: tio.c_cflag |= PARENB; break;
    case 3: tio.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 4: tio.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  switch (settings.dataBits) {
    case 5: tio.c_cflag |= CS5; break;
    case 6: tio.c_cflag |= CS6; break;
    case 7: tio.c_cflag |= CS7; break;
    default: tio.c_cflag |= CS8; break;
  }
  // Linux has no one-and-a-half stop bits; a UART sends 1.5 for "two" at 5 bits.
  if (settings.stopBits != sbOne) tio.c_cflag |= CSTOPB;
  if (settings.outxCtsFlow || settings.rtsControl == rtsHandshake) tio.c_cflag |= CRTSCTS;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
  if (settings.outX) tio.c_iflag |= IXON;
  if (settings.inX) tio.c_iflag |= IXOFF;
  if (settings.parityCheck) tio.c_iflag |= INPCK;
  tio.c_cc[VSTART] = static_cast<cc_t>(settings.xonChar);
  tio.c_cc[VSTOP] = static_cast<cc_t>(settings.xoffChar);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (tcsetattr(impl_->fd, TCSANOW, &tio) != 0) return CallFailure();
  impl_->shadow = settings;
  return kNoDeviceFailure;
}

void TSerialDevice::SetControlLine(TControlLine line, bool high) {
  if (!IsOpen()) return;
  int bits = line == TControlLine::Dtr ? TIOCM_DTR : TIOCM_RTS;
  // A pseudo-terminal has no modem lines and answers ENOTTY or EINVAL; that
  // is no failure.
  ioctl(impl_->fd, high ? TIOCMBIS : TIOCMBIC, &bits);
}

TModemLines TSerialDevice::ModemLines() {
  int bits = 0;
  if (!IsOpen() || ioctl(impl_->fd, TIOCMGET, &bits) != 0) return {};
  TModemLines lines;
  lines.cts = (bits & TIOCM_CTS) != 0;
  lines.dsr = (bits & TIOCM_DSR) != 0;
  lines.ring = (bits & TIOCM_RNG) != 0;
  lines.rlsd = (bits & TIOCM_CD) != 0;
  return lines;
}

namespace {

// A read or write's result: EAGAIN and EINTR mean nothing moved this time.
TTransfer Transferred(ssize_t n) {
  if (n >= 0) return {static_cast<std::size_t>(n), {}};
  if (errno == EAGAIN || errno == EINTR) return {};
  return {0, CallFailure()};
}

}  // namespace

TTransfer TSerialDevice::Read(uint8_t* const* buffers, std::size_t count, std::size_t each) {
  if (!IsOpen()) return {0, kNotOpen};
  std::array<iovec, kMaxReadBuffers> iov{};
  if (count > iov.size()) count = iov.size();
  for (std::size_t i = 0; i < count; ++i) iov[i] = {buffers[i], each};
  return Transferred(readv(impl_->fd, iov.data(), static_cast<int>(count)));
}

TTransfer TSerialDevice::Write(const uint8_t* data, std::size_t length) {
  if (!IsOpen()) return {0, kNotOpen};
  return Transferred(write(impl_->fd, data, length));
}

TSerialDevice::TWaitResult TSerialDevice::WaitLineEvent(int timeoutMs) {
  if (!IsOpen()) return TWaitResult::Failed;
  std::array<epoll_event, 2> events{};
  int n = epoll_wait(impl_->epoll, events.data(), static_cast<int>(events.size()), timeoutMs);
  if (n < 0) return errno == EINTR ? TWaitResult::Woken : TWaitResult::Failed;
  if (n == 0) return TWaitResult::TimedOut;
  TWaitResult result = TWaitResult::TimedOut;
  for (int i = 0; i < n; ++i) {
    if (events[i].data.fd == impl_->lineWake) {
      DrainEventFd(impl_->lineWake);
      result = TWaitResult::Woken;
      continue;
    }
    if (events[i].events & (EPOLLHUP | EPOLLERR)) return TWaitResult::HungUp;
  }
  return result;
}

TSerialDevice::TWaitResult TSerialDevice::WaitReadable(int timeoutMs) {
  if (!IsOpen()) return TWaitResult::Failed;
  pollfd fds[2] = {{impl_->fd, POLLIN, 0}, {impl_->readWake, POLLIN, 0}};
  int n = poll(fds, 2, timeoutMs);
  if (n < 0) return errno == EINTR ? TWaitResult::Woken : TWaitResult::Failed;
  if (n == 0) return TWaitResult::TimedOut;
  if (fds[1].revents & POLLIN) DrainEventFd(impl_->readWake);
  // Bytes first: what arrived before a hang-up is still read.
  if (fds[0].revents & POLLIN) return TWaitResult::Ready;
  if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return TWaitResult::HungUp;
  return TWaitResult::Woken;
}

void TSerialDevice::WakeReader() { PokeEventFd(impl_->readWake); }

void TSerialDevice::WakeLineEventWaiter() { PokeEventFd(impl_->lineWake); }

TSerialDevice::TWaitResult TSerialDevice::WaitWritable(int timeoutMs) {
  if (!IsOpen()) return TWaitResult::Failed;
  pollfd fds[2] = {{impl_->fd, POLLOUT, 0}, {impl_->writeWake, POLLIN, 0}};
  int n = poll(fds, 2, timeoutMs);
  if (n < 0) return errno == EINTR ? TWaitResult::Woken : TWaitResult::Failed;
  if (n == 0) return TWaitResult::TimedOut;
  if (fds[1].revents & POLLIN) DrainEventFd(impl_->writeWake);
  // A hang-up outranks a wake: the writer must learn that its line is gone.
  if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return TWaitResult::HungUp;
  if (fds[0].revents & POLLOUT) return TWaitResult::Ready;
  return TWaitResult::Woken;
}

void TSerialDevice::WakeWriteWaiter() { PokeEventFd(impl_->writeWake); }

bool TSerialDevice::PurgeInput() { return IsOpen() && tcflush(impl_->fd, TCIFLUSH) == 0; }

bool TSerialDevice::PurgeOutput() { return IsOpen() && tcflush(impl_->fd, TCOFLUSH) == 0; }

std::size_t TSerialDevice::OutputQueued() {
  int queued = 0;
  if (!IsOpen() || ioctl(impl_->fd, TIOCOUTQ, &queued) != 0 || queued < 0) return 0;
  return static_cast<std::size_t>(queued);
}

void TSerialDevice::WaitSent() {
  // A hung-up line answers at once with an error; nothing is left to wait for.
  if (IsOpen()) tcdrain(impl_->fd);
}
