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
    case ERROR_INVALID_FUNCTION:
      return TOpenResult::NoDevice;
    case ERROR_PATH_NOT_FOUND:
      return TOpenResult::NoPath;
    case ERROR_TOO_MANY_OPEN_FILES:
      return TOpenResult::TooManyOpen;
    // Windows answers a second open of a COM port with "access denied".
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
      return TOpenResult::Held;
    case ERROR_INVALID_HANDLE:
      return TOpenResult::NotOpen;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return TOpenResult::OutOfMemory;
    default:
      break;
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
  OVERLAPPED Overlapped{};
  bool Pending = false;

  void Restart() {
    HANDLE event = Overlapped.hEvent;
    Overlapped = OVERLAPPED{};
    Overlapped.hEvent = event;
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
  HANDLE Handle = INVALID_HANDLE_VALUE;
  HANDLE ReadWake = NewEvent(false);
  HANDLE LineWake = NewEvent(false);
  HANDLE WriteWake = NewEvent(false);
  // Set by whichever thread first sees the line gone; the status thread waits
  // on it.
  HANDLE LineGone = NewEvent(true);

  // Read thread only, except that PurgeInput bumps the generation and
  // cancels the read under ReadLock. A read is started under the same lock,
  // so it is either older than a purge (and what it got is purged input) or
  // younger (and what it gets came after the purge).
  std::mutex ReadLock;
  TOperation ReadOp;
  uint8_t ReadByte = 0;
  bool HaveByte = false;
  uint64_t ReadIssuedIn = 0;  // PurgeGeneration when the current read began
  std::atomic<uint64_t> PurgeGeneration{0};

  // The write thread writes; OutputQueued and PurgeOutput look.
  std::mutex WriteLock;
  TOperation WriteOp;
  std::vector<uint8_t> WriteCopy;

  TLineSettings Shadow;

  Impl() {
    ReadOp.Overlapped.hEvent = NewEvent(true);
    WriteOp.Overlapped.hEvent = NewEvent(true);
  }
  ~Impl() {
    for (HANDLE h : {ReadWake, LineWake, WriteWake, LineGone, ReadOp.Overlapped.hEvent,
                     WriteOp.Overlapped.hEvent}) {
      if (h != nullptr) CloseHandle(h);
    }
  }
  bool EventsReady() const {
    return ReadWake && LineWake && WriteWake && LineGone && ReadOp.Overlapped.hEvent &&
           WriteOp.Overlapped.hEvent;
  }

  void MarkGone() { SetEvent(LineGone); }

  // Starts the 1-byte read unless one is pending or a byte waits. False when
  // the line is gone or the read failed (`error` says which).
  bool EnsureReadPending(DWORD& error) {
    error = 0;
    if (ReadOp.Pending || HaveByte) return true;
    std::lock_guard<std::mutex> guard(ReadLock);
    ReadOp.Restart();
    ReadIssuedIn = PurgeGeneration.load();
    DWORD got = 0;
    if (ReadFile(Handle, &ReadByte, 1, &got, &ReadOp.Overlapped)) {
      HaveByte = got == 1;
      return true;
    }
    error = GetLastError();
    if (error == ERROR_IO_PENDING) {
      ReadOp.Pending = true;
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
    if (!ReadOp.Pending) return true;
    DWORD got = 0;
    if (!GetOverlappedResult(Handle, &ReadOp.Overlapped, &got, FALSE)) {
      error = GetLastError();
      if (error == ERROR_IO_INCOMPLETE) {
        error = 0;
        return true;
      }
      ReadOp.Pending = false;
      if (error == ERROR_OPERATION_ABORTED) {
        error = 0;
        return true;
      }
      return false;
    }
    ReadOp.Pending = false;
    HaveByte = got == 1;
    return true;
  }

  // Whether a byte waits that no purge has dropped since its read began.
  bool HaveFreshByte() {
    if (HaveByte && ReadIssuedIn != PurgeGeneration.load()) HaveByte = false;
    return HaveByte;
  }

  // Waits for `op` after a cancel, bounded.
  void Settle(TOperation& op) {
    if (!op.Pending) return;
    if (WaitForSingleObject(op.Overlapped.hEvent, kCancelSettleMs) == WAIT_OBJECT_0) {
      DWORD ignored = 0;
      GetOverlappedResult(Handle, &op.Overlapped, &ignored, FALSE);
    }
    op.Pending = false;
  }
};

TSerialDevice::TSerialDevice() : impl_(std::make_unique<Impl>()) {}

TSerialDevice::~TSerialDevice() { Close(); }

bool TSerialDevice::IsOpen() const { return impl_->Handle != INVALID_HANDLE_VALUE; }

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
  for (HANDLE h : {impl_->ReadWake, impl_->LineWake, impl_->WriteWake, impl_->LineGone}) ResetEvent(h);
  impl_->Handle = handle;
  impl_->ReadOp.Pending = false;
  impl_->HaveByte = false;
  impl_->WriteOp.Pending = false;
  impl_->Shadow = TLineSettings{};
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
  CancelIoEx(impl_->Handle, nullptr);
  impl_->Settle(impl_->ReadOp);
  {
    std::lock_guard<std::mutex> guard(impl_->WriteLock);
    impl_->Settle(impl_->WriteOp);
  }
  impl_->HaveByte = false;
  const int result = CloseHandle(impl_->Handle) ? 0 : -1;
  impl_->Handle = INVALID_HANDLE_VALUE;
  return result;
}

int TSerialDevice::GetState(TLineSettings& settings) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!IsOpen() || !GetCommState(impl_->Handle, &dcb)) return -1;
  settings = impl_->Shadow;
  settings.Baud = dcb.BaudRate;
  settings.Parity = dcb.Parity;
  settings.DataBits = dcb.ByteSize;
  settings.StopBits = static_cast<TStopBitSetting>(dcb.StopBits);
  settings.Binary = dcb.fBinary;
  settings.ParityCheck = dcb.fParity;
  settings.OutxCtsFlow = dcb.fOutxCtsFlow;
  settings.OutxDsrFlow = dcb.fOutxDsrFlow;
  settings.DsrSensitivity = dcb.fDsrSensitivity;
  settings.TXContinueOnXoff = dcb.fTXContinueOnXoff;
  settings.OutX = dcb.fOutX;
  settings.InX = dcb.fInX;
  settings.NullStrip = dcb.fNull;
  settings.DtrControl = static_cast<TDtrControl>(dcb.fDtrControl);
  settings.RtsControl = static_cast<TRtsControl>(dcb.fRtsControl);
  settings.XonChar = dcb.XonChar;
  settings.XoffChar = dcb.XoffChar;
  settings.XonLim = dcb.XonLim;
  settings.XoffLim = dcb.XoffLim;
  return 0;
}

int TSerialDevice::SetState(const TLineSettings& settings) {
  if (!IsOpen()) return OpenResultCode(TOpenResult::NotOpen);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(impl_->Handle, &dcb)) return -static_cast<int>(GetLastError());
  dcb.BaudRate = settings.Baud;
  dcb.Parity = settings.Parity;
  dcb.ByteSize = settings.DataBits;
  dcb.StopBits = static_cast<BYTE>(settings.StopBits);
  dcb.fBinary = TRUE;  // Windows supports nothing else
  dcb.fParity = settings.ParityCheck;
  dcb.fOutxCtsFlow = settings.OutxCtsFlow;
  dcb.fOutxDsrFlow = settings.OutxDsrFlow;
  dcb.fDsrSensitivity = settings.DsrSensitivity;
  dcb.fTXContinueOnXoff = settings.TXContinueOnXoff;
  dcb.fOutX = settings.OutX;
  dcb.fInX = settings.InX;
  dcb.fNull = settings.NullStrip;
  dcb.fAbortOnError = FALSE;
  dcb.fDtrControl = settings.DtrControl;
  dcb.fRtsControl = settings.RtsControl;
  dcb.XonChar = settings.XonChar;
  dcb.XoffChar = settings.XoffChar;
  dcb.XonLim = static_cast<WORD>(settings.XonLim);
  dcb.XoffLim = static_cast<WORD>(settings.XoffLim);
  if (!SetCommState(impl_->Handle, &dcb)) return -static_cast<int>(GetLastError());
  impl_->Shadow = settings;
  return 0;
}

void TSerialDevice::EscapeFunction(int function) {
  if (!IsOpen()) return;
  // The function numbers are Windows' own. A virtual port without modem
  // lines refuses the call; that is no failure.
  EscapeCommFunction(impl_->Handle, static_cast<DWORD>(function));
}

uint32_t TSerialDevice::ModemStatus() {
  DWORD status = 0;
  if (!IsOpen() || !GetCommModemStatus(impl_->Handle, &status)) return 0;
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
  if (d.ReadOp.Pending || count == 0 || each == 0) return 0;
  const std::size_t room = count * each;
  std::vector<uint8_t> got;
  got.reserve(room);
  if (d.HaveFreshByte()) {
    got.push_back(d.ReadByte);
    d.HaveByte = false;
  }
  DWORD want = 0;
  BOOL done = FALSE;
  DWORD taken = 0;
  std::size_t start = got.size();
  {
    std::lock_guard<std::mutex> guard(d.ReadLock);
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(d.Handle, &errors, &stat)) {
      error = GetLastError();
      if (!IsLineGone(error)) return -static_cast<long>(error);
      d.MarkGone();
    } else if (stat.cbInQue > 0 && got.size() < room) {
      want = static_cast<DWORD>(std::min<std::size_t>(stat.cbInQue, room - got.size()));
      got.resize(start + want);
      d.ReadOp.Restart();
      d.ReadIssuedIn = d.PurgeGeneration.load();
      done = ReadFile(d.Handle, got.data() + start, want, &taken, &d.ReadOp.Overlapped);
      error = done ? 0 : GetLastError();
    }
  }
  if (want > 0) {
    if (!done && error == ERROR_IO_PENDING) {
      // The bytes were queued, so this completes at once unless a purge took
      // them first; then PurgeInput cancels it. A wake ends it too.
      DWORD which = 0;
      if (WaitPair(d.ReadOp.Overlapped.hEvent, d.ReadWake, -1, which) != TWaitResult::Ready) {
        CancelIoEx(d.Handle, &d.ReadOp.Overlapped);
      }
      done = GetOverlappedResult(d.Handle, &d.ReadOp.Overlapped, &taken, TRUE);
      error = done ? 0 : GetLastError();
    }
    if (!done) {
      taken = 0;
      if (IsLineGone(error)) d.MarkGone();
      else if (error != ERROR_OPERATION_ABORTED) return -static_cast<long>(error);
    }
    // Bytes read across a purge are purged input.
    if (d.ReadIssuedIn != d.PurgeGeneration.load()) taken = 0;
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
  std::lock_guard<std::mutex> guard(d.WriteLock);
  if (d.WriteOp.Pending) {
    DWORD sent = 0;
    if (!GetOverlappedResult(d.Handle, &d.WriteOp.Overlapped, &sent, FALSE)) {
      const DWORD error = GetLastError();
      if (error == ERROR_IO_INCOMPLETE) return 0;
      d.WriteOp.Pending = false;
      if (IsLineGone(error)) {
        d.MarkGone();
        return -static_cast<long>(error);
      }
      // A purge's cancel drops the block on purpose.
      if (error != ERROR_OPERATION_ABORTED) return -static_cast<long>(error);
    }
    d.WriteOp.Pending = false;
  }
  if (length == 0) return 0;
  d.WriteCopy.assign(data, data + length);
  d.WriteOp.Restart();
  DWORD sent = 0;
  if (WriteFile(d.Handle, d.WriteCopy.data(), static_cast<DWORD>(length), &sent,
                &d.WriteOp.Overlapped)) {
    return static_cast<long>(sent);
  }
  const DWORD error = GetLastError();
  if (error == ERROR_IO_PENDING) {
    d.WriteOp.Pending = true;
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
  if (!d.ReadOp.Pending) return TWaitResult::Woken;  // cancelled by a purge: look again
  DWORD which = 0;
  const TWaitResult waited = WaitPair(d.ReadOp.Overlapped.hEvent, d.ReadWake, timeoutMs, which);
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

void TSerialDevice::WakeReader() { SetEvent(impl_->ReadWake); }

TSerialDevice::TWaitResult TSerialDevice::WaitLineEvent(int timeoutMs) {
  if (!IsOpen()) return TWaitResult::Failed;
  DWORD which = 0;
  const TWaitResult waited = WaitPair(impl_->LineGone, impl_->LineWake, timeoutMs, which);
  return waited == TWaitResult::Ready ? TWaitResult::HungUp : waited;
}

void TSerialDevice::WakeLineEventWaiter() { SetEvent(impl_->LineWake); }

TSerialDevice::TWaitResult TSerialDevice::WaitWritable(int timeoutMs) {
  if (!IsOpen()) return TWaitResult::Failed;
  Impl& d = *impl_;
  HANDLE done;
  {
    std::lock_guard<std::mutex> guard(d.WriteLock);
    if (!d.WriteOp.Pending) return TWaitResult::Ready;
    done = d.WriteOp.Overlapped.hEvent;
  }
  DWORD which = 0;
  const TWaitResult waited = WaitPair(done, d.WriteWake, timeoutMs, which);
  // Write collects the result, failures included.
  return waited;
}

void TSerialDevice::WakeWriteWaiter() { SetEvent(impl_->WriteWake); }

bool TSerialDevice::PurgeInput() {
  if (!IsOpen()) return false;
  std::lock_guard<std::mutex> guard(impl_->ReadLock);
  impl_->PurgeGeneration.fetch_add(1);
  const bool purged = PurgeComm(impl_->Handle, PURGE_RXABORT | PURGE_RXCLEAR);
  // Not every driver (nor wine) aborts the pending read on PURGE_RXABORT.
  CancelIoEx(impl_->Handle, &impl_->ReadOp.Overlapped);
  return purged;
}

bool TSerialDevice::PurgeOutput() {
  if (!IsOpen()) return false;
  const bool purged = PurgeComm(impl_->Handle, PURGE_TXABORT | PURGE_TXCLEAR);
  CancelIoEx(impl_->Handle, &impl_->WriteOp.Overlapped);
  return purged;
}

std::size_t TSerialDevice::OutputQueued() {
  if (!IsOpen()) return 0;
  Impl& d = *impl_;
  DWORD errors = 0;
  COMSTAT stat{};
  std::size_t queued = ClearCommError(d.Handle, &errors, &stat) ? stat.cbOutQue : 0;
  // Some drivers (and wine) do not count a pending write in cbOutQue.
  std::lock_guard<std::mutex> guard(d.WriteLock);
  if (d.WriteOp.Pending && WaitForSingleObject(d.WriteOp.Overlapped.hEvent, 0) != WAIT_OBJECT_0) {
    queued = std::max(queued, d.WriteCopy.size());
  }
  return queued;
}

void TSerialDevice::WaitSent() {
  // Returns once the driver has sent what it holds; a port that went away
  // answers at once with an error.
  if (IsOpen()) FlushFileBuffers(impl_->Handle);
}

bool TSerialDevice::IsInvalidHandle(int negativeError) {
  return negativeError == -ERROR_INVALID_HANDLE;
}
