#include "FakeSerialDriver.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "OwnedMemory.h"

namespace {

// What this driver's port handle reads as; never a real handle.
const HANDLE kPortHandle = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x5E41));
// The receive and transmit queues a port has before SetupComm asks for more.
constexpr DWORD kStartQueue = 4096;
// An operation the driver still holds: the I/O manager keeps STATUS_PENDING in
// the OVERLAPPED's Internal until the operation completes (HasOverlappedIoCompleted
// looks at nothing else).
constexpr ULONG_PTR kStatusPending = 0x103;
// The byte a late completion leaves in a cancelled read's buffer.
constexpr uint8_t kLateByte = 0xCA;

}  // namespace

TFakeSerialDriver::TFakeSerialDriver() : receiveQueue_(kStartQueue), transmitQueue_(kStartQueue) {
  dcb_.DCBlength = sizeof dcb_;
  dcb_.BaudRate = CBR_9600;
  dcb_.ByteSize = 8;
  dcb_.fBinary = TRUE;
}

void TFakeSerialDriver::SetCancel(TCancel cancel) {
  std::lock_guard<std::mutex> guard(lock_);
  cancel_ = cancel;
}

void TFakeSerialDriver::SetEmptyReads(bool empty) {
  std::lock_guard<std::mutex> guard(lock_);
  emptyReads_ = empty;
}

void TFakeSerialDriver::SetWritesPending(bool pending) {
  std::lock_guard<std::mutex> guard(lock_);
  writesPending_ = pending;
}

void TFakeSerialDriver::SetWriteLimit(DWORD bytes) {
  std::lock_guard<std::mutex> guard(lock_);
  writeLimit_ = bytes;
}

BOOL TFakeSerialDriver::Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

DWORD TFakeSerialDriver::NextRemovalError() {
  const DWORD error = removal_[std::min(removalNext_, removal_.size() - 1)];
  ++removalNext_;
  return error;
}

DWORD TFakeSerialDriver::RefuseCall(HANDLE handle) {
  if (handle != kPortHandle || !open_) return ERROR_INVALID_HANDLE;
  return present_ ? 0 : NextRemovalError();
}

bool TFakeSerialDriver::Holds(const OVERLAPPED* overlapped) const {
  return std::any_of(ops_.begin(), ops_.end(),
                     [overlapped](const TOp& op) { return op.overlapped == overlapped; });
}

// ReadFile and WriteFile: "lpOverlapped ... must point to a valid and unique
// OVERLAPPED structure" for the operation's whole life; the I/O manager resets
// its event when the operation starts.
void TFakeSerialDriver::Start(OVERLAPPED* overlapped) {
  if (Holds(overlapped)) ++reusedOverlapped_;
  overlapped->Internal = kStatusPending;
  overlapped->InternalHigh = 0;
  ResetEvent(overlapped->hEvent);
}

// ReadFile: the buffer "must remain valid for the duration of the read
// operation"; CancelIoEx: "The application must not free or reuse the
// OVERLAPPED structure associated with the canceled I/O operations until they
// have completed." So the driver writes into both until completion, however
// late; here it first looks whether the program kept its part of that.
void TFakeSerialDriver::Finish(TOp& op, DWORD error, DWORD bytes) {
  OVERLAPPED* overlapped = op.overlapped;
  op.overlapped = nullptr;  // DropFinished takes it away
  const void* buffer = op.read ? static_cast<const void*>(op.into) : op.from;
  if (!IsOwnedHeapMemory(overlapped, sizeof(OVERLAPPED)) ||
      (op.length != 0 && !IsOwnedHeapMemory(buffer, op.length))) {
    ++strayWrites_;
    return;
  }
  if (!op.read) sent_.insert(sent_.end(), op.from, op.from + bytes);
  overlapped->InternalHigh = bytes;
  overlapped->Internal = error;
  SetEvent(overlapped->hEvent);
}

void TFakeSerialDriver::DropFinished() {
  ops_.erase(std::remove_if(ops_.begin(), ops_.end(),
                            [](const TOp& op) { return op.overlapped == nullptr; }),
             ops_.end());
}

// CancelIoEx: "Most types of operations can be canceled immediately; other
// operations can continue toward completion before they are actually canceled
// and the caller is notified." A driver that sits on a cancel keeps the
// operation (and writes into it) until it completes.
void TFakeSerialDriver::Cancel(TOp& op) {
  if (op.cancelled) return;
  op.cancelled = true;
  if (cancel_ == TCancel::AtOnce) Finish(op, ERROR_OPERATION_ABORTED, op.read ? op.done : 0);
}

// With all read timeouts zero (COMMTIMEOUTS: "A value of zero indicates that
// ... time-outs are not used") a read waits until it has its full count; it
// takes the bytes as they come.
void TFakeSerialDriver::FeedReads() {
  for (TOp& op : ops_) {
    if (!op.read || op.cancelled || op.overlapped == nullptr) continue;
    while (op.done < op.length && !incoming_.empty()) {
      op.into[op.done++] = incoming_.front();
      incoming_.pop_front();
    }
    if (op.done == op.length) Finish(op, ERROR_SUCCESS, op.done);
  }
  DropFinished();
}

void TFakeSerialDriver::Arrive(const std::vector<uint8_t>& bytes) {
  std::lock_guard<std::mutex> guard(lock_);
  incoming_.insert(incoming_.end(), bytes.begin(), bytes.end());
  FeedReads();
}

// Removal: pending I/O completes with an error, and the calls after it fail,
// with 995, 5, 6, 22, 31, 55, 433, 1167, 109 or 21 in an order of the driver's
// own (as USB-serial drivers were seen to do; Microsoft documents no order).
void TFakeSerialDriver::Remove(const std::vector<DWORD>& errors) {
  std::lock_guard<std::mutex> guard(lock_);
  present_ = false;
  removal_ = errors;
  removalNext_ = 0;
  for (TOp& op : ops_) {
    if (op.overlapped != nullptr && !op.cancelled) Finish(op, NextRemovalError(), 0);
  }
  DropFinished();
}

void TFakeSerialDriver::CompleteCancelled() {
  std::lock_guard<std::mutex> guard(lock_);
  for (TOp& op : ops_) {
    if (op.overlapped == nullptr || !op.cancelled) continue;
    if (op.read && op.done < op.length && IsOwnedHeapMemory(op.into, op.length)) {
      op.into[op.done] = kLateByte;
    }
    Finish(op, ERROR_OPERATION_ABORTED, 0);
  }
  DropFinished();
}

void TFakeSerialDriver::CompleteWrites() {
  std::lock_guard<std::mutex> guard(lock_);
  for (TOp& op : ops_) {
    if (op.overlapped == nullptr || op.read || op.cancelled) continue;
    Finish(op, ERROR_SUCCESS, writeLimit_ == 0 ? op.length : std::min(op.length, writeLimit_));
  }
  DropFinished();
}

std::vector<uint8_t> TFakeSerialDriver::Sent() const {
  std::lock_guard<std::mutex> guard(lock_);
  return sent_;
}

DCB TFakeSerialDriver::State() const {
  std::lock_guard<std::mutex> guard(lock_);
  return dcb_;
}

DWORD TFakeSerialDriver::ReceiveQueue() const {
  std::lock_guard<std::mutex> guard(lock_);
  return receiveQueue_;
}

int TFakeSerialDriver::ReadCalls() const {
  std::lock_guard<std::mutex> guard(lock_);
  return readCalls_;
}

int TFakeSerialDriver::StrayWrites() const {
  std::lock_guard<std::mutex> guard(lock_);
  return strayWrites_;
}

int TFakeSerialDriver::ReusedOverlapped() const {
  std::lock_guard<std::mutex> guard(lock_);
  return reusedOverlapped_;
}

int TFakeSerialDriver::Pending() const {
  std::lock_guard<std::mutex> guard(lock_);
  return static_cast<int>(ops_.size());
}

// A COM port is opened exclusively: a second open fails with "access denied"
// (CreateFile, "Communications Resources"); a pulled adapter's port is gone.
HANDLE TFakeSerialDriver::CreateFileW(LPCWSTR name, DWORD, DWORD, DWORD, DWORD) {
  std::lock_guard<std::mutex> guard(lock_);
  if (std::wcscmp(name, kDeviceName) != 0 || !present_) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (open_) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  open_ = true;
  return kPortHandle;
}

// Closing the handle cancels what is pending on it (the driver's cleanup); a
// driver that sits on cancels sits on these too.
BOOL TFakeSerialDriver::CloseHandle(HANDLE handle) {
  std::lock_guard<std::mutex> guard(lock_);
  if (handle != kPortHandle || !open_) return Fail(ERROR_INVALID_HANDLE);
  open_ = false;
  for (TOp& op : ops_) {
    if (op.overlapped != nullptr) Cancel(op);
  }
  DropFinished();
  return TRUE;
}

// IOCTL_SERIAL_SET_QUEUE_SIZE: "If the requested size is greater than the
// current receive buffer size, a new receive buffer is created. Otherwise, the
// receive buffer is not changed." The queues only grow.
BOOL TFakeSerialDriver::SetupComm(HANDLE handle, DWORD inQueue, DWORD outQueue) {
  std::lock_guard<std::mutex> guard(lock_);
  if (const DWORD error = RefuseCall(handle)) return Fail(error);
  receiveQueue_ = std::max(receiveQueue_, inQueue);
  transmitQueue_ = std::max(transmitQueue_, outQueue);
  return TRUE;
}

// COMMPROP: dwCurrentRxQueue is "the size of the driver's internal input
// buffer, in bytes".
BOOL TFakeSerialDriver::GetCommProperties(HANDLE handle, COMMPROP* properties) {
  std::lock_guard<std::mutex> guard(lock_);
  if (const DWORD error = RefuseCall(handle)) return Fail(error);
  *properties = COMMPROP{};
  properties->dwCurrentRxQueue = receiveQueue_;
  properties->dwCurrentTxQueue = transmitQueue_;
  return TRUE;
}

BOOL TFakeSerialDriver::GetCommState(HANDLE handle, DCB* dcb) {
  std::lock_guard<std::mutex> guard(lock_);
  if (const DWORD error = RefuseCall(handle)) return Fail(error);
  *dcb = dcb_;
  return TRUE;
}

// SetCommState hands XonLim and XoffLim to IOCTL_SERIAL_SET_HANDFLOW, where
// "The serial controller driver verifies the specified handshake flow control
// information" and "A status of STATUS_INVALID_PARAMETER indicates the
// specified handshake flow control is not valid": Microsoft's serial driver
// refuses a limit larger than its receive buffer, and SetCommState fails with
// ERROR_INVALID_PARAMETER.
BOOL TFakeSerialDriver::SetCommState(HANDLE handle, DCB* dcb) {
  std::lock_guard<std::mutex> guard(lock_);
  if (const DWORD error = RefuseCall(handle)) return Fail(error);
  if (dcb->XonLim > receiveQueue_ || dcb->XoffLim > receiveQueue_) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  dcb_ = *dcb;
  return TRUE;
}

BOOL TFakeSerialDriver::SetCommTimeouts(HANDLE handle, COMMTIMEOUTS* timeouts) {
  std::lock_guard<std::mutex> guard(lock_);
  if (const DWORD error = RefuseCall(handle)) return Fail(error);
  timeouts_ = *timeouts;
  return TRUE;
}

// ReadFile on an overlapped handle: TRUE when the read completed at once
// (bytes already queued), else FALSE with ERROR_IO_PENDING.
BOOL TFakeSerialDriver::ReadFile(HANDLE handle, void* buffer, DWORD length, DWORD* read,
                                 OVERLAPPED* overlapped) {
  std::lock_guard<std::mutex> guard(lock_);
  ++readCalls_;
  *read = 0;
  if (const DWORD error = RefuseCall(handle)) return Fail(error);
  Start(overlapped);
  ops_.push_back({overlapped, true, static_cast<uint8_t*>(buffer), nullptr, length, 0, false});
  if (emptyReads_) {
    Finish(ops_.back(), ERROR_SUCCESS, 0);
    DropFinished();
    return TRUE;
  }
  FeedReads();
  if (!Holds(overlapped)) {
    *read = static_cast<DWORD>(overlapped->InternalHigh);
    return TRUE;
  }
  return Fail(ERROR_IO_PENDING);
}

// WriteFile: completes at once or stays pending; a write that completes with
// fewer bytes than asked ("lpNumberOfBytesWritten") leaves the rest unsent.
BOOL TFakeSerialDriver::WriteFile(HANDLE handle, const void* buffer, DWORD length, DWORD* written,
                                  OVERLAPPED* overlapped) {
  std::lock_guard<std::mutex> guard(lock_);
  *written = 0;
  if (const DWORD error = RefuseCall(handle)) return Fail(error);
  Start(overlapped);
  ops_.push_back(
      {overlapped, false, nullptr, static_cast<const uint8_t*>(buffer), length, 0, false});
  if (writesPending_) return Fail(ERROR_IO_PENDING);
  const DWORD bytes = writeLimit_ == 0 ? length : std::min(length, writeLimit_);
  Finish(ops_.back(), ERROR_SUCCESS, bytes);
  DropFinished();
  *written = bytes;
  return TRUE;
}

// GetOverlappedResult: "If the bWait parameter is FALSE and the operation is
// still pending, the function returns FALSE and the GetLastError function
// returns ERROR_IO_INCOMPLETE"; with bWait TRUE it waits for the operation's
// event.
BOOL TFakeSerialDriver::GetOverlappedResult(HANDLE, OVERLAPPED* overlapped, DWORD* transferred,
                                            BOOL wait) {
  if (overlapped->Internal == kStatusPending) {
    if (!wait) return Fail(ERROR_IO_INCOMPLETE);
    WaitForSingleObject(overlapped->hEvent, INFINITE);
  }
  std::lock_guard<std::mutex> guard(lock_);
  *transferred = static_cast<DWORD>(overlapped->InternalHigh);
  const DWORD error = static_cast<DWORD>(overlapped->Internal);
  return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

BOOL TFakeSerialDriver::ClearCommError(HANDLE handle, DWORD* errors, COMSTAT* status) {
  std::lock_guard<std::mutex> guard(lock_);
  if (const DWORD error = RefuseCall(handle)) return Fail(error);
  *errors = 0;
  *status = COMSTAT{};
  status->cbInQue = static_cast<DWORD>(incoming_.size());
  for (const TOp& op : ops_) {
    if (!op.read && !op.cancelled) status->cbOutQue += op.length;
  }
  return TRUE;
}

// PurgeComm: PURGE_RXABORT and PURGE_TXABORT end the pending reads and writes
// ("even if the read operations have not been completed"), PURGE_RXCLEAR
// empties the input buffer.
BOOL TFakeSerialDriver::PurgeComm(HANDLE handle, DWORD flags) {
  std::lock_guard<std::mutex> guard(lock_);
  if (const DWORD error = RefuseCall(handle)) return Fail(error);
  for (TOp& op : ops_) {
    const DWORD abort = op.read ? PURGE_RXABORT : PURGE_TXABORT;
    if (op.overlapped != nullptr && (flags & abort) != 0) Cancel(op);
  }
  DropFinished();
  if ((flags & PURGE_RXCLEAR) != 0) incoming_.clear();
  return TRUE;
}

// CancelIoEx: "If this function cannot find a request to cancel, the return
// value is 0 (zero), and GetLastError returns ERROR_NOT_FOUND."
BOOL TFakeSerialDriver::CancelIoEx(HANDLE handle, OVERLAPPED* overlapped) {
  std::lock_guard<std::mutex> guard(lock_);
  if (handle != kPortHandle || !open_) return Fail(ERROR_INVALID_HANDLE);
  bool found = false;
  for (TOp& op : ops_) {
    if (op.overlapped == nullptr || op.cancelled) continue;
    if (overlapped != nullptr && op.overlapped != overlapped) continue;
    found = true;
    Cancel(op);
  }
  DropFinished();
  return found ? TRUE : Fail(ERROR_NOT_FOUND);
}

BOOL TFakeSerialDriver::EscapeCommFunction(HANDLE handle, DWORD) {
  std::lock_guard<std::mutex> guard(lock_);
  if (const DWORD error = RefuseCall(handle)) return Fail(error);
  return TRUE;
}

BOOL TFakeSerialDriver::GetCommModemStatus(HANDLE handle, DWORD* status) {
  std::lock_guard<std::mutex> guard(lock_);
  if (const DWORD error = RefuseCall(handle)) return Fail(error);
  *status = 0;
  return TRUE;
}

BOOL TFakeSerialDriver::FlushFileBuffers(HANDLE handle) {
  std::lock_guard<std::mutex> guard(lock_);
  if (const DWORD error = RefuseCall(handle)) return Fail(error);
  return TRUE;
}
