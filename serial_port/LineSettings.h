// The engine's record of a port's configuration: what it reads from the
// device, changes field by field and writes back whole.
#pragma once

#include <cstdint>

enum TDtrControl : uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum TRtsControl : uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TStopBitSetting : uint8_t { sbOne, sbOneAndHalf, sbTwo };

struct TLineSettings {
  uint32_t baud = 0;
  uint8_t parity = 0;    // TParity values 0..4
  uint8_t dataBits = 8;  // 5..8
  TStopBitSetting stopBits = sbOne;
  bool binary = true;
  bool parityCheck = false;
  bool outxCtsFlow = false;
  bool outxDsrFlow = false;
  bool dsrSensitivity = false;
  bool txContinueOnXoff = true;
  bool outX = false;  // XON/XOFF on output
  bool inX = false;   // XON/XOFF on input
  bool nullStrip = false;
  TDtrControl dtrControl = dtrDisable;
  TRtsControl rtsControl = rtsDisable;
  char xonChar = 17;
  char xoffChar = 19;
  uint32_t xonLim = 0;
  uint32_t xoffLim = 0;

  bool operator==(const TLineSettings&) const = default;
};
