#include "UploadPortSettings.h"

namespace UploadPort {

void ApplyStoredSettings(TApdCustomComPort& port) {
  port.SetBaud(kBaud);
  port.SetInSize(kBufferSize);
  port.SetOutSize(kBufferSize);
  port.SetAutoOpen(false);
  port.SetDTR(false);
  port.SetRTS(false);
  port.SetUseEventWord(false);
  port.SetTapiMode(tmNone);
}

void ApplyLineSettings(TApdCustomComPort& port) {
  port.SetBaud(kBaud);
  port.SetDataBits(kDataBits);
  port.SetStopBits(kStopBits);
  port.SetParity(kParity);
}

}  // namespace UploadPort
