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
// A write is counted when it completes, with what the driver took: until
// then Write answers 0 and the caller offers the same bytes again, so a write
// the driver completes in part leaves the rest with the caller.
// Purges and Close cancel the pending operations with CancelIoEx, so no
// waiter outlives them; each counts its cancels, so that an operation that
// ends aborted knows whether this program asked for it. Any other failure of
// a pending operation, and a removal number from a new one, means the line
// has gone (an adapter pulled out, the far side of a virtual port closed;
// DriverRules.h): it reports HungUp, as does every later wait, and the status
// thread learns it through an event.
// An operation's OVERLAPPED and bytes belong to the driver until it completes
// the operation, which a driver may do long after a cancel, or never: one the
// device has to let go of before that is parked (never freed), and the device
// goes on with a fresh one.
// A read that completes with no byte (some drivers do, at once and again)
// makes the reader pause before the next one instead of spinning.
// The driver's queues have the component's sizes (SetQueueSizes), and the
// XON/XOFF limits never exceed the receive queue the driver reports.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "ComName.h"
#include "CommCalls.h"
#include "DeviceErrors.h"
#include "DriverRules.h"
#include "RawLine.h"
#include "SerialDevice.h"
#include "Utf16Text.h"

namespace {

// How long Close waits for a cancelled operation to report back before it
// closes the handle anyway (the handle's close ends it in any case).
constexpr DWORD kCancelSettleMs = 1000;
// The pause between reads that a driver completes without a byte.
constexpr DWORD kEmptyReadPauseMs = 20;
constexpr uint32_t kInitialBaud = 115200;
constexpr const char kDevicePrefix[] = "\\\\.\\";

TDeviceFailure OpenFailure(DWORD error) { return OpenFailureFor(static_cast<int>(error)); }
TDeviceFailure CallFailure(DWORD error) { return CallFailureFor(static_cast<int>(error)); }

const TDeviceFailure kNotOpen{TDeviceFailureKind::NotOpen, ERROR_INVALID_HANDLE};

// "COM5" and "com5" (ComName.h) name the device "\\.\COM5"; a path that already has a
// device prefix (or any other path) is used as given.
std::string DevicePathFor(const std::string& path) {
  if (path.rfind(kDevicePrefix, 0) == 0) return path;
  if (const std::optional<uint16_t> number = ComNumberFromName(path)) {
    return kDevicePrefix + ComNameFor(*number);
  }
  return path;
}

HANDLE OpenHandle(TCommCalls& calls, const std::string& path) {
  // A device path from the user may hold any character: it goes as UTF-16.
  return calls.CreateFileW(WideFromUtf8(DevicePathFor(path)).c_str(), GENERIC_READ | GENERIC_WRITE,
                           0, OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
}

// A handle that opened but is no serial device (a file, a printer) has no
// comm state. The comm state is the whole proof: some adapters' drivers
// report a file type other than FILE_TYPE_CHAR for a working port.
bool IsCommDevice(TCommCalls& calls, HANDLE handle) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  return calls.GetCommState(handle, &dcb) != FALSE;
}

HANDLE NewEvent(bool manualReset) { return CreateEventA(nullptr, manualReset, FALSE, nullptr); }

// One overlapped operation with the bytes it reads into or writes from.
struct TOperation {
  OVERLAPPED overlapped{};
  std::vector<uint8_t> bytes;
  bool pending = false;  // started, and its completion not collected

  TOperation() { overlapped.hEvent = NewEvent(true); }
  ~TOperation() {
    if (overlapped.hEvent != nullptr) CloseHandle(overlapped.hEvent);
  }
  TOperation(const TOperation&) = delete;
  TOperation& operator=(const TOperation&) = delete;

  bool Ready() const { return overlapped.hEvent != nullptr; }
  bool Completed() const { return WaitForSingleObject(overlapped.hEvent, 0) == WAIT_OBJECT_0; }
  void Restart() {
    HANDLE event = overlapped.hEvent;
    overlapped = OVERLAPPED{};
    overlapped.hEvent = event;
  }
};

using TOperationPtr = std::unique_ptr<TOperation>;

// Operations whose driver had not completed them when their device let go of
// them. CancelIoEx: the application "must not free or reuse the OVERLAPPED
// structure associated with the canceled I/O operations until they have
// completed"; ReadFile: the buffer "must remain valid for the duration of the
// read operation". Each is freed once a later Park finds it completed; one
// the driver never completes stays for the life of the process.
class TParkedOperations {
 public:
  void Park(TOperationPtr op) {
    std::lock_guard<std::mutex> guard(lock_);
    parked_.erase(std::remove_if(parked_.begin(), parked_.end(),
                                 [](const TOperationPtr& p) { return p->Completed(); }),
                  parked_.end());
    if (op->pending && !op->Completed()) parked_.push_back(std::move(op));
  }

 private:
  std::mutex lock_;
  std::vector<TOperationPtr> parked_;
};

// Never destroyed: a driver may complete a parked operation while the
// process ends.
TParkedOperations& Parked() {
  static auto* parked = new TParkedOperations;
  return *parked;
}

// What is left of `timeoutMs` (-1: no limit) since `start`.
DWORD Remaining(ULONGLONG start, int timeoutMs) {
  if (timeoutMs < 0) return INFINITE;
  const ULONGLONG spent = GetTickCount64() - start;
  return spent >= static_cast<ULONGLONG>(timeoutMs) ? 0 : static_cast<DWORD>(timeoutMs - spent);
}

TSerialDevice::TWaitResult WaitPair(HANDLE operation, HANDLE wake, DWORD timeoutMs) {
  const HANDLE handles[2] = {operation, wake};
  const DWORD which = WaitForMultipleObjects(2, handles, FALSE, timeoutMs);
  if (which == WAIT_TIMEOUT) return TSerialDevice::TWaitResult::TimedOut;
  if (which == WAIT_OBJECT_0 + 1) return TSerialDevice::TWaitResult::Woken;
  if (which == WAIT_OBJECT_0) return TSerialDevice::TWaitResult::Ready;
  return TSerialDevice::TWaitResult::Failed;
}

}  // namespace

struct TSerialDevice::Impl {
  TCommCalls& calls = CommCalls();
  HANDLE handle = INVALID_HANDLE_VALUE;
  HANDLE readWake = NewEvent(false);
  HANDLE lineWake = NewEvent(false);
  HANDLE writeWake = NewEvent(false);
  // Set by whichever thread first sees the line gone; the status thread waits
  // on it.
  HANDLE lineGone = NewEvent(true);

  // Read thread only, except that PurgeInput bumps the generation and
  // cancels the read under ReadLock. A read is started (and its operation
  // replaced) under the same lock, so it is either older than a purge (and
  // what it got is purged input) or younger (and what it gets came after the
  // purge).
  std::mutex readLock;
  TOperationPtr readOp = std::make_unique<TOperation>();
  bool haveByte = false;      // the 1-byte read brought its byte (readOp->bytes[0])
  bool emptyRead = false;     // a read completed without a byte
  uint64_t readIssuedIn = 0;  // PurgeGeneration when the current read began
  std::atomic<uint64_t> purgeGeneration{0};

  // The write thread writes; OutputQueued and PurgeOutput look. writeOp's
  // bytes are the write in flight.
  std::mutex writeLock;
  TOperationPtr writeOp = std::make_unique<TOperation>();
  uint64_t writeIssuedIn = 0;  // writeCancelGeneration when the current write began
  // Bumped by PurgeOutput and Close before they cancel the write.
  std::atomic<uint64_t> writeCancelGeneration{0};

  // The receive queue the driver reported after SetupComm; 0 when it did not.
  DWORD receiveQueue = 0;

  TLineSettings shadow;

  ~Impl() {
    Parked().Park(std::move(readOp));
    Parked().Park(std::move(writeOp));
    for (HANDLE h : {readWake, lineWake, writeWake, lineGone}) {
      if (h != nullptr) CloseHandle(h);
    }
  }
  bool EventsReady() const {
    return readWake && lineWake && writeWake && lineGone && readOp->Ready() && writeOp->Ready();
  }

  void MarkGone() { SetEvent(lineGone); }
  // A pending operation failed otherwise than by this program's cancel.
  TDeviceFailure PendingFailed(DWORD error) {
    MarkGone();
    return {TDeviceFailureKind::HungUp, static_cast<int>(error)};
  }
  // A read, a write or a status call on the open port failed at once.
  TDeviceFailure CallFailed(DWORD error) {
    if (!IsRemovalError(error)) return CallFailure(error);
    MarkGone();
    return {TDeviceFailureKind::HungUp, static_cast<int>(error)};
  }
  bool IsGone() const { return WaitForSingleObject(lineGone, 0) == WAIT_OBJECT_0; }
  // Whether the port answers a status call with a removal number. A read the
  // driver sits on (a cancel it never completed) would hide a removal from
  // the reader for good; a wait that ran out asks.
  bool ProbeGone() {
    DWORD errors = 0;
    COMSTAT stat{};
    if (calls.ClearCommError(handle, &errors, &stat)) return false;
    if (!IsRemovalError(GetLastError())) return false;
    MarkGone();
    return true;
  }

  // Waits up to `waitMs` for the driver to complete `op` after a cancel; if
  // it has not, parks it and puts a fresh operation in its place.
  static void LetGo(TOperationPtr& op, DWORD waitMs) {
    if (op->pending && WaitForSingleObject(op->overlapped.hEvent, waitMs) == WAIT_OBJECT_0) {
      op->pending = false;
    }
    if (!op->pending) return;
    Parked().Park(std::move(op));
    op = std::make_unique<TOperation>();
  }

  // Starts the 1-byte read unless one is pending or a byte waits. False when
  // it failed at once (`error` says why).
  bool EnsureReadPending(DWORD& error) {
    error = 0;
    if (readOp->pending || haveByte) return true;
    std::lock_guard<std::mutex> guard(readLock);
    if (!readOp->Ready()) {
      error = ERROR_NOT_ENOUGH_MEMORY;
      return false;
    }
    readOp->Restart();
    readOp->bytes.assign(1, 0);
    readIssuedIn = purgeGeneration.load();
    DWORD got = 0;
    if (calls.ReadFile(handle, readOp->bytes.data(), 1, &got, &readOp->overlapped)) {
      haveByte = got == 1;
      emptyRead = got == 0;
      return true;
    }
    error = GetLastError();
    if (error != ERROR_IO_PENDING) return false;
    readOp->pending = true;
    error = 0;
    return true;
  }

  // Collects the pending read if it has completed. False when it failed
  // because the line has gone (`error` set); a purge's cancel is no failure.
  bool CollectRead(DWORD& error) {
    error = 0;
    if (!readOp->pending) return true;
    DWORD got = 0;
    if (!calls.GetOverlappedResult(handle, &readOp->overlapped, &got, FALSE)) {
      error = GetLastError();
      if (error == ERROR_IO_INCOMPLETE) {
        error = 0;
        return true;
      }
      readOp->pending = false;
      const bool cancelled = readIssuedIn != purgeGeneration.load();
      if (ClassifyPendingFailure(error, cancelled) == TPendingEnd::Purged) {
        error = 0;
        return true;
      }
      return false;
    }
    readOp->pending = false;
    haveByte = got == 1;
    emptyRead = got == 0;
    return true;
  }

  // Whether a byte waits that no purge has dropped since its read began.
  bool HaveFreshByte() {
    if (haveByte && readIssuedIn != purgeGeneration.load()) haveByte = false;
    return haveByte;
  }
};

TSerialDevice::TSerialDevice() : impl_(std::make_unique<Impl>()) {}

TSerialDevice::~TSerialDevice() { Close(); }

bool TSerialDevice::IsOpen() const { return impl_->handle != INVALID_HANDLE_VALUE; }

TDeviceFailure TSerialDevice::Open(const std::string& path) {
  if (IsOpen()) return {TDeviceFailureKind::Held, ERROR_BUSY};
  if (!impl_->EventsReady()) return {TDeviceFailureKind::OutOfMemory, ERROR_NOT_ENOUGH_MEMORY};
  TCommCalls& calls = impl_->calls;
  HANDLE handle = OpenHandle(calls, path);
  if (handle == INVALID_HANDLE_VALUE) return OpenFailure(GetLastError());
  auto fail = [&calls, handle](TDeviceFailure failure) {
    calls.CloseHandle(handle);
    return failure;
  };
  if (!IsCommDevice(calls, handle))
    return fail({TDeviceFailureKind::NoDevice, ERROR_INVALID_FUNCTION});
  // All zero: a read waits for its full count. The reader only ever asks for
  // one byte or for what is already queued.
  COMMTIMEOUTS timeouts{};
  if (!calls.SetCommTimeouts(handle, &timeouts)) return fail(OpenFailure(GetLastError()));
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!calls.GetCommState(handle, &dcb)) return fail(OpenFailure(GetLastError()));
  MakeRawLine(dcb, kInitialBaud);
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  if (!calls.SetCommState(handle, &dcb)) return fail(OpenFailure(GetLastError()));
  calls.PurgeComm(handle, PURGE_RXCLEAR | PURGE_TXCLEAR);
  for (HANDLE h : {impl_->readWake, impl_->lineWake, impl_->writeWake, impl_->lineGone})
    ResetEvent(h);
  impl_->handle = handle;
  impl_->haveByte = false;
  impl_->emptyRead = false;
  impl_->writeOp->bytes.clear();
  impl_->receiveQueue = 0;
  impl_->shadow = TLineSettings{};
  return kNoDeviceFailure;
}

TDeviceFailure TSerialDevice::Probe(const std::string& path) {
  TCommCalls& calls = CommCalls();
  HANDLE handle = OpenHandle(calls, path);
  if (handle == INVALID_HANDLE_VALUE) return OpenFailure(GetLastError());
  const TDeviceFailure result =
      IsCommDevice(calls, handle)
          ? kNoDeviceFailure
          : TDeviceFailure{TDeviceFailureKind::NoDevice, ERROR_INVALID_FUNCTION};
  calls.CloseHandle(handle);
  return result;
}

int TSerialDevice::Close() {
  if (!IsOpen()) return 0;
  Impl& d = *impl_;
  d.purgeGeneration.fetch_add(1);
  d.writeCancelGeneration.fetch_add(1);
  d.calls.CancelIoEx(d.handle, nullptr);
  // One limit for both: a driver that sits on its cancels costs the close
  // kCancelSettleMs at most, and keeps what it holds (parked).
  const ULONGLONG start = GetTickCount64();
  {
    std::lock_guard<std::mutex> guard(d.readLock);
    Impl::LetGo(d.readOp, Remaining(start, kCancelSettleMs));
  }
  {
    std::lock_guard<std::mutex> guard(d.writeLock);
    Impl::LetGo(d.writeOp, Remaining(start, kCancelSettleMs));
    d.writeOp->bytes.clear();
  }
  d.haveByte = false;
  d.emptyRead = false;
  const int result = d.calls.CloseHandle(d.handle) ? 0 : -1;
  d.handle = INVALID_HANDLE_VALUE;
  return result;
}

TDeviceFailure TSerialDevice::SetQueueSizes(uint32_t receiveBytes, uint32_t transmitBytes) {
  if (!IsOpen()) return kNotOpen;
  if (!impl_->calls.SetupComm(impl_->handle, receiveBytes, transmitBytes)) {
    return CallFailure(GetLastError());
  }
  // Drivers may keep a queue of another size than asked for; the limits
  // follow what the driver says it has.
  COMMPROP properties{};
  impl_->receiveQueue =
      impl_->calls.GetCommProperties(impl_->handle, &properties) ? properties.dwCurrentRxQueue : 0;
  return kNoDeviceFailure;
}

TDeviceFailure TSerialDevice::GetState(TLineSettings& settings) {
  if (!IsOpen()) return kNotOpen;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!impl_->calls.GetCommState(impl_->handle, &dcb)) return CallFailure(GetLastError());
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
  return kNoDeviceFailure;
}

TDeviceFailure TSerialDevice::SetState(const TLineSettings& settings) {
  if (!IsOpen()) return kNotOpen;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!impl_->calls.GetCommState(impl_->handle, &dcb)) return CallFailure(GetLastError());
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
  const TFlowLimits limits =
      FitFlowLimits({settings.xonLim, settings.xoffLim}, impl_->receiveQueue);
  dcb.XonLim = static_cast<WORD>(limits.xonLim);
  dcb.XoffLim = static_cast<WORD>(limits.xoffLim);
  if (!impl_->calls.SetCommState(impl_->handle, &dcb)) return CallFailure(GetLastError());
  impl_->shadow = settings;
  return kNoDeviceFailure;
}

void TSerialDevice::SetControlLine(TControlLine line, bool high) {
  if (!IsOpen()) return;
  const DWORD function =
      line == TControlLine::Dtr ? (high ? SETDTR : CLRDTR) : (high ? SETRTS : CLRRTS);
  // A virtual port without modem lines refuses the call; that is no failure.
  impl_->calls.EscapeCommFunction(impl_->handle, function);
}

TModemLines TSerialDevice::ModemLines() {
  DWORD status = 0;
  if (!IsOpen() || !impl_->calls.GetCommModemStatus(impl_->handle, &status)) return {};
  TModemLines lines;
  lines.cts = (status & MS_CTS_ON) != 0;
  lines.dsr = (status & MS_DSR_ON) != 0;
  lines.ring = (status & MS_RING_ON) != 0;
  lines.rlsd = (status & MS_RLSD_ON) != 0;
  return lines;
}

TTransfer TSerialDevice::Read(uint8_t* const* buffers, std::size_t count, std::size_t each) {
  if (!IsOpen()) return {0, kNotOpen};
  Impl& d = *impl_;
  DWORD error = 0;
  if (!d.CollectRead(error)) return {0, d.PendingFailed(error)};
  // Bytes must come in order: while the 1-byte read is still out, whatever
  // is queued behind it waits for it.
  if (d.readOp->pending || count == 0 || each == 0) return {};
  const std::size_t room = count * each;
  std::vector<uint8_t> got;
  got.reserve(room);
  if (d.HaveFreshByte()) {
    got.push_back(d.readOp->bytes[0]);
    d.haveByte = false;
  }
  DWORD want = 0;
  BOOL done = FALSE;
  DWORD taken = 0;
  // The line's end, found after bytes that came before it: those are handed
  // over first, and the next read reports it.
  DWORD gone = 0;
  {
    std::lock_guard<std::mutex> guard(d.readLock);
    DWORD errors = 0;
    COMSTAT stat{};
    if (!d.calls.ClearCommError(d.handle, &errors, &stat)) {
      error = GetLastError();
      if (!IsRemovalError(error)) return {0, CallFailure(error)};
      d.MarkGone();
      gone = error;
    } else if (stat.cbInQue > 0 && got.size() < room) {
      want = static_cast<DWORD>(std::min<std::size_t>(stat.cbInQue, room - got.size()));
      d.readOp->Restart();
      d.readOp->bytes.assign(want, 0);
      d.readIssuedIn = d.purgeGeneration.load();
      done =
          d.calls.ReadFile(d.handle, d.readOp->bytes.data(), want, &taken, &d.readOp->overlapped);
      error = done ? 0 : GetLastError();
      d.readOp->pending = !done && error == ERROR_IO_PENDING;
    }
  }
  if (want > 0) {
    const bool wasPending = d.readOp->pending;
    bool cancelledHere = false;
    if (wasPending) {
      // The bytes were queued, so this completes at once unless a purge took
      // them first; then PurgeInput cancels it. A wake ends it too.
      HANDLE event = d.readOp->overlapped.hEvent;
      if (WaitPair(event, d.readWake, INFINITE) != TWaitResult::Ready) {
        d.calls.CancelIoEx(d.handle, &d.readOp->overlapped);
        cancelledHere = true;
      }
      if (WaitForSingleObject(event, kCancelSettleMs) == WAIT_OBJECT_0) {
        d.readOp->pending = false;
        done = d.calls.GetOverlappedResult(d.handle, &d.readOp->overlapped, &taken, FALSE);
        error = done ? 0 : GetLastError();
      } else {
        // The driver sits on the cancel: what it gets is dropped, as a
        // purge's would be.
        std::lock_guard<std::mutex> guard(d.readLock);
        Impl::LetGo(d.readOp, 0);
        done = FALSE;
        error = ERROR_OPERATION_ABORTED;
      }
    }
    if (!done) {
      taken = 0;
      const bool cancelled = cancelledHere || d.readIssuedIn != d.purgeGeneration.load();
      const bool lineGone = wasPending
                                ? ClassifyPendingFailure(error, cancelled) == TPendingEnd::LineGone
                                : IsRemovalError(error);
      if (lineGone) {
        d.MarkGone();
        gone = error;
      } else if (!wasPending) {
        return {0, CallFailure(error)};
      }
    }
    // Bytes read across a purge are purged input.
    if (d.readIssuedIn != d.purgeGeneration.load()) taken = 0;
    taken = std::min<DWORD>(taken, want);
    got.insert(got.end(), d.readOp->bytes.begin(), d.readOp->bytes.begin() + taken);
  }
  if (got.empty() && gone != 0) return {0, {TDeviceFailureKind::HungUp, static_cast<int>(gone)}};
  for (std::size_t offset = 0, i = 0; offset < got.size(); offset += each, ++i) {
    std::memcpy(buffers[i], got.data() + offset, std::min(each, got.size() - offset));
  }
  return {got.size(), {}};
}

TTransfer TSerialDevice::Write(const uint8_t* data, std::size_t length) {
  if (!IsOpen()) return {0, kNotOpen};
  Impl& d = *impl_;
  std::lock_guard<std::mutex> guard(d.writeLock);
  TOperation& op = *d.writeOp;
  if (op.pending) {
    DWORD sent = 0;
    if (!d.calls.GetOverlappedResult(d.handle, &op.overlapped, &sent, FALSE)) {
      const DWORD error = GetLastError();
      if (error == ERROR_IO_INCOMPLETE) return {};
      op.pending = false;
      // A purge's cancel drops the block on purpose.
      const bool cancelled = d.writeIssuedIn != d.writeCancelGeneration.load();
      if (ClassifyPendingFailure(error, cancelled) == TPendingEnd::LineGone) {
        return {0, d.PendingFailed(error)};
      }
      return {};
    }
    op.pending = false;
    // The caller offers the bytes that were in flight again (they were not
    // counted); what the driver took of them is the count now, so a write
    // that completed in part leaves the rest with the caller. A purge since
    // has dropped them, and the caller with them.
    if (d.writeIssuedIn == d.writeCancelGeneration.load()) {
      return {std::min<std::size_t>(sent, length), {}};
    }
    return {};
  }
  if (length == 0) return {};
  op.bytes.assign(data, data + length);
  op.Restart();
  d.writeIssuedIn = d.writeCancelGeneration.load();
  DWORD sent = 0;
  if (d.calls.WriteFile(d.handle, op.bytes.data(), static_cast<DWORD>(length), &sent,
                        &op.overlapped)) {
    return {static_cast<std::size_t>(sent), {}};
  }
  const DWORD error = GetLastError();
  if (error != ERROR_IO_PENDING) return {0, d.CallFailed(error)};
  // In flight: counted once the driver says how much it took.
  op.pending = true;
  return {};
}

TSerialDevice::TWaitResult TSerialDevice::WaitReadable(int timeoutMs) {
  if (!IsOpen()) return TWaitResult::Failed;
  Impl& d = *impl_;
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    DWORD error = 0;
    if (!d.CollectRead(error)) {
      d.PendingFailed(error);
      return TWaitResult::HungUp;
    }
    if (d.emptyRead) {
      // A read completed without a byte: the next one waits a little, so that
      // a driver that completes every read at once does not spin the reader.
      d.emptyRead = false;
      const DWORD left = Remaining(start, timeoutMs);
      if (WaitForSingleObject(d.readWake, std::min(left, kEmptyReadPauseMs)) == WAIT_OBJECT_0) {
        return TWaitResult::Woken;
      }
      if (Remaining(start, timeoutMs) == 0) return TWaitResult::TimedOut;
    }
    if (!d.EnsureReadPending(error)) {
      if (!IsRemovalError(error)) return TWaitResult::Failed;
      d.MarkGone();
      return TWaitResult::HungUp;
    }
    if (d.HaveFreshByte()) return TWaitResult::Ready;
    // Completed at once without a byte (or with one a purge dropped): again.
    if (!d.readOp->pending) continue;
    const TWaitResult waited =
        WaitPair(d.readOp->overlapped.hEvent, d.readWake, Remaining(start, timeoutMs));
    if (waited == TWaitResult::TimedOut && d.ProbeGone()) return TWaitResult::HungUp;
    if (waited != TWaitResult::Ready) return waited;
  }
}

void TSerialDevice::WakeReader() { SetEvent(impl_->readWake); }

TSerialDevice::TWaitResult TSerialDevice::WaitLineEvent(int timeoutMs) {
  if (!IsOpen()) return TWaitResult::Failed;
  const TWaitResult waited =
      WaitPair(impl_->lineGone, impl_->lineWake, timeoutMs < 0 ? INFINITE : timeoutMs);
  return waited == TWaitResult::Ready ? TWaitResult::HungUp : waited;
}

void TSerialDevice::WakeLineEventWaiter() { SetEvent(impl_->lineWake); }

TSerialDevice::TWaitResult TSerialDevice::WaitWritable(int timeoutMs) {
  if (!IsOpen()) return TWaitResult::Failed;
  Impl& d = *impl_;
  if (d.IsGone()) return TWaitResult::HungUp;
  HANDLE done;
  {
    std::lock_guard<std::mutex> guard(d.writeLock);
    if (!d.writeOp->pending) return TWaitResult::Ready;
    done = d.writeOp->overlapped.hEvent;
  }
  const TWaitResult waited = WaitPair(done, d.writeWake, timeoutMs < 0 ? INFINITE : timeoutMs);
  // Write collects the result, failures included.
  return d.IsGone() ? TWaitResult::HungUp : waited;
}

void TSerialDevice::WakeWriteWaiter() { SetEvent(impl_->writeWake); }

bool TSerialDevice::PurgeInput() {
  if (!IsOpen()) return false;
  Impl& d = *impl_;
  std::lock_guard<std::mutex> guard(d.readLock);
  d.purgeGeneration.fetch_add(1);
  const bool purged = d.calls.PurgeComm(d.handle, PURGE_RXABORT | PURGE_RXCLEAR);
  // Not every driver (nor wine) aborts the pending read on PURGE_RXABORT.
  if (d.readOp->pending) d.calls.CancelIoEx(d.handle, &d.readOp->overlapped);
  return purged;
}

bool TSerialDevice::PurgeOutput() {
  if (!IsOpen()) return false;
  Impl& d = *impl_;
  std::lock_guard<std::mutex> guard(d.writeLock);
  d.writeCancelGeneration.fetch_add(1);
  const bool purged = d.calls.PurgeComm(d.handle, PURGE_TXABORT | PURGE_TXCLEAR);
  if (d.writeOp->pending) d.calls.CancelIoEx(d.handle, &d.writeOp->overlapped);
  return purged;
}

std::size_t TSerialDevice::OutputQueued() {
  if (!IsOpen()) return 0;
  Impl& d = *impl_;
  DWORD errors = 0;
  COMSTAT stat{};
  std::size_t queued = d.calls.ClearCommError(d.handle, &errors, &stat) ? stat.cbOutQue : 0;
  // Some drivers (and wine) do not count a pending write in cbOutQue.
  std::lock_guard<std::mutex> guard(d.writeLock);
  const TOperation& op = *d.writeOp;
  if (op.pending && !op.Completed()) queued = std::max(queued, op.bytes.size());
  return queued;
}

void TSerialDevice::WaitSent() {
  // Returns once the driver has sent what it holds; a port that went away
  // answers at once with an error.
  if (IsOpen()) impl_->calls.FlushFileBuffers(impl_->handle);
}
