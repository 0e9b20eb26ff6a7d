// errno as device failures. A tty whose line has gone (the far side of a
// pseudo-terminal closed, a USB adapter pulled out) answers every call with
// EIO, or ENODEV/ENXIO once its driver has let go of it.
#include <cerrno>

#include "DeviceErrors.h"

namespace {

TDeviceFailure Failure(TDeviceFailureKind kind, int code) { return {kind, code}; }

}  // namespace

TDeviceFailure OpenFailureFor(int code) {
  switch (code) {
    case 0: return kNoDeviceFailure;
    case ENOENT:
    case ENXIO:
    case ENODEV:
    case ENOTTY:
    case EISDIR: return Failure(TDeviceFailureKind::NoDevice, code);
    case ENOTDIR: return Failure(TDeviceFailureKind::NoPath, code);
    case EMFILE:
    case ENFILE: return Failure(TDeviceFailureKind::TooManyOpen, code);
    case EBUSY:
    case EWOULDBLOCK: return Failure(TDeviceFailureKind::Held, code);
    case EBADF: return Failure(TDeviceFailureKind::NotOpen, code);
    case EACCES:
    case EPERM:
    case EROFS: return Failure(TDeviceFailureKind::PermissionDenied, code);
    case ENOMEM: return Failure(TDeviceFailureKind::OutOfMemory, code);
    default: return Failure(TDeviceFailureKind::Refused, code);
  }
}

TDeviceFailure CallFailureFor(int code) {
  switch (code) {
    case 0: return kNoDeviceFailure;
    case EIO:
    case ENXIO:
    case ENODEV: return Failure(TDeviceFailureKind::HungUp, code);
    case EBADF: return Failure(TDeviceFailureKind::NotOpen, code);
    case ENOMEM: return Failure(TDeviceFailureKind::OutOfMemory, code);
    default: return Failure(TDeviceFailureKind::Refused, code);
  }
}

// errno numbers are not the numbers the message table was written for: EIO
// is 5, whose table text is "File access denied".
bool MessageTableSpeaksSystemNumbers() { return false; }
