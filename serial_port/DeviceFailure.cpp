// From a device failure to the component's code and message.
#include "DeviceFailure.h"

#include "DeviceErrors.h"

namespace {

// The runtime's I/O error numbers the open's own failures are reported with.
constexpr int kTooManyOpenFilesCode = -4;
constexpr int kInvalidHandleCode = -6;
// The last number of the runtime's I/O errors, and its "General failure".
constexpr int kHighestInOutErrorNumber = 162;
constexpr int kGeneralFailureCode = -kHighestInOutErrorNumber;
constexpr int kLowestInOutErrorNumber = 2;

TComponentFailure Coded(int code) { return {code, CheckExceptionMessage(code)}; }

// A failure that only the system's error number explains.
TComponentFailure SystemFailure(int number) {
  if (number <= 0) return Coded(kGeneralFailureCode);
  const bool inOutError = number >= kLowestInOutErrorNumber && number <= kHighestInOutErrorNumber;
  // The table's text is the system's own meaning of the number, or the table
  // has no text for it (the code then shows the system's text or the generic
  // failure, as any code would).
  if ((inOutError && MessageTableSpeaksSystemNumbers()) || MessageNumberToString(number).empty()) {
    return Coded(-number);
  }
  // The table's text would mean something else: the system says it itself.
  if (inOutError) {
    std::string own = SystemMessage(number);
    if (!own.empty()) return {-number, std::move(own)};
  }
  return Coded(kGeneralFailureCode);
}

}  // namespace

TComponentFailure ComponentFailureFor(const TDeviceFailure& failure) {
  switch (failure.kind) {
    case TDeviceFailureKind::None: return {};
    case TDeviceFailureKind::NoDevice:
    case TDeviceFailureKind::NoPath: return Coded(ecBadId);
    case TDeviceFailureKind::Held: return Coded(ecAlreadyOpen);
    case TDeviceFailureKind::PermissionDenied: return Coded(ecPermissionDenied);
    case TDeviceFailureKind::OutOfMemory: return Coded(ecOutOfMemory);
    case TDeviceFailureKind::TooManyOpen: return Coded(kTooManyOpenFilesCode);
    case TDeviceFailureKind::NotOpen: return Coded(kInvalidHandleCode);
    case TDeviceFailureKind::BadArgument: return Coded(ecBadArgument);
    case TDeviceFailureKind::HungUp:
    case TDeviceFailureKind::Refused: break;
  }
  return SystemFailure(failure.systemCode);
}

void RaiseDeviceFailure(const TApdBaseComponent* /*component*/, const TDeviceFailure& failure) {
  if (!failure.Failed()) return;
  const TComponentFailure raised = ComponentFailureFor(failure);
  RaiseWithMessage(raised.code, raised.message);
}
