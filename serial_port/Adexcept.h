// Serial-layer failures: one exception class per error code, each with a fixed
// message from the message table, plus the handful of runtime classes that the
// layer raises for file-system style errors.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// Error codes the serial layer can raise (always negative when raised).
inline constexpr int ecOK = 0;
inline constexpr int ecOutOfMemory = -8;
inline constexpr int ecBadArgument = -1002;
inline constexpr int ecBadId = -2001;
inline constexpr int ecCommNotOpen = -2007;
inline constexpr int ecAlreadyOpen = -2008;
inline constexpr int ecNoPortSelected = -2011;
inline constexpr int ecOutputBufferTooSmall = -3006;
inline constexpr int ecBufferIsEmpty = -3007;
inline constexpr int ecTapiNoMem = -13868;
inline constexpr int ecDeviceWriteError = -160;
inline constexpr int ecDeviceReadError = -161;
// Linux only: the device exists but the user may not open it.
inline constexpr int ecPermissionDenied = -2101;

// Base of every failure the runtime itself would raise (the classes below that
// are not EAPDException derive from it too, so a host can catch one type).
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  // Name of the class, as a failure report shows it ("EInOutError", ...).
  virtual const char* ClassName() const { return "Exception"; }
};

class EAPDException : public Exception {
 public:
  EAPDException(int code, const std::string& message) : Exception(message), ErrorCode(code) {}
  const char* ClassName() const override { return "EAPDException"; }
  int ErrorCode;  // the negative code that was raised; 0 for the generic failure
};

#define ZARN_APD_EXCEPTION(Name, Base)                       \
  class Name : public Base {                                 \
   public:                                                   \
    using Base::Base;                                        \
    const char* ClassName() const override { return #Name; } \
  };

ZARN_APD_EXCEPTION(EOpenComm, EAPDException)
ZARN_APD_EXCEPTION(EBadId, EOpenComm)
ZARN_APD_EXCEPTION(ECommNotOpen, EOpenComm)
ZARN_APD_EXCEPTION(EAlreadyOpen, EOpenComm)
ZARN_APD_EXCEPTION(ENoPortSelected, EOpenComm)
ZARN_APD_EXCEPTION(EPermissionDenied, EOpenComm)
ZARN_APD_EXCEPTION(ESerialIO, EAPDException)
ZARN_APD_EXCEPTION(EOutputBufferTooSmall, ESerialIO)
ZARN_APD_EXCEPTION(EBufferIsEmpty, ESerialIO)
ZARN_APD_EXCEPTION(ETapi, EAPDException)
ZARN_APD_EXCEPTION(ETapiNoMem, ETapi)
#undef ZARN_APD_EXCEPTION

// Runtime-style classes.
class EInOutError : public Exception {
 public:
  EInOutError(int code, const std::string& message) : Exception(message), ErrorCode(code) {}
  const char* ClassName() const override { return "EInOutError"; }
  int ErrorCode;  // the positive error number
};

class EOutOfMemory : public Exception {
 public:
  EOutOfMemory() : Exception("Out of memory") {}
  const char* ClassName() const override { return "EOutOfMemory"; }
};

class EConvertError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EConvertError"; }
};

// Text for a serial error code given as a 16-bit signed number; a code and its
// negation give the same text. Unknown codes give the operating system's text
// for the magnitude (control characters blanked, blanks collapsed, at most 255
// characters), or "" when the system has none.
std::string ErrorMsg(int16_t Code);

// Table lookup behind ErrorMsg: the text for a code's magnitude, or "" when the
// table has no entry.
std::string MessageNumberToString(int Magnitude);

// The operating system's own text for one of its error numbers, tidied as
// ErrorMsg shows it; "" when the system has none.
std::string SystemMessage(int Number);

class TApdBaseComponent;

// Returns Code when it is 0 or more; raises the exception for a negative code.
int CheckException(const TApdBaseComponent* Component, int Code);

// The message of the exception CheckException raises for a negative code.
std::string CheckExceptionMessage(int Code);
// Raises the exception class of a negative code (as CheckException does) with
// `Message` instead of the code's own text where the class carries a text
// (the fixed texts of EOutOfMemory and the generic failure stay).
[[noreturn]] void RaiseWithMessage(int Code, const std::string& Message);
