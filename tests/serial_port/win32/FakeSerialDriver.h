// A serial port driver behind TCommCalls, for the Win32 backend's tests: it
// plays what Microsoft documents of its serial drivers and what USB-serial
// drivers do when their adapter is pulled out, which wine's comm calls do not
// (wine takes any handflow limit and cancels everything at once). Each rule
// names its source in FakeSerialDriver.cpp.
//
// The port is "\\.\COM7"; the test puts bytes on its line with Arrive and
// reads what the program sent with Sent. Overlapped operations complete as
// Windows completes them: the OVERLAPPED's Internal holds a pending mark
// until then, and its event is set at completion.
//
// Late writes: the driver writes into an operation's OVERLAPPED and buffer
// when it completes it, however late. Before every such write it checks that
// the memory is still owned (OwnedMemory.h); where it is not, it counts a
// stray write and leaves the memory alone.
//
// Threads: every call may come from any thread; the calls are serialised by
// one lock, which GetOverlappedResult's wait does not hold.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "win32/CommCalls.h"

class TFakeSerialDriver final : public TCommCalls {
 public:
  // How the driver answers a cancel (CancelIoEx, a purge's abort, the close
  // of the handle).
  enum class TCancel {
    AtOnce,  // the operation completes with ERROR_OPERATION_ABORTED at once
    Late,    // it stays with the driver until CompleteCancelled()
  };

  static constexpr const wchar_t* kDeviceName = L"\\\\.\\COM7";
  static constexpr const char* kPortName = "COM7";

  TFakeSerialDriver();

  // --- what the driver does (the test sets it) ---
  void SetCancel(TCancel cancel);
  // Every read completes at once with 0 bytes (a driver whose adapter has
  // gone quiet, or that runs its own read timeouts).
  void SetEmptyReads(bool empty);
  // Writes stay pending until CompleteWrites() instead of completing at once.
  void SetWritesPending(bool pending);
  // A write moves at most this many bytes (0: all of them).
  void SetWriteLimit(DWORD bytes);

  // Bytes come in on the line: pending reads take them, the rest is queued.
  void Arrive(const std::vector<uint8_t>& bytes);
  // The adapter is pulled out: pending operations complete with the first
  // errors of `errors` (one each, in order), and every later call on the
  // port fails with the next one; the last one repeats.
  void Remove(const std::vector<DWORD>& errors);
  // Completes every cancelled operation, late: a read gets a byte written
  // into its buffer first.
  void CompleteCancelled();
  // Completes every pending write (with at most the write limit).
  void CompleteWrites();

  // --- what the program did ---
  std::vector<uint8_t> Sent() const;
  DCB State() const;
  DWORD ReceiveQueue() const;
  int ReadCalls() const;
  // Completions that found their OVERLAPPED or buffer no longer owned.
  int StrayWrites() const;
  // Operations started with an OVERLAPPED the driver still had.
  int ReusedOverlapped() const;
  // Operations the driver still holds.
  int Pending() const;

  // --- TCommCalls ---
  HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, DWORD disposition,
                     DWORD flags) override;
  BOOL CloseHandle(HANDLE handle) override;
  BOOL SetupComm(HANDLE handle, DWORD inQueue, DWORD outQueue) override;
  BOOL GetCommProperties(HANDLE handle, COMMPROP* properties) override;
  BOOL GetCommState(HANDLE handle, DCB* dcb) override;
  BOOL SetCommState(HANDLE handle, DCB* dcb) override;
  BOOL SetCommTimeouts(HANDLE handle, COMMTIMEOUTS* timeouts) override;
  BOOL ReadFile(HANDLE handle, void* buffer, DWORD length, DWORD* read,
                OVERLAPPED* overlapped) override;
  BOOL WriteFile(HANDLE handle, const void* buffer, DWORD length, DWORD* written,
                 OVERLAPPED* overlapped) override;
  BOOL GetOverlappedResult(HANDLE handle, OVERLAPPED* overlapped, DWORD* transferred,
                           BOOL wait) override;
  BOOL ClearCommError(HANDLE handle, DWORD* errors, COMSTAT* status) override;
  BOOL PurgeComm(HANDLE handle, DWORD flags) override;
  BOOL CancelIoEx(HANDLE handle, OVERLAPPED* overlapped) override;
  BOOL EscapeCommFunction(HANDLE handle, DWORD function) override;
  BOOL GetCommModemStatus(HANDLE handle, DWORD* status) override;
  BOOL FlushFileBuffers(HANDLE handle) override;

 private:
  struct TOp {
    OVERLAPPED* overlapped;
    bool read;
    uint8_t* into;        // a read's buffer
    const uint8_t* from;  // a write's bytes
    DWORD length;
    DWORD done;  // bytes a read has taken so far
    bool cancelled;
  };

  // Each returns FALSE with the error set, for the call that needs it.
  BOOL Fail(DWORD error);
  // The port is this program's open port and the adapter is in; else the
  // error the call fails with (0 when it may go on).
  DWORD RefuseCall(HANDLE handle);
  DWORD NextRemovalError();
  void Start(OVERLAPPED* overlapped);
  // Ends `op`'s I/O: writes the result into its OVERLAPPED and sets the event,
  // when the program still owns them.
  void Finish(TOp& op, DWORD error, DWORD bytes);
  void Cancel(TOp& op);
  void FeedReads();
  void DropFinished();
  bool Holds(const OVERLAPPED* overlapped) const;

  mutable std::mutex lock_;
  TCancel cancel_ = TCancel::AtOnce;
  bool emptyReads_ = false;
  bool writesPending_ = false;
  DWORD writeLimit_ = 0;
  bool open_ = false;
  bool present_ = true;
  std::vector<DWORD> removal_;
  std::size_t removalNext_ = 0;
  DWORD receiveQueue_;
  DWORD transmitQueue_;
  DCB dcb_{};
  COMMTIMEOUTS timeouts_{};
  std::deque<uint8_t> incoming_;
  std::vector<uint8_t> sent_;
  std::vector<TOp> ops_;
  int readCalls_ = 0;
  int strayWrites_ = 0;
  int reusedOverlapped_ = 0;
};
