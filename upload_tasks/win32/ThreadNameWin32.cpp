// Thread names on Windows: SetThreadDescription, which debuggers and crash
// dumps show. It exists from Windows 10 1607 on, so it is looked up at run
// time; on older systems a name is simply not kept.
#include <windows.h>

#include "../ThreadName.h"

namespace {

using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
using GetDescription = HRESULT(WINAPI*)(HANDLE, PWSTR*);

template <typename Function>
Function Kernel32Function(const char* name) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(kernel, name)));
}

std::wstring Widen(const std::string& text) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), length);
  wide.pop_back();  // the terminating zero
  return wide;
}

std::string Narrow(const wchar_t* text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string narrow(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), length, nullptr, nullptr);
  narrow.pop_back();
  return narrow;
}

}  // namespace

bool NameCurrentThread(const std::string& name) {
  static const auto set = Kernel32Function<SetDescription>("SetThreadDescription");
  if (set == nullptr) return false;
  return SUCCEEDED(set(GetCurrentThread(), Widen(name).c_str()));
}

std::string CurrentThreadName() {
  static const auto get = Kernel32Function<GetDescription>("GetThreadDescription");
  if (get == nullptr) return "";
  PWSTR description = nullptr;
  if (FAILED(get(GetCurrentThread(), &description)) || description == nullptr) return "";
  std::string name = Narrow(description);
  LocalFree(description);
  return name;
}
