#include "PortSetup.h"

#include "UploadPortSettings.h"

void ConfigureLikeMainWindow(TApdCustomComPort& port, const std::string& path) {
  port.SetDevicePath(path);
  UploadPort::ApplyStoredSettings(port);
  UploadPort::ApplyLineSettings(port);
}

void OpenPortOn(TApdCustomComPort& port, const std::string& path) {
  ConfigureLikeMainWindow(port, path);
  port.SetOpen(true);
  port.FlushInBuffer();
  port.FlushOutBuffer();
}
