// The Win32 calls the serial backend makes on a port, behind one interface, so
// that a test can put a driver of its own behind the backend: wine's comm
// calls accept what real drivers refuse, and no real driver can be pulled out
// on demand. Production uses RealCommCalls(), which forwards each call as it
// is; a replacement reports failures as Windows does (FALSE or
// INVALID_HANDLE_VALUE, with the reason in SetLastError), completes overlapped
// operations through the OVERLAPPED's event, and leaves the event and wait
// calls to Windows.
//
// Windows only. Threads: the calls come from the backend's threads as the
// Win32 calls would; CommCalls() and ReplaceCommCalls() may be called from
// any thread, and a device keeps the calls it was constructed with.
#pragma once

#include <windows.h>

class TCommCalls {
 public:
  virtual ~TCommCalls() = default;

  virtual HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, DWORD disposition,
                             DWORD flags) = 0;
  virtual BOOL CloseHandle(HANDLE handle) = 0;
  virtual BOOL SetupComm(HANDLE handle, DWORD inQueue, DWORD outQueue) = 0;
  virtual BOOL GetCommProperties(HANDLE handle, COMMPROP* properties) = 0;
  virtual BOOL GetCommState(HANDLE handle, DCB* dcb) = 0;
  virtual BOOL SetCommState(HANDLE handle, DCB* dcb) = 0;
  virtual BOOL SetCommTimeouts(HANDLE handle, COMMTIMEOUTS* timeouts) = 0;
  virtual BOOL ReadFile(HANDLE handle, void* buffer, DWORD length, DWORD* read,
                        OVERLAPPED* overlapped) = 0;
  virtual BOOL WriteFile(HANDLE handle, const void* buffer, DWORD length, DWORD* written,
                         OVERLAPPED* overlapped) = 0;
  virtual BOOL GetOverlappedResult(HANDLE handle, OVERLAPPED* overlapped, DWORD* transferred,
                                   BOOL wait) = 0;
  virtual BOOL ClearCommError(HANDLE handle, DWORD* errors, COMSTAT* status) = 0;
  virtual BOOL PurgeComm(HANDLE handle, DWORD flags) = 0;
  virtual BOOL CancelIoEx(HANDLE handle, OVERLAPPED* overlapped) = 0;
  virtual BOOL EscapeCommFunction(HANDLE handle, DWORD function) = 0;
  virtual BOOL GetCommModemStatus(HANDLE handle, DWORD* status) = 0;
  virtual BOOL FlushFileBuffers(HANDLE handle) = 0;
};

// Windows' own calls.
TCommCalls& RealCommCalls();
// The calls a device constructed now uses: RealCommCalls() unless replaced.
TCommCalls& CommCalls();
// Makes `calls` (nullptr: the real ones again) the calls of devices
// constructed from now on, and of Probe; returns the previous replacement
// (nullptr when there was none). `calls` must outlive those devices.
TCommCalls* ReplaceCommCalls(TCommCalls* calls);
