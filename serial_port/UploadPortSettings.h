// The one place that says how the tool's port is set up for an upload: the
// stored settings the window's port carries from its creation, and the line
// that Connect sets before every opening. The window, zarn-upload and the
// tests that stand in for the window all take them from here, so a change of
// line speed or ring size reaches every one of them.
//
// Threads: call on the thread that owns the port, while it is closed (the
// setters of an open port act on the line at once).
#pragma once

#include <cstdint>

#include "Adport.h"

namespace UploadPort {

// 115200 bits per second, 8 data bits, no parity, one stop bit.
inline constexpr int32_t kBaud = 115200;
inline constexpr uint16_t kDataBits = 8;
inline constexpr uint16_t kStopBits = 1;
inline constexpr TParity kParity = pNone;
// Receive queue and transmit ring, in bytes.
inline constexpr uint16_t kBufferSize = 32768;

// The stored settings: line speed, both buffer sizes, no automatic open
// (only Connect opens the port), DTR and RTS low when it opens, no event
// word, no TAPI. The port number and device are left alone.
void ApplyStoredSettings(TApdCustomComPort& port);

// Connect's line settings: speed, data bits, stop bits and parity.
void ApplyLineSettings(TApdCustomComPort& port);

}  // namespace UploadPort
