#include <atomic>

#include "CommCalls.h"

namespace {

class TWin32CommCalls final : public TCommCalls {
 public:
  HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, DWORD disposition,
                     DWORD flags) override {
    return ::CreateFileW(name, access, share, nullptr, disposition, flags, nullptr);
  }
  BOOL CloseHandle(HANDLE handle) override { return ::CloseHandle(handle); }
  BOOL SetupComm(HANDLE handle, DWORD inQueue, DWORD outQueue) override {
    return ::SetupComm(handle, inQueue, outQueue);
  }
  BOOL GetCommProperties(HANDLE handle, COMMPROP* properties) override {
    return ::GetCommProperties(handle, properties);
  }
  BOOL GetCommState(HANDLE handle, DCB* dcb) override { return ::GetCommState(handle, dcb); }
  BOOL SetCommState(HANDLE handle, DCB* dcb) override { return ::SetCommState(handle, dcb); }
  BOOL SetCommTimeouts(HANDLE handle, COMMTIMEOUTS* timeouts) override {
    return ::SetCommTimeouts(handle, timeouts);
  }
  BOOL ReadFile(HANDLE handle, void* buffer, DWORD length, DWORD* read,
                OVERLAPPED* overlapped) override {
    return ::ReadFile(handle, buffer, length, read, overlapped);
  }
  BOOL WriteFile(HANDLE handle, const void* buffer, DWORD length, DWORD* written,
                 OVERLAPPED* overlapped) override {
    return ::WriteFile(handle, buffer, length, written, overlapped);
  }
  BOOL GetOverlappedResult(HANDLE handle, OVERLAPPED* overlapped, DWORD* transferred,
                           BOOL wait) override {
    return ::GetOverlappedResult(handle, overlapped, transferred, wait);
  }
  BOOL ClearCommError(HANDLE handle, DWORD* errors, COMSTAT* status) override {
    return ::ClearCommError(handle, errors, status);
  }
  BOOL PurgeComm(HANDLE handle, DWORD flags) override { return ::PurgeComm(handle, flags); }
  BOOL CancelIoEx(HANDLE handle, OVERLAPPED* overlapped) override {
    return ::CancelIoEx(handle, overlapped);
  }
  BOOL EscapeCommFunction(HANDLE handle, DWORD function) override {
    return ::EscapeCommFunction(handle, function);
  }
  BOOL GetCommModemStatus(HANDLE handle, DWORD* status) override {
    return ::GetCommModemStatus(handle, status);
  }
  BOOL FlushFileBuffers(HANDLE handle) override { return ::FlushFileBuffers(handle); }
};

std::atomic<TCommCalls*> replacement{nullptr};

}  // namespace

TCommCalls& RealCommCalls() {
  static TWin32CommCalls calls;
  return calls;
}

TCommCalls& CommCalls() {
  TCommCalls* calls = replacement.load();
  return calls != nullptr ? *calls : RealCommCalls();
}

TCommCalls* ReplaceCommCalls(TCommCalls* calls) { return replacement.exchange(calls); }
