// Port numbers on Windows (the mapping is described in PortList.h). Nothing
// here opens a port: a held port would look missing, and opening a port can
// toggle its modem lines under a device that is attached to it.
#include <windows.h>
// After windows.h, which the SetupAPI headers need.
#include <devguid.h>
#include <setupapi.h>

#include <cctype>
#include <cstring>
#include <string>

#include "PortList.h"

namespace {

constexpr uint16_t kHighestPortNumber = 256;
constexpr const char kDevicePrefix[] = "\\\\.\\";
constexpr const char kSerialCommKey[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr DWORD kMaxNameLength = 512;

std::string ComName(uint16_t n) { return "COM" + std::to_string(n); }

bool InRange(unsigned long n) { return n >= 1 && n <= kHighestPortNumber; }

// "COMn" in any letter case, n without leading sign or other characters.
std::optional<uint16_t> NumberOfComName(const std::string& name) {
  if (name.size() < 4 || _strnicmp(name.c_str(), "COM", 3) != 0) return std::nullopt;
  if (name.find_first_not_of("0123456789", 3) != std::string::npos) return std::nullopt;
  if (name.size() > 6) return std::nullopt;
  const unsigned long n = std::stoul(name.substr(3));
  if (!InRange(n)) return std::nullopt;
  return static_cast<uint16_t>(n);
}

// The kernel device behind "COMn" from the DOS device names, "" when none.
std::string DosDeviceTarget(uint16_t n) {
  char target[kMaxNameLength] = {};
  if (QueryDosDeviceA(ComName(n).c_str(), target, kMaxNameLength) == 0) return {};
  return target;
}

// The kernel device that the SERIALCOMM map gives for "COMn", "" when none.
std::string SerialCommDevice(uint16_t n) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return {};
  }
  const std::string wanted = ComName(n);
  std::string found;
  for (DWORD index = 0;; ++index) {
    char name[kMaxNameLength];
    BYTE data[kMaxNameLength];
    DWORD nameLength = kMaxNameLength;
    DWORD dataLength = kMaxNameLength - 1;
    DWORD type = 0;
    if (RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data, &dataLength) !=
        ERROR_SUCCESS) {
      break;
    }
    if (type != REG_SZ) continue;
    data[dataLength] = 0;
    if (_stricmp(reinterpret_cast<const char*>(data), wanted.c_str()) == 0) {
      found = name;
      break;
    }
  }
  RegCloseKey(key);
  return found;
}

// The adapter's friendly name ("USB Serial Port (COM7)") from SetupAPI, ""
// when Windows has none for the port.
std::string FriendlyName(uint16_t n) {
  HDEVINFO devices = SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (devices == INVALID_HANDLE_VALUE) return {};
  const std::string wanted = ComName(n);
  std::string found;
  SP_DEVINFO_DATA info{};
  info.cbSize = sizeof info;
  for (DWORD index = 0; found.empty() && SetupDiEnumDeviceInfo(devices, index, &info); ++index) {
    HKEY key = SetupDiOpenDevRegKey(devices, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    char portName[kMaxNameLength] = {};
    DWORD length = kMaxNameLength - 1;
    DWORD type = 0;
    const bool named =
        RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(portName),
                         &length) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (!named || type != REG_SZ || _stricmp(portName, wanted.c_str()) != 0) continue;
    char friendly[kMaxNameLength] = {};
    if (SetupDiGetDeviceRegistryPropertyA(devices, &info, SPDRP_FRIENDLYNAME, nullptr,
                                          reinterpret_cast<BYTE*>(friendly), kMaxNameLength - 1,
                                          nullptr)) {
      found = friendly;
    }
  }
  SetupDiDestroyDeviceInfoList(devices);
  return found;
}

std::string KernelDevice(uint16_t n) {
  std::string device = SerialCommDevice(n);
  return device.empty() ? DosDeviceTarget(n) : device;
}

}  // namespace

uint16_t HighestPortNumber() { return kHighestPortNumber; }

std::string PortLinkFolder() { return {}; }

std::string DeviceForComNumber(uint16_t n) {
  if (!InRange(n)) return {};
  return kDevicePrefix + ComName(n);
}

bool IsPortAvailable(uint16_t n) { return InRange(n) && !KernelDevice(n).empty(); }

std::vector<TPortInfo> ListPorts() {
  std::vector<TPortInfo> ports;
  for (uint16_t n = 1; n <= kHighestPortNumber; ++n) {
    const std::string kernel = KernelDevice(n);
    if (kernel.empty()) continue;
    std::string description = FriendlyName(n);
    if (description.empty()) description = kernel;
    ports.push_back({n, DeviceForComNumber(n), description});
  }
  return ports;
}

std::optional<uint16_t> ComNumberForDevice(const std::string& path) {
  const bool prefixed = path.rfind(kDevicePrefix, 0) == 0;
  return NumberOfComName(prefixed ? path.substr(std::strlen(kDevicePrefix)) : path);
}
