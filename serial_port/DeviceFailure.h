// What the device seam reports when a call fails: the kind of failure, which
// the engine and the component act on, and the operating system's own error
// number, which only the text shown to the user needs. Both backends name the
// same situations with the same kinds (DeviceErrors.h says how each system's
// numbers read); RaiseDeviceFailure is the one place where a failure becomes
// the component's error code, exception class and message.
//
// Threads: plain values; the functions may be called from any thread.
#pragma once

#include <string>

#include "Adexcept.h"

enum class TDeviceFailureKind {
  None,              // no failure
  NoDevice,          // no such device, or the device is no serial port
  NoPath,            // a folder on the way to the device is missing
  TooManyOpen,       // the process or the system has no handle left
  Held,              // another program has the device open
  PermissionDenied,  // this user may not open the device
  OutOfMemory,       // the system or the engine has no memory left
  NotOpen,           // the call needs an open device (or its handle was closed under it)
  HungUp,            // the line has gone: an adapter pulled out, the far side closed
  BadArgument,       // the engine refused the settings before the device saw them
  Refused,           // the device refused the call for another reason (see systemCode)
};

struct TDeviceFailure {
  TDeviceFailureKind kind = TDeviceFailureKind::None;
  // The system's error number (errno, GetLastError) behind the failure; 0
  // when the failure did not come from a system call.
  int systemCode = 0;

  bool Failed() const { return kind != TDeviceFailureKind::None; }
  bool operator==(const TDeviceFailure&) const = default;
};

inline constexpr TDeviceFailure kNoDeviceFailure{};

// The failure as the component raises it: the negative code CheckException
// would see and the message the exception carries.
struct TComponentFailure {
  int code = 0;
  std::string message;
};

// The component's code and message for `failure`. Kinds with a class of their
// own keep the message table's text (EBadId, EAlreadyOpen, EPermissionDenied,
// EOutOfMemory ...). HungUp and Refused show the system's error number: with
// the table's text where the table was written for this system's numbers,
// else with the system's own text; a number whose table text would mean
// something else, or that has no text at all, shows as "General failure".
// {0, ""} for no failure.
TComponentFailure ComponentFailureFor(const TDeviceFailure& failure);

// Raises the exception of ComponentFailureFor (nothing for no failure).
void RaiseDeviceFailure(const TApdBaseComponent* component, const TDeviceFailure& failure);
