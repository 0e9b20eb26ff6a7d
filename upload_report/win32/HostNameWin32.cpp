// The DNS host name, as UTF-16 from GetComputerNameExW, turned into UTF-8.
#include <windows.h>

#include <vector>

#include "../HostName.h"

std::string ThisHostName() {
  DWORD length = 0;
  GetComputerNameExW(ComputerNameDnsHostname, nullptr, &length);
  if (length == 0) return {};
  std::vector<wchar_t> wide(length + 1);
  if (!GetComputerNameExW(ComputerNameDnsHostname, wide.data(), &length)) return {};
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(length), nullptr,
                                        0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string name(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(length), name.data(), bytes,
                      nullptr, nullptr);
  return name;
}
