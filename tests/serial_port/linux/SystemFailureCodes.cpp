#include "SystemFailureCodes.h"

#include <cerrno>

std::vector<SystemCode> SystemCodes() {
  return {
      {Situation::DeviceMissing, Stage::Open, ENOENT, "ENOENT"},
      {Situation::DeviceMissing, Stage::Open, ENXIO, "ENXIO"},
      {Situation::DeviceMissing, Stage::Open, ENODEV, "ENODEV"},
      {Situation::FolderMissing, Stage::Open, ENOTDIR, "ENOTDIR"},
      {Situation::NoSerialDevice, Stage::Open, ENOTTY, "ENOTTY"},
      {Situation::NoSerialDevice, Stage::Open, EISDIR, "EISDIR"},
      {Situation::NoHandleLeft, Stage::Open, EMFILE, "EMFILE"},
      {Situation::NoHandleLeft, Stage::Open, ENFILE, "ENFILE"},
      {Situation::HeldByAnother, Stage::Open, EBUSY, "EBUSY"},
      {Situation::HeldByAnother, Stage::Open, EWOULDBLOCK, "EWOULDBLOCK"},
      {Situation::NotAllowed, Stage::Open, EACCES, "EACCES"},
      {Situation::NotAllowed, Stage::Open, EPERM, "EPERM"},
      {Situation::OutOfMemory, Stage::Open, ENOMEM, "ENOMEM"},
      {Situation::OutOfMemory, Stage::Call, ENOMEM, "ENOMEM"},
      {Situation::HandleClosed, Stage::Open, EBADF, "EBADF"},
      {Situation::HandleClosed, Stage::Call, EBADF, "EBADF"},
      {Situation::LineGone, Stage::Call, EIO, "EIO"},
      {Situation::LineGone, Stage::Call, ENXIO, "ENXIO"},
      {Situation::LineGone, Stage::Call, ENODEV, "ENODEV"},
      {Situation::SettingRefused, Stage::Call, EINVAL, "EINVAL"},
      {Situation::SettingRefused, Stage::Open, EIO, "EIO"},
  };
}

std::vector<UntoldSituation> UntoldSituations() { return {}; }

std::vector<RaisedSystemFailure> RaisedSystemFailures() {
  return {
      // errno numbers are not the message table's: each keeps its own text.
      {{TDeviceFailureKind::HungUp, EIO}, "EInOutError", EIO, "Input/output error"},
      {{TDeviceFailureKind::Refused, EIO}, "EInOutError", EIO, "Input/output error"},
      {{TDeviceFailureKind::HungUp, ENXIO}, "EInOutError", ENXIO, "No such device or address"},
      {{TDeviceFailureKind::Refused, ENOENT}, "EInOutError", ENOENT, "No such file or directory"},
      {{TDeviceFailureKind::Refused, EINVAL}, "EInOutError", EINVAL, "Invalid argument"},
      // A number the table knows and the system has no text for.
      {{TDeviceFailureKind::Refused, 150}, "EInOutError", 162, "General failure"},
  };
}
