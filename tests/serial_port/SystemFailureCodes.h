// The situations a device call can meet, each named once for every system,
// and this system's error numbers for them (one file per system:
// linux/SystemFailureCodes.cpp, win32/SystemFailureCodes.cpp).
#pragma once

#include <string>
#include <vector>

#include "DeviceFailure.h"

enum class Situation {
  DeviceMissing,
  FolderMissing,
  NoSerialDevice,
  NoHandleLeft,
  HeldByAnother,
  NotAllowed,
  OutOfMemory,
  HandleClosed,
  LineGone,
  SettingRefused,
};

// Where the number came from: a failed open, or a call on an open device.
enum class Stage { Open, Call };

struct SystemCode {
  Situation situation;
  Stage stage;
  int code;
  const char* name;  // the system's name for the number ("EIO", "ERROR_BROKEN_PIPE")
};

// Every number this system gives for the situations it can tell apart.
std::vector<SystemCode> SystemCodes();
// Situations this system cannot tell from another one, with the reason.
struct UntoldSituation {
  Situation situation;
  Stage stage;
  const char* why;
};
std::vector<UntoldSituation> UntoldSituations();

// How a device failure with one of this system's numbers is raised.
struct RaisedSystemFailure {
  TDeviceFailure failure;
  const char* className;
  int errorCode;
  std::string message;
};
std::vector<RaisedSystemFailure> RaisedSystemFailures();
