// The line on Windows: a COM port ("\\.\COMn") opened exclusively and
// overlapped, as a cable or a virtual null-modem pair (com0com) joins it to
// the tool's port. Windows has no pseudo-terminals.
//
// It follows what the tool's own Windows backend learned about drivers and
// wine: the comm timeouts are all zero (a read waits for its full count), one
// 1-byte overlapped read stays pending, and once its byte is in, what
// ClearCommError says is queued is read, which cannot block. WaitCommEvent is
// not used: some drivers (and wine on a pseudo-terminal) complete EV_RXCHAR
// waits at once, which would make the reader spin. A read that completes
// with no byte is retried after a pause, for the same reason. Every wait
// also waits on a manual-reset stop event, so a stop request ends it at once
// and every later one. A pending operation that fails is the line gone: this
// program cancels only when it stops or closes the line.
//
// The overlapped operations' buffers belong to the line's handles, never to a
// caller: an operation that a driver is late to cancel cannot write into
// freed memory.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <string>
#include <system_error>

#include "ComName.h"
#include "SimLine.h"
#include "SystemErrorText.h"
#include "win32/RawLine.h"
#include "win32/Utf16Text.h"

namespace stbsim {
namespace {

constexpr size_t kReadChunk = 4096;
constexpr DWORD kLineBaud = 115200;
// How long closing waits for a cancelled operation to report back before it
// closes the handle anyway (the close ends it in any case).
constexpr DWORD kCancelSettleMs = 1000;
// A read or write that completes without moving a byte is tried again after
// this pause rather than at once.
constexpr std::chrono::milliseconds kNoProgressRetry{10};

// Windows' error numbers, worded by the system.
class WindowsErrorCategory : public std::error_category {
 public:
  const char* name() const noexcept override { return "windows"; }
  std::string message(int number) const override {
    std::string text = SystemErrorDescription(number);
    // The system's texts end with a line break.
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    return (text.empty() ? std::string("error") : text) + " (Windows error " +
           std::to_string(number) + ")";
  }
};

const std::error_category& WindowsErrors() {
  static const WindowsErrorCategory category;
  return category;
}

[[noreturn]] void ThrowError(DWORD error, const std::string& what) {
  throw std::system_error(static_cast<int>(error), WindowsErrors(), what);
}

// The wait for `deadline` in WaitForMultipleObjects' milliseconds, rounded
// up so that a wait never ends before it.
DWORD WaitMs(SimLine::Clock::time_point deadline) {
  if (deadline == SimLine::Clock::time_point::max()) return INFINITE;
  const auto left = deadline - SimLine::Clock::now();
  if (left <= SimLine::Clock::duration::zero()) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<DWORD>(std::min<long long>(ms, INFINITE - 1));
}

HANDLE NewManualEvent() { return CreateEventW(nullptr, TRUE, FALSE, nullptr); }

struct Operation {
  OVERLAPPED overlapped{};
  std::atomic<bool> pending{false};

  Operation() { overlapped.hEvent = NewManualEvent(); }
  ~Operation() {
    if (overlapped.hEvent != nullptr) CloseHandle(overlapped.hEvent);
  }
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;

  void Restart() {
    HANDLE event = overlapped.hEvent;
    overlapped = OVERLAPPED{};
    overlapped.hEvent = event;
  }
  bool Done() const { return WaitForSingleObject(overlapped.hEvent, 0) == WAIT_OBJECT_0; }
};

}  // namespace

SimLineKinds SystemSimLineKinds() { return {false, false}; }

struct SimLine::System {
  HANDLE port = INVALID_HANDLE_VALUE;
  HANDLE stop = NewManualEvent();
  Operation read;
  uint8_t readByte = 0;
  Operation write;
  std::vector<uint8_t> queued = std::vector<uint8_t>(kReadChunk);
  std::vector<uint8_t> writeCopy;

  System() = default;
  System(const System&) = delete;
  System& operator=(const System&) = delete;
  ~System() {
    Close();
    if (stop != nullptr) CloseHandle(stop);
  }

  // Waits for `op` or the stop event; true when `op` completed, false when
  // `deadline` passed first. A stop cancels `op` and throws LineStopped.
  bool Await(Operation& op, Clock::time_point deadline) {
    const HANDLE handles[2] = {stop, op.overlapped.hEvent};
    for (;;) {
      const DWORD which = WaitForMultipleObjects(2, handles, FALSE, WaitMs(deadline));
      if (which == WAIT_OBJECT_0) {
        Cancel(op);
        throw LineStopped{};
      }
      if (which == WAIT_OBJECT_0 + 1) return true;
      if (which != WAIT_TIMEOUT) ThrowError(GetLastError(), "WaitForMultipleObjects");
      if (Clock::now() >= deadline) return false;
    }
  }

  void Pause(Clock::time_point until) {
    while (Clock::now() < until) {
      const DWORD waited = WaitForSingleObject(stop, WaitMs(until));
      if (waited == WAIT_OBJECT_0) throw LineStopped{};
      if (waited != WAIT_TIMEOUT) ThrowError(GetLastError(), "WaitForSingleObject");
    }
  }

  void Cancel(Operation& op) {
    if (!op.pending) return;
    CancelIoEx(port, &op.overlapped);
    if (WaitForSingleObject(op.overlapped.hEvent, kCancelSettleMs) == WAIT_OBJECT_0) {
      DWORD ignored = 0;
      GetOverlappedResult(port, &op.overlapped, &ignored, FALSE);
    }
    op.pending = false;
  }

  void Close() {
    if (port == INVALID_HANDLE_VALUE) return;
    Cancel(read);
    Cancel(write);
    CloseHandle(port);
    port = INVALID_HANDLE_VALUE;
  }

  // The result of the completed `op`: its byte count. A failure is the line
  // gone.
  DWORD Collect(Operation& op) {
    DWORD moved = 0;
    const BOOL done = GetOverlappedResult(port, &op.overlapped, &moved, FALSE);
    op.pending = false;
    if (!done) throw LineGone{};
    return moved;
  }

  // Reads what ClearCommError says is queued, up to kReadChunk, into `queued`.
  DWORD TakeQueued() {
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(port, &errors, &stat)) throw LineGone{};
    const DWORD want = std::min<DWORD>(stat.cbInQue, kReadChunk);
    if (want == 0) return 0;
    read.Restart();
    DWORD got = 0;
    if (ReadFile(port, queued.data(), want, &got, &read.overlapped)) return got;
    if (GetLastError() != ERROR_IO_PENDING) throw LineGone{};
    // The bytes were queued, so this completes at once.
    read.pending = true;
    Await(read, Clock::time_point::max());
    return Collect(read);
  }
};

SimLine::SimLine(bool pace, int baud)
    : system_(std::make_unique<System>()), pace_(pace), byteTime_(ByteTime(baud)) {
  throw std::system_error(ERROR_NOT_SUPPORTED, WindowsErrors(),
                          "Windows has no pseudo-terminals; name a COM port");
}

SimLine::SimLine(const std::string& device, bool pace, int baud)
    : system_(std::make_unique<System>()), pace_(pace), byteTime_(ByteTime(baud)) {
  if (system_->stop == nullptr || system_->read.overlapped.hEvent == nullptr ||
      system_->write.overlapped.hEvent == nullptr)
    ThrowError(GetLastError(), "CreateEvent");
  const std::optional<uint16_t> number = ComNumberFromName(device);
  if (!number) ThrowError(ERROR_INVALID_NAME, device + " is no COM port name");
  slavePath_ = ComNameFor(*number);
  const std::wstring path = WideFromUtf8(std::string(kComDevicePrefix) + slavePath_);
  system_->port = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
  if (system_->port == INVALID_HANDLE_VALUE) ThrowError(GetLastError(), slavePath_);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  // The comm state is the proof of a serial port.
  if (!GetCommState(system_->port, &dcb))
    ThrowError(GetLastError(), slavePath_ + " is no serial port");
  MakeRawLine(dcb, kLineBaud);
  // The STB's side of the cable is powered and ready.
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  if (!SetCommState(system_->port, &dcb)) ThrowError(GetLastError(), slavePath_ + ": SetCommState");
  COMMTIMEOUTS timeouts{};
  if (!SetCommTimeouts(system_->port, &timeouts))
    ThrowError(GetLastError(), slavePath_ + ": SetCommTimeouts");
  PurgeComm(system_->port, PURGE_RXCLEAR | PURGE_TXCLEAR);
  buffer_.reserve(kReadChunk);
}

SimLine::~SimLine() = default;

void SimLine::RequestStop() { SetEvent(system_->stop); }

bool SimLine::Gone() const { return system_->port == INVALID_HANDLE_VALUE; }

void SimLine::Vanish() {
  std::lock_guard<std::mutex> lock(fdsLock_);
  system_->Close();
  buffer_.clear();
  head_ = 0;
}

void SimLine::SleepUntil(Clock::time_point until) { system_->Pause(until); }

bool SimLine::Receive(Clock::time_point deadline, const std::function<void()>& beforeTaking) {
  System& s = *system_;
  for (;;) {
    if (Gone()) throw LineGone{};
    if (!s.read.pending) {
      s.read.Restart();
      DWORD got = 0;
      if (ReadFile(s.port, &s.readByte, 1, &got, &s.read.overlapped)) {
        SetEvent(s.read.overlapped.hEvent);
      } else if (GetLastError() != ERROR_IO_PENDING) {
        throw LineGone{};
      }
      s.read.pending = true;
    }
    if (!s.Await(s.read, deadline)) return false;
    // The pending read has its byte already: a real port has no quiet test.
    beforeTaking();
    if (s.Collect(s.read) == 0) {
      s.Pause(std::min(deadline, Clock::now() + kNoProgressRetry));
      if (Clock::now() >= deadline) return false;
      continue;
    }
    buffer_.assign(1, s.readByte);
    const DWORD more = s.TakeQueued();
    buffer_.insert(buffer_.end(), s.queued.begin(), s.queued.begin() + more);
    return true;
  }
}

bool SimLine::SystemQuiet(bool threadEnded) {
  System& s = *system_;
  if (s.port == INVALID_HANDLE_VALUE) return true;
  DWORD errors = 0;
  COMSTAT stat{};
  if (!ClearCommError(s.port, &errors, &stat)) return true;
  // The far side's queue is out of sight; what this side has not sent yet
  // shows. Once the STB's thread has ended, what the tool writes stays unread
  // for good.
  const bool sent = stat.cbOutQue == 0 && !(s.write.pending && !s.write.Done());
  if (threadEnded) return sent;
  return sent && stat.cbInQue == 0 && !(s.read.pending && s.read.Done());
}

void SimLine::DropPendingInput() {
  System& s = *system_;
  PurgeComm(s.port, PURGE_RXCLEAR);
  // A byte the pending read has taken already came before the purge.
  if (s.read.pending && s.read.Done()) s.Collect(s.read);
}

void SimLine::SendAll(const uint8_t* bytes, size_t count) {
  System& s = *system_;
  s.writeCopy.assign(bytes, bytes + count);
  size_t sent = 0;
  while (sent < count) {
    s.write.Restart();
    DWORD moved = 0;
    const DWORD piece = static_cast<DWORD>(std::min<size_t>(count - sent, MAXDWORD));
    if (!WriteFile(s.port, s.writeCopy.data() + sent, piece, &moved, &s.write.overlapped)) {
      if (GetLastError() != ERROR_IO_PENDING) throw LineGone{};
      s.write.pending = true;
      s.Await(s.write, Clock::time_point::max());
      moved = s.Collect(s.write);
    }
    if (moved == 0) s.Pause(Clock::now() + kNoProgressRetry);
    sent += moved;
  }
}

}  // namespace stbsim
