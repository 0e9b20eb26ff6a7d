// GetLastError numbers as device failures. A port whose line has gone (an
// adapter pulled out, the far side of a virtual port closed) fails its
// pending and new operations with 109, 21, 22, 31, 55, 433, 1167 or 1617,
// depending on the driver.
#include <windows.h>

#include "DeviceErrors.h"

namespace {

// ERROR_NO_SUCH_DEVICE, which not every SDK's headers name.
constexpr DWORD kNoSuchDevice = 433;

TDeviceFailure Failure(TDeviceFailureKind kind, int code) { return {kind, code}; }

bool IsLineGone(DWORD error) {
  return error == ERROR_BROKEN_PIPE || error == ERROR_NOT_READY || error == ERROR_BAD_COMMAND ||
         error == ERROR_DEVICE_REMOVED || error == ERROR_GEN_FAILURE ||
         error == ERROR_NETNAME_DELETED || error == kNoSuchDevice ||
         error == ERROR_DEVICE_NOT_CONNECTED;
}

}  // namespace

TDeviceFailure OpenFailureFor(int code) {
  switch (static_cast<DWORD>(code)) {
    case ERROR_SUCCESS: return kNoDeviceFailure;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_BAD_UNIT:
    case ERROR_NOT_READY:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_FUNCTION: return Failure(TDeviceFailureKind::NoDevice, code);
    case ERROR_PATH_NOT_FOUND: return Failure(TDeviceFailureKind::NoPath, code);
    case ERROR_TOO_MANY_OPEN_FILES: return Failure(TDeviceFailureKind::TooManyOpen, code);
    // Windows answers a second open of a COM port with "access denied".
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY: return Failure(TDeviceFailureKind::Held, code);
    case ERROR_INVALID_HANDLE: return Failure(TDeviceFailureKind::NotOpen, code);
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return Failure(TDeviceFailureKind::OutOfMemory, code);
    default: return Failure(TDeviceFailureKind::Refused, code);
  }
}

TDeviceFailure CallFailureFor(int code) {
  const DWORD error = static_cast<DWORD>(code);
  if (error == ERROR_SUCCESS) return kNoDeviceFailure;
  if (IsLineGone(error)) return Failure(TDeviceFailureKind::HungUp, code);
  switch (error) {
    case ERROR_INVALID_HANDLE: return Failure(TDeviceFailureKind::NotOpen, code);
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return Failure(TDeviceFailureKind::OutOfMemory, code);
    default: return Failure(TDeviceFailureKind::Refused, code);
  }
}

// The message table's texts for 2..162 are the texts of these very numbers.
bool MessageTableSpeaksSystemNumbers() { return true; }
