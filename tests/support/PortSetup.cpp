#include "PortSetup.h"

#include <cstdint>

namespace {
constexpr int32_t kBaud = 115200;
constexpr uint16_t kDataBits = 8;
constexpr uint16_t kStopBits = 1;
constexpr uint16_t kRingSize = 32768;
}  // namespace

void ConfigureLikeMainWindow(TApdCustomComPort& port, const std::string& path) {
  port.SetDevicePath(path);
  port.SetBaud(kBaud);
  port.SetDataBits(kDataBits);
  port.SetStopBits(kStopBits);
  port.SetParity(pNone);
  port.SetInSize(kRingSize);
  port.SetOutSize(kRingSize);
  port.SetAutoOpen(false);
  port.SetDTR(false);
  port.SetRTS(false);
  port.SetUseEventWord(false);
  port.SetTapiMode(tmNone);
}

void OpenPortOn(TApdCustomComPort& port, const std::string& path) {
  ConfigureLikeMainWindow(port, path);
  port.SetOpen(true);
  port.FlushInBuffer();
  port.FlushOutBuffer();
}
