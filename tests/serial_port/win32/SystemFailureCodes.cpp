#include "SystemFailureCodes.h"

#include <windows.h>

std::vector<SystemCode> SystemCodes() {
  return {
      {Situation::DeviceMissing, Stage::Open, ERROR_FILE_NOT_FOUND, "ERROR_FILE_NOT_FOUND"},
      {Situation::DeviceMissing, Stage::Open, ERROR_BAD_UNIT, "ERROR_BAD_UNIT"},
      {Situation::DeviceMissing, Stage::Open, ERROR_NOT_READY, "ERROR_NOT_READY"},
      {Situation::FolderMissing, Stage::Open, ERROR_PATH_NOT_FOUND, "ERROR_PATH_NOT_FOUND"},
      {Situation::NoSerialDevice, Stage::Open, ERROR_INVALID_FUNCTION, "ERROR_INVALID_FUNCTION"},
      {Situation::NoSerialDevice, Stage::Open, ERROR_INVALID_NAME, "ERROR_INVALID_NAME"},
      {Situation::NoSerialDevice, Stage::Open, ERROR_BAD_PATHNAME, "ERROR_BAD_PATHNAME"},
      {Situation::NoHandleLeft, Stage::Open, ERROR_TOO_MANY_OPEN_FILES,
       "ERROR_TOO_MANY_OPEN_FILES"},
      {Situation::HeldByAnother, Stage::Open, ERROR_ACCESS_DENIED, "ERROR_ACCESS_DENIED"},
      {Situation::HeldByAnother, Stage::Open, ERROR_SHARING_VIOLATION, "ERROR_SHARING_VIOLATION"},
      {Situation::HeldByAnother, Stage::Open, ERROR_BUSY, "ERROR_BUSY"},
      {Situation::OutOfMemory, Stage::Open, ERROR_NOT_ENOUGH_MEMORY, "ERROR_NOT_ENOUGH_MEMORY"},
      {Situation::OutOfMemory, Stage::Open, ERROR_OUTOFMEMORY, "ERROR_OUTOFMEMORY"},
      {Situation::OutOfMemory, Stage::Call, ERROR_NOT_ENOUGH_MEMORY, "ERROR_NOT_ENOUGH_MEMORY"},
      {Situation::HandleClosed, Stage::Open, ERROR_INVALID_HANDLE, "ERROR_INVALID_HANDLE"},
      {Situation::HandleClosed, Stage::Call, ERROR_INVALID_HANDLE, "ERROR_INVALID_HANDLE"},
      {Situation::LineGone, Stage::Call, ERROR_BROKEN_PIPE, "ERROR_BROKEN_PIPE"},
      {Situation::LineGone, Stage::Call, ERROR_NOT_READY, "ERROR_NOT_READY"},
      {Situation::LineGone, Stage::Call, ERROR_BAD_COMMAND, "ERROR_BAD_COMMAND"},
      {Situation::LineGone, Stage::Call, ERROR_GEN_FAILURE, "ERROR_GEN_FAILURE"},
      {Situation::LineGone, Stage::Call, ERROR_DEVICE_REMOVED, "ERROR_DEVICE_REMOVED"},
      {Situation::LineGone, Stage::Call, ERROR_NETNAME_DELETED, "ERROR_NETNAME_DELETED"},
      {Situation::LineGone, Stage::Call, 433, "ERROR_NO_SUCH_DEVICE"},
      {Situation::LineGone, Stage::Call, ERROR_DEVICE_NOT_CONNECTED, "ERROR_DEVICE_NOT_CONNECTED"},
      {Situation::SettingRefused, Stage::Call, ERROR_INVALID_PARAMETER, "ERROR_INVALID_PARAMETER"},
      {Situation::SettingRefused, Stage::Open, ERROR_SEM_TIMEOUT, "ERROR_SEM_TIMEOUT"},
  };
}

std::vector<UntoldSituation> UntoldSituations() {
  return {{Situation::NotAllowed, Stage::Open,
           "Windows answers an open that is not allowed with ERROR_ACCESS_DENIED, as it answers "
           "the open of a port another program holds; it reads as held"}};
}

std::vector<RaisedSystemFailure> RaisedSystemFailures() {
  return {
      // Windows numbers are the message table's own: the table's texts.
      {{TDeviceFailureKind::Refused, ERROR_ACCESS_DENIED}, "EInOutError", 5, "File access denied"},
      {{TDeviceFailureKind::HungUp, ERROR_GEN_FAILURE},
       "EInOutError",
       31,
       ErrorMsg(31)},  // not in the table: the system's text
      {{TDeviceFailureKind::Refused, 162}, "EInOutError", 162, "General failure"},
      // Beyond the I/O errors the generic failure, as for any such code.
      {{TDeviceFailureKind::HungUp, ERROR_DEVICE_REMOVED}, "EAPDException", 0, "Klest exception"},
  };
}
