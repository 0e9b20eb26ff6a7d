// Thread names on Windows: SetThreadDescription, which debuggers and crash
// dumps show. It exists from Windows 10 1607 on, so it is looked up at run
// time; on older systems a name is simply not kept. Some Windows 10 builds
// export it from KernelBase.dll only, so both modules are asked.
#include <windows.h>

#include "../ThreadName.h"
#include "win32/Utf16Text.h"

namespace {

using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
using GetDescription = HRESULT(WINAPI*)(HANDLE, PWSTR*);

// Where the thread description calls may live, in the order asked. Both
// modules are loaded in every process.
constexpr const wchar_t* kDescriptionModules[] = {L"kernel32.dll", L"KernelBase.dll"};

template <typename Function>
Function KernelFunction(const char* name) {
  for (const wchar_t* module : kDescriptionModules) {
    HMODULE handle = GetModuleHandleW(module);
    if (handle == nullptr) continue;
    if (FARPROC found = GetProcAddress(handle, name)) {
      return reinterpret_cast<Function>(reinterpret_cast<void*>(found));
    }
  }
  return nullptr;
}

}  // namespace

bool NameCurrentThread(const std::string& name) {
  static const auto set = KernelFunction<SetDescription>("SetThreadDescription");
  if (set == nullptr) return false;
  return SUCCEEDED(set(GetCurrentThread(), WideFromUtf8(name).c_str()));
}

std::string CurrentThreadName() {
  static const auto get = KernelFunction<GetDescription>("GetThreadDescription");
  if (get == nullptr) return "";
  PWSTR description = nullptr;
  if (FAILED(get(GetCurrentThread(), &description)) || description == nullptr) return "";
  std::string name = Utf8FromWide(description);
  LocalFree(description);
  return name;
}
