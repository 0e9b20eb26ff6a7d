// Port numbers on Windows (the mapping is described in PortList.h). Nothing
// here opens a port: a held port would look missing, and opening a port can
// toggle its modem lines under a device that is attached to it.
#include <windows.h>
// After windows.h, which the SetupAPI headers need.
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "ComName.h"
#include "PortList.h"
#include "Utf16Text.h"

namespace {

constexpr uint16_t kHighestPortNumber = kHighestComNumber;
constexpr const wchar_t kSerialCommKey[] = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
// Room for a kernel device path or a value name, in characters.
constexpr DWORD kMaxNameLength = 512;

bool InRange(unsigned long n) { return n >= kLowestComNumber && n <= kHighestPortNumber; }

bool SameName(const std::wstring& a, const std::string& asciiName) {
  return _wcsicmp(a.c_str(), WideFromUtf8(asciiName).c_str()) == 0;
}

std::string_view AsBytes(const std::vector<BYTE>& data, DWORD length) {
  return {reinterpret_cast<const char*>(data.data()), std::min<size_t>(length, data.size())};
}

// The kernel device behind "COMn" from the DOS device names, "" when none.
// The answer is a list of NUL-ended names; the first is the current target.
std::string DosDeviceTarget(uint16_t n) {
  wchar_t target[kMaxNameLength] = {};
  if (QueryDosDeviceW(WideFromUtf8(ComNameFor(n)).c_str(), target, kMaxNameLength) == 0) return {};
  return Utf8FromWide(target);
}

// The kernel device that the SERIALCOMM map gives for "COMn", "" when none.
// A value's data need not end in a NUL, and may be longer than expected
// (ERROR_MORE_DATA): such a value names no COM port and is passed over.
std::string SerialCommDevice(uint16_t n) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return {};
  }
  const std::string wanted = ComNameFor(n);
  std::string found;
  for (DWORD index = 0;; ++index) {
    wchar_t name[kMaxNameLength];
    std::vector<BYTE> data(kMaxNameLength * sizeof(wchar_t));
    DWORD nameLength = kMaxNameLength;
    DWORD dataLength = static_cast<DWORD>(data.size());
    DWORD type = 0;
    const LSTATUS status =
        RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data.data(), &dataLength);
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS) break;
    if (type != REG_SZ) continue;
    if (SameName(WideFromValueBytes(AsBytes(data, dataLength)), wanted)) {
      found = Utf8FromWide(std::wstring_view(name, nameLength));
      break;
    }
  }
  RegCloseKey(key);
  return found;
}

// The port name ("COM7") a device's own registry key holds, "" when none.
std::wstring DevicePortName(HDEVINFO devices, SP_DEVINFO_DATA& info) {
  HKEY key = SetupDiOpenDevRegKey(devices, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) return {};
  std::vector<BYTE> data(kMaxNameLength * sizeof(wchar_t));
  DWORD length = static_cast<DWORD>(data.size());
  DWORD type = 0;
  const bool named =
      RegQueryValueExW(key, L"PortName", nullptr, &type, data.data(), &length) == ERROR_SUCCESS;
  RegCloseKey(key);
  if (!named || type != REG_SZ) return {};
  return WideFromValueBytes(AsBytes(data, length));
}

// A device's friendly name. A name longer than the buffer fails with
// ERROR_INSUFFICIENT_BUFFER and the size it needs, and the read is tried once
// more with that size (a name may change between the calls); a device
// without the property fails with ERROR_INVALID_DATA.
std::wstring DeviceFriendlyName(HDEVINFO devices, SP_DEVINFO_DATA& info) {
  constexpr int kSizeAttempts = 2;
  DWORD size = kMaxNameLength * sizeof(wchar_t);
  for (int attempt = 0; attempt < kSizeAttempts; ++attempt) {
    std::vector<BYTE> data(size);
    DWORD type = 0;
    DWORD required = 0;
    if (SetupDiGetDeviceRegistryPropertyW(devices, &info, SPDRP_FRIENDLYNAME, &type, data.data(),
                                          static_cast<DWORD>(data.size()), &required)) {
      if (type != REG_SZ) return {};
      return WideFromValueBytes(AsBytes(data, required == 0 ? size : required));
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || required <= size) return {};
    size = required;
  }
  return {};
}

// The adapter's friendly name ("USB Serial Port (COM7)") from SetupAPI, ""
// when Windows has none for the port. Read in UTF-16: a driver's name may be
// in any script ("USB-SERIAL CH340 (COM7)" is as likely as a Cyrillic one).
std::string FriendlyName(uint16_t n) {
  HDEVINFO devices = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (devices == INVALID_HANDLE_VALUE) return {};
  const std::string wanted = ComNameFor(n);
  std::string found;
  SP_DEVINFO_DATA info{};
  info.cbSize = sizeof info;
  for (DWORD index = 0; found.empty() && SetupDiEnumDeviceInfo(devices, index, &info); ++index) {
    if (!SameName(DevicePortName(devices, info), wanted)) continue;
    found = Utf8FromWide(DeviceFriendlyName(devices, info));
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
  return std::string(kComDevicePrefix) + ComNameFor(n);
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
  return ComNumberFromName(path);
}
