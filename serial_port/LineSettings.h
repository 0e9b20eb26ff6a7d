// The engine's record of a port's configuration: what it reads from the
// device, changes field by field and writes back whole.
#pragma once

#include <cstdint>

enum TDtrControl : uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum TRtsControl : uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TStopBitSetting : uint8_t { sbOne, sbOneAndHalf, sbTwo };

struct TLineSettings {
  uint32_t Baud = 0;
  uint8_t Parity = 0;    // TParity values 0..4
  uint8_t DataBits = 8;  // 5..8
  TStopBitSetting StopBits = sbOne;
  bool Binary = true;
  bool ParityCheck = false;
  bool OutxCtsFlow = false;
  bool OutxDsrFlow = false;
  bool DsrSensitivity = false;
  bool TXContinueOnXoff = true;
  bool OutX = false;  // XON/XOFF on output
  bool InX = false;   // XON/XOFF on input
  bool NullStrip = false;
  TDtrControl DtrControl = dtrDisable;
  TRtsControl RtsControl = rtsDisable;
  char XonChar = 17;
  char XoffChar = 19;
  uint32_t XonLim = 0;
  uint32_t XoffLim = 0;

  bool operator==(const TLineSettings&) const = default;
};
