// TSerialDevice on Windows: "\\.\COMn" opened exclusively and overlapped.
//
// Reading: the comm timeouts are all zero (a read waits for its full count),
// and the reader keeps one 1-byte overlapped read pending. WaitReadable waits
// on that read's event together with a wake event; once the byte is in, Read
// hands it over and takes what ClearCommError says is queued, which cannot
// block. WaitCommEvent is not used: some drivers (and wine on a
// pseudo-terminal) complete EV_RXCHAR waits at once, which would make the
// reader spin.
// Writing: one overlapped write at a time on a private copy of the bytes;
// Write accepts the next block once the previous one has completed.
// Purges and Close cancel the pending operations with CancelIoEx, so no
// waiter outlives them. Errors 109, 21 and 22 on a pending operation mean the
// line has gone (an adapter pulled out, the far side of a virtual port
// closed); the status thread learns that through an event.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "Adexcept.h"
#include "SerialDevice.h"

namespace {

// How long Close waits for a cancelled operation to report back before it
// closes the handle anyway (the handle's close ends it in any case).
constexpr DWORD kCancelSettleMs = 1000;
// The driver queue sizes asked for at open.
constexpr DWORD kDriverQueueBytes = 16384;
constexpr uint32_t kInitialBaud = 115200;
constexpr DWORD kGeneralFailure = 162;
constexpr const char kDevicePrefix[] = "\\\\.\\";

bool IsLineGone(DWORD error) {
  return error == ERROR_BROKEN_PIPE || error == ERROR_NOT_READY || error == ERROR_BAD_COMMAND ||
         error == ERROR_DEVICE_REMOVED || error == ERROR_GEN_FAILURE;
}

TOpenResult OpenErrorCode(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_BAD_UNIT:
    case ERROR_NOT_READY:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_FUNCTION: return TOpenResult::NoDevice;
    case ERROR_PATH_NOT_FOUND: return TOpenResult::NoPath;
    case ERROR_TOO_MANY_OPEN_FILES: return TOpenResult::TooManyOpen;
    // Windows answers a second open of a COM port with "access denied".
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY: return TOpenResult::Held;
    case ERROR_INVALID_HANDLE: return TOpenResult::NotOpen;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return TOpenResult::OutOfMemory;
    default: break;
  }
  // Windows error numbers are the numbers the message table was written for,
  // so any the table knows keep their own text.
  if (error > kGeneralFailure && !MessageNumberToString(static_cast<int>(error)).empty()) {
    return OpenFailure(static_cast<int>(kGeneralFailure));
  }
  return OpenFailure(static_cast<int>(error));
}

// "COM5" and "com5" name the device "\\.\COM5"; a path that already has a
// device prefix (or any other path) is used as given.
std::string DevicePathFor(const std::string& path) {
  if (path.rfind(kDevicePrefix, 0) == 0) return path;
  if (path.size() > 3 && _strnicmp(path.c_str(), "COM", 3) == 0 &&
      path.find_first_not_of("0123456789", 3) == std::string::npos) {
    return kDevicePrefix + path;
  }
  return path;
}

HANDLE OpenHandle(const std::string& path) {
  return CreateFileA(DevicePathFor(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                     OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

// A handle that opened but is no serial device (a file, a printer) has no
// comm state.
bool IsCommDevice(HANDLE handle) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  return GetFileType(handle) == FILE_TYPE_CHAR && GetCommState(handle, &dcb);
}

HANDLE NewEvent(bool manualReset) { return CreateEventA(nullptr, manualReset, FALSE, nullptr); }

struct TOperation {
  OVERLAPPED overlapped{};
  bool pending = false;

  void Restart() {
    HANDLE event = overlapped.hEvent;
    overlapped = OVERLAPPED{};
    overlapped.hEvent = event;
  }
};

TSerialDevice::TWaitResult WaitPair(HANDLE operation, HANDLE wake, int timeoutMs, DWORD& which) {
  const HANDLE handles[2] = {operation, wake};
  which = WaitForMultipleObjects(2, handles, FALSE, timeoutMs < 0 ? INFINITE : timeoutMs);
  if (which == WAIT_TIMEOUT) return TSerialDevice::TWaitResult::TimedOut;
  if (which == WAIT_OBJECT_0 + 1) return TSerialDevice::TWaitResult::Woken;
  if (which == WAIT_OBJECT_0) return TSerialDevice::TWaitResult::Ready;
  return TSerialDevice::TWaitResult::Failed;
}

}  // namespace

struct TSerialDevice::Impl {
  HANDLE handle = INVALID_HANDLE_VALUE;
  HANDLE readWake = NewEvent(false);
  HANDLE lineWake = NewEvent(false);
  HANDLE writeWake = NewEvent(false);
  // Set by whichever thread first sees the line gone; the status thread waits
  // on it.
  HANDLE lineGone = NewEvent(true);

  // Read thread only, except that PurgeInput bumps the generation and
  // cancels the read under ReadLock. A read is started under the same lock,
  // so it is either older than a purge (and what it got is purged input) or
  // younger (and what it gets came after the purge).
  std::mutex readLock;
  TOperation readOp;
  uint8_t readByte = 0;
  bool haveByte = false;
  uint64_t readIssuedIn = 0;  // PurgeGeneration when the current read began
  std::atomic<uint64_t> purgeGeneration{0};

  // The write thread writes; OutputQueued and PurgeOutput look.
  std::mutex writeLock;
  TOperation writeOp;
  std::vector<uint8_t> writeCopy;

  TLineSettings shadow;

  Impl() {
    readOp.overlapped.hEvent = NewEvent(true);
    writeOp.overlapped.hEvent = NewEvent(true);
  }
  ~Impl() {
    for (HANDLE h : {readWake, lineWake, writeWake, lineGone, readOp.overlapped.hEvent,
                     writeOp.overlapped.hEvent}) {
      if (h != nullptr) CloseHandle(h);
    }
  }
  bool EventsReady() const {
    return readWake && lineWake && writeWake && lineGone && readOp.overlapped.hEvent &&
           writeOp.overlapped.hEvent;
  }

  void MarkGone() { SetEvent(lineGone); }

  // Starts the 1-byte read unless one is pending or a byte waits. False when
  // the line is gone or the read failed (`error` says which).
  bool EnsureReadPending(DWORD& error) {
    error = 0;
    if (readOp.pending || haveByte) return true;
    std::lock_guard<std::mutex> guard(readLock);
    readOp.Restart();
    readIssuedIn = purgeGeneration.load();
    DWORD got = 0;
    if (ReadFile(handle, &readByte, 1, &got, &readOp.overlapped)) {
      haveByte = got == 1;
      return true;
    }
    error = GetLastError();
    if (error == ERROR_IO_PENDING) {
      readOp.pending = true;
      error = 0;
      return true;
    }
    if (error == ERROR_OPERATION_ABORTED) {
      error = 0;
      return true;
    }
    return false;
  }

  // Collects the pending read if it has completed. False on a failure
  // (`error` set); a purge's cancel is no failure.
  bool CollectRead(DWORD& error) {
    error = 0;
    if (!readOp.pending) return true;
    DWORD got = 0;
    if (!GetOverlappedResult(handle, &readOp.overlapped, &got, FALSE)) {
      error = GetLastError();
      if (error == ERROR_IO_INCOMPLETE) {
        error = 0;
        return true;
      }
      readOp.pending = false;
      if (error == ERROR_OPERATION_ABORTED) {
        error = 0;
        return true;
      }
      return false;
    }
    readOp.pending = false;
    haveByte = got == 1;
    return true;
  }

  // Whether a byte waits that no purge has dropped since its read began.
  bool HaveFreshByte() {
    if (haveByte && readIssuedIn != purgeGeneration.load()) haveByte = false;
    return haveByte;
  }

  // Waits for `op` after a cancel, bounded.
  void Settle(TOperation& op) {
    if (!op.pending) return;
    if (WaitForSingleObject(op.overlapped.hEvent, kCancelSettleMs) == WAIT_OBJECT_0) {
      DWORD ignored = 0;
      GetOverlappedResult(handle, &op.overlapped, &ignored, FALSE);
    }
    op.pending = false;
  }
};

TSerialDevice::TSerialDevice() : impl_(std::make_unique<Impl>()) {}

TSerialDevice::~TSerialDevice() { Close(); }

bool TSerialDevice::IsOpen() const { return impl_->handle != INVALID_HANDLE_VALUE; }

TOpenResult TSerialDevice::Open(const std::string& path) {
  if (IsOpen()) return TOpenResult::Held;
  if (!impl_->EventsReady()) return TOpenResult::OutOfMemory;
  HANDLE handle = OpenHandle(path);
  if (handle == INVALID_HANDLE_VALUE) return OpenErrorCode(GetLastError());
  auto fail = [handle](TOpenResult code) {
    CloseHandle(handle);
    return code;
  };
  if (!IsCommDevice(handle)) return fail(TOpenResult::NoDevice);
  SetupComm(handle, kDriverQueueBytes, kDriverQueueBytes);
  // All zero: a read waits for its full count. The reader only ever asks for
  // one byte or for what is already queued.
  COMMTIMEOUTS timeouts{};
  if (!SetCommTimeouts(handle, &timeouts)) return fail(OpenErrorCode(GetLastError()));
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(handle, &dcb)) return fail(OpenErrorCode(GetLastError()));
  dcb.BaudRate = kInitialBaud;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  if (!SetCommState(handle, &dcb)) return fail(OpenErrorCode(GetLastError()));
  PurgeComm(handle, PURGE_RXCLEAR | PURGE_TXCLEAR);
  for (HANDLE h : {impl_->readWake, impl_->lineWake, impl_->writeWake, impl_->lineGone})
    ResetEvent(h);
  impl_->handle = handle;
  impl_->readOp.pending = false;
  impl_->haveByte = false;
  impl_->writeOp.pending = false;
  impl_->shadow = TLineSettings{};
  return TOpenResult::Ok;
}

TOpenResult TSerialDevice::Probe(const std::string& path) {
  HANDLE handle = OpenHandle(path);
  if (handle == INVALID_HANDLE_VALUE) return OpenErrorCode(GetLastError());
  const TOpenResult result = IsCommDevice(handle) ? TOpenResult::Ok : TOpenResult::NoDevice;
  CloseHandle(handle);
  return result;
}

int TSerialDevice::Close() {
  if (!IsOpen()) return 0;
  CancelIoEx(impl_->handle, nullptr);
  impl_->Settle(impl_->readOp);
  {
    std::lock_guard<std::mutex> guard(impl_->writeLock);
    impl_->Settle(impl_->writeOp);
  }
  impl_->haveByte = false;
  const int result = CloseHandle(impl_->handle) ? 0 : -1;
  impl_->handle = INVALID_HANDLE_VALUE;
  return result;
}

int TSerialDevice::GetState(TLineSettings& settings) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!IsOpen() || !GetCommState(impl_->handle, &dcb)) return -1;
  settings = impl_->shadow;
  settings.baud = dcb.BaudRate;
  settings.parity = dcb.Parity;
  settings.dataBits = dcb.ByteSize;
  settings.stopBits = static_cast<TStopBitSetting>(dcb.StopBits);
  settings.binary = dcb.fBinary;
  settings.parityCheck = dcb.fParity;
  settings.outxCtsFlow = dcb.fOutxCtsFlow;
  settings.outxDsrFlow = dcb.fOutxDsrFlow;
  settings.dsrSensitivity = dcb.fDsrSensitivity;
  settings.txContinueOnXoff = dcb.fTXContinueOnXoff;
  settings.outX = dcb.fOutX;
  settings.inX = dcb.fInX;
  settings.nullStrip = dcb.fNull;
  settings.dtrControl = static_cast<TDtrControl>(dcb.fDtrControl);
  settings.rtsControl = static_cast<TRtsControl>(dcb.fRtsControl);
  settings.xonChar = dcb.XonChar;
  settings.xoffChar = dcb.XoffChar;
  settings.xonLim = dcb.XonLim;
  settings.xoffLim = dcb.XoffLim;
  return 0;
}

int TSerialDevice::SetState(const TLineSettings& settings) {
  if (!IsOpen()) return OpenResultCode(TOpenResult::NotOpen);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(impl_->handle, &dcb)) return -static_cast<int>(GetLastError());
  dcb.BaudRate = settings.baud;
  dcb.Parity = settings.parity;
  dcb.ByteSize = settings.dataBits;
  dcb.StopBits = static_cast<BYTE>(settings.stopBits);
  dcb.fBinary = TRUE;  // Windows supports nothing else
  dcb.fParity = settings.parityCheck;
  dcb.fOutxCtsFlow = settings.outxCtsFlow;
  dcb.fOutxDsrFlow = settings.outxDsrFlow;
  dcb.fDsrSensitivity = settings.dsrSensitivity;
  dcb.fTXContinueOnXoff = settings.txContinueOnXoff;
  dcb.fOutX = settings.outX;
  dcb.fInX = settings.inX;
  dcb.fNull = settings.nullStrip;
  dcb.fAbortOnError = FALSE;
  dcb.fDtrControl = settings.dtrControl;
  dcb.fRtsControl = settings.rtsControl;
  dcb.XonChar = settings.xonChar;
  dcb.XoffChar = settings.xoffChar;
  dcb.XonLim = static_cast<WORD>(settings.xonLim);
  dcb.XoffLim = static_cast<WORD>(settings.xoffLim);
  if (!SetCommState(impl_->handle, &dcb)) return -static_cast<int>(GetLastError());
  impl_->shadow = settings;
  return 0;
}

void TSerialDevice::EscapeFunction(int function) {
  if (!IsOpen()) return;
  // The function numbers are Windows' own. A virtual port without modem
  // lines refuses the call; that is no failure.
  EscapeCommFunction(impl_->handle, static_cast<DWORD>(function));
}

uint32_t TSerialDevice::ModemStatus() {
  DWORD status = 0;
  if (!IsOpen() || !GetCommModemStatus(impl_->handle, &status)) return 0;
  return status & (kModemCts | kModemDsr | kModemRing | kModemRlsd);
}

long TSerialDevice::Read(uint8_t* const* buffers, std::size_t count, std::size_t each) {
  if (!IsOpen()) return -ERROR_INVALID_HANDLE;
  Impl& d = *impl_;
  DWORD error = 0;
  if (!d.CollectRead(error)) {
    if (IsLineGone(error)) {
      d.MarkGone();
      return 0;
    }
    return -static_cast<long>(error);
  }
  // Bytes must come in order: while the 1-byte read is still out, whatever
  // is queued behind it waits for it.
  if (d.readOp.pending || count == 0 || each == 0) return 0;
  const std::size_t room = count * each;
  std::vector<uint8_t> got;
  got.reserve(room);
  if (d.HaveFreshByte()) {
    got.push_back(d.readByte);
    d.haveByte = false;
  }
  DWORD want = 0;
  BOOL done = FALSE;
  DWORD taken = 0;
  std::size_t start = got.size();
  {
    std::lock_guard<std::mutex> guard(d.readLock);
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(d.handle, &errors, &stat)) {
      error = GetLastError();
      if (!IsLineGone(error)) return -static_cast<long>(error);
      d.MarkGone();
    } else if (stat.cbInQue > 0 && got.size() < room) {
      want = static_cast<DWORD>(std::min<std::size_t>(stat.cbInQue, room - got.size()));
      got.resize(start + want);
      d.readOp.Restart();
      d.readIssuedIn = d.purgeGeneration.load();
      done = ReadFile(d.handle, got.data() + start, want, &taken, &d.readOp.overlapped);
      error = done ? 0 : GetLastError();
    }
  }
  if (want > 0) {
    if (!done && error == ERROR_IO_PENDING) {
      // The bytes were queued, so this completes at once unless a purge took
      // them first; then PurgeInput cancels it. A wake ends it too.
      DWORD which = 0;
      if (WaitPair(d.readOp.overlapped.hEvent, d.readWake, -1, which) != TWaitResult::Ready) {
        CancelIoEx(d.handle, &d.readOp.overlapped);
      }
      done = GetOverlappedResult(d.handle, &d.readOp.overlapped, &taken, TRUE);
      error = done ? 0 : GetLastError();
    }
    if (!done) {
      taken = 0;
      if (IsLineGone(error))
        d.MarkGone();
      else if (error != ERROR_OPERATION_ABORTED)
        return -static_cast<long>(error);
    }
    // Bytes read across a purge are purged input.
    if (d.readIssuedIn != d.purgeGeneration.load()) taken = 0;
    got.resize(start + taken);
  }
  for (std::size_t offset = 0, i = 0; offset < got.size(); offset += each, ++i) {
    std::memcpy(buffers[i], got.data() + offset, std::min(each, got.size() - offset));
  }
  return static_cast<long>(got.size());
}

long TSerialDevice::Write(const uint8_t* data, std::size_t length) {
  if (!IsOpen()) return -ERROR_INVALID_HANDLE;
  Impl& d = *impl_;
  std::lock_guard<std::mutex> guard(d.writeLock);
  if (d.writeOp.pending) {
    DWORD sent = 0;
    if (!GetOverlappedResult(d.handle, &d.writeOp.overlapped, &sent, FALSE)) {
      const DWORD error = GetLastError();
      if (error == ERROR_IO_INCOMPLETE) return 0;
      d.writeOp.pending = false;
      if (IsLineGone(error)) {
        d.MarkGone();
        return -static_cast<long>(error);
      }
      // A purge's cancel drops the block on purpose.
      if (error != ERROR_OPERATION_ABORTED) return -static_cast<long>(error);
    }
    d.writeOp.pending = false;
  }
  if (length == 0) return 0;
  d.writeCopy.assign(data, data + length);
  d.writeOp.Restart();
  DWORD sent = 0;
  if (WriteFile(d.handle, d.writeCopy.data(), static_cast<DWORD>(length), &sent,
                &d.writeOp.overlapped)) {
    return static_cast<long>(sent);
  }
  const DWORD error = GetLastError();
  if (error == ERROR_IO_PENDING) {
    d.writeOp.pending = true;
    return static_cast<long>(length);
  }
  if (IsLineGone(error)) d.MarkGone();
  return -static_cast<long>(error);
}

TSerialDevice::TWaitResult TSerialDevice::WaitReadable(int timeoutMs) {
  if (!IsOpen()) return TWaitResult::Failed;
  Impl& d = *impl_;
  DWORD error = 0;
  if (!d.CollectRead(error) || !d.EnsureReadPending(error)) {
    if (IsLineGone(error)) {
      d.MarkGone();
      return TWaitResult::HungUp;
    }
    return TWaitResult::Failed;
  }
  if (d.HaveFreshByte()) return TWaitResult::Ready;
  if (!d.readOp.pending) return TWaitResult::Woken;  // cancelled by a purge: look again
  DWORD which = 0;
  const TWaitResult waited = WaitPair(d.readOp.overlapped.hEvent, d.readWake, timeoutMs, which);
  if (waited != TWaitResult::Ready) return waited;
  if (!d.CollectRead(error)) {
    if (IsLineGone(error)) {
      d.MarkGone();
      return TWaitResult::HungUp;
    }
    return TWaitResult::Failed;
  }
  return d.HaveFreshByte() ? TWaitResult::Ready : TWaitResult::Woken;
}

void TSerialDevice::WakeReader() { SetEvent(impl_->readWake); }

TSerialDevice::TWaitResult TSerialDevice::WaitLineEvent(int timeoutMs) {
  if (!IsOpen()) return TWaitResult::Failed;
  DWORD which = 0;
  const TWaitResult waited = WaitPair(impl_->lineGone, impl_->lineWake, timeoutMs, which);
  return waited == TWaitResult::Ready ? TWaitResult::HungUp : waited;
}

void TSerialDevice::WakeLineEventWaiter() { SetEvent(impl_->lineWake); }

TSerialDevice::TWaitResult TSerialDevice::WaitWritable(int timeoutMs) {
  if (!IsOpen()) return TWaitResult::Failed;
  Impl& d = *impl_;
  HANDLE done;
  {
    std::lock_guard<std::mutex> guard(d.writeLock);
    if (!d.writeOp.pending) return TWaitResult::Ready;
    done = d.writeOp.overlapped.hEvent;
  }
  DWORD which = 0;
  const TWaitResult waited = WaitPair(done, d.writeWake, timeoutMs, which);
  // Write collects the result, failures included.
  return waited;
}

void TSerialDevice::WakeWriteWaiter() { SetEvent(impl_->writeWake); }

bool TSerialDevice::PurgeInput() {
  if (!IsOpen()) return false;
  std::lock_guard<std::mutex> guard(impl_->readLock);
  impl_->purgeGeneration.fetch_add(1);
  const bool purged = PurgeComm(impl_->handle, PURGE_RXABORT | PURGE_RXCLEAR);
  // Not every driver (nor wine) aborts the pending read on PURGE_RXABORT.
  CancelIoEx(impl_->handle, &impl_->readOp.overlapped);
  return purged;
}

bool TSerialDevice::PurgeOutput() {
  if (!IsOpen()) return false;
  const bool purged = PurgeComm(impl_->handle, PURGE_TXABORT | PURGE_TXCLEAR);
  CancelIoEx(impl_->handle, &impl_->writeOp.overlapped);
  return purged;
}

std::size_t TSerialDevice::OutputQueued() {
  if (!IsOpen()) return 0;
  Impl& d = *impl_;
  DWORD errors = 0;
  COMSTAT stat{};
  std::size_t queued = ClearCommError(d.handle, &errors, &stat) ? stat.cbOutQue : 0;
  // Some drivers (and wine) do not count a pending write in cbOutQue.
  std::lock_guard<std::mutex> guard(d.writeLock);
  if (d.writeOp.pending && WaitForSingleObject(d.writeOp.overlapped.hEvent, 0) != WAIT_OBJECT_0) {
    queued = std::max(queued, d.writeCopy.size());
  }
  return queued;
}

void TSerialDevice::WaitSent() {
  // Returns once the driver has sent what it holds; a port that went away
  // answers at once with an error.
  if (IsOpen()) FlushFileBuffers(impl_->handle);
}

bool TSerialDevice::IsInvalidHandle(int negativeError) {
  return negativeError == -ERROR_INVALID_HANDLE;
}
