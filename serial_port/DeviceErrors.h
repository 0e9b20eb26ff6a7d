// How this operating system's error numbers read as device failures. One
// backend file per system (linux/DeviceErrorsLinux.cpp,
// win32/DeviceErrorsWin32.cpp), chosen by CMake; the serial device of each
// system reports through these, so that both name the same situation with the
// same kind.
//
// Threads: pure functions, callable from any thread.
#pragma once

#include "DeviceFailure.h"

// A failed open or probe of a device (errno, or GetLastError).
TDeviceFailure OpenFailureFor(int systemCode);
// A failed call on an open device: its settings, a read, a write.
TDeviceFailure CallFailureFor(int systemCode);
// Whether the message table's texts for the numbers 2..162 were written for
// this system's error numbers (so that the table's text is the system's
// meaning of the number).
bool MessageTableSpeaksSystemNumbers();
