// Port numbers on Linux (the mapping is described in PortList.h).
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "PortList.h"
#include "SerialDevice.h"

namespace fs = std::filesystem;

namespace {

struct TPortRange {
  uint16_t first;
  uint16_t last;
  const char* devicePrefix;  // nullptr: links in the port link folder
};

constexpr TPortRange kUartPorts{1, 10, "/dev/ttyS"};
constexpr TPortRange kUsbSerialPorts{11, 20, "/dev/ttyUSB"};
constexpr TPortRange kUsbAcmPorts{21, 30, "/dev/ttyACM"};
constexpr TPortRange kLinkPorts{kFirstLinkPortNumber, kLastLinkPortNumber, nullptr};
constexpr int kSysfsProductSearchDepth = 4;
constexpr uint16_t kHighestPortNumber = kLinkPorts.last;

bool InRange(const TPortRange& range, uint16_t n) { return n >= range.first && n <= range.last; }

std::string ReadFirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

std::string TtyName(const std::string& device) { return fs::path(device).filename().string(); }

// A built-in UART has a driver and a known UART type; the phantom ttyS nodes
// report type 0 (PORT_UNKNOWN).
bool UartHasHardware(const std::string& device) {
  const fs::path sys = fs::path("/sys/class/tty") / TtyName(device);
  std::error_code ec;
  if (!fs::exists(sys / "device" / "driver", ec)) return false;
  const std::string type = ReadFirstLine(sys / "type");
  return !type.empty() && std::atoi(type.c_str()) != 0;
}

// The USB product name of an adapter, found by walking up from the tty's
// device in sysfs.
std::string UsbProductName(const std::string& device) {
  std::error_code ec;
  fs::path dir = fs::canonical(fs::path("/sys/class/tty") / TtyName(device) / "device", ec);
  if (ec) return {};
  for (int i = 0; i < kSysfsProductSearchDepth && !dir.empty(); ++i) {
    const std::string product = ReadFirstLine(dir / "product");
    if (!product.empty()) return product;
    dir = dir.parent_path();
  }
  return {};
}

std::string DescriptionFor(uint16_t n, const std::string& device) {
  if (InRange(kLinkPorts, n)) return "pseudo-terminal";
  if (InRange(kUartPorts, n)) return "serial port";
  std::string product = UsbProductName(device);
  if (!product.empty()) return product;
  return InRange(kUsbAcmPorts, n) ? "USB modem" : "USB serial adapter";
}

}  // namespace

uint16_t HighestPortNumber() { return kHighestPortNumber; }

std::string PortLinkFolder() {
  if (const char* dir = std::getenv("ZARN_PORT_DIR"); dir != nullptr && *dir != '\0') return dir;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
      runtime != nullptr && *runtime != '\0') {
    return (fs::path(runtime) / "zarn-loader" / "ports").string();
  }
  return "/tmp/zarn-loader-" + std::to_string(getuid()) + "/ports";
}

std::string DeviceForComNumber(uint16_t n) {
  for (const TPortRange* range : {&kUartPorts, &kUsbSerialPorts, &kUsbAcmPorts}) {
    if (!InRange(*range, n)) continue;
    std::string device = range->devicePrefix + std::to_string(n - range->first);
    if (range == &kUartPorts && !UartHasHardware(device)) return {};
    return device;
  }
  if (InRange(kLinkPorts, n))
    return (fs::path(PortLinkFolder()) / ("COM" + std::to_string(n))).string();
  return {};
}

bool IsPortAvailable(uint16_t n) {
  const std::string device = DeviceForComNumber(n);
  if (device.empty()) return false;
  std::error_code ec;
  if (!fs::exists(device, ec)) return false;  // also a dangling link
  const TDeviceFailureKind result = TSerialDevice::Probe(device).kind;
  // A port that another program holds, or that this user may not open, is
  // still there: choosing it gives the message that says why it cannot open.
  return result == TDeviceFailureKind::None || result == TDeviceFailureKind::Held ||
         result == TDeviceFailureKind::PermissionDenied;
}

std::vector<TPortInfo> ListPorts() {
  std::vector<TPortInfo> ports;
  for (uint16_t n = 1; n <= kHighestPortNumber; ++n) {
    if (!IsPortAvailable(n)) continue;
    const std::string device = DeviceForComNumber(n);
    ports.push_back({n, device, DescriptionFor(n, device)});
  }
  return ports;
}

std::optional<uint16_t> ComNumberForDevice(const std::string& path) {
  std::error_code ec;
  const fs::path wanted = fs::weakly_canonical(path, ec);
  for (uint16_t n = 1; n <= kHighestPortNumber; ++n) {
    const std::string device = DeviceForComNumber(n);
    if (device.empty()) continue;
    if (device == path) return n;
    std::error_code other;
    const fs::path target = fs::weakly_canonical(device, other);
    if (!ec && !other && fs::exists(target, other) && target == wanted) return n;
  }
  return std::nullopt;
}
