// FormatMessage with the system table only: numbers it does not know give ""
// instead of a text about a missing message resource.
#include <windows.h>

#include "SystemErrorText.h"

namespace {
constexpr DWORD kMaxDescriptionLength = 512;
}  // namespace

std::string SystemErrorDescription(int number) {
  if (number < 0) return {};
  char text[kMaxDescriptionLength] = {};
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     static_cast<DWORD>(number), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text,
                     kMaxDescriptionLength, nullptr);
  return std::string(text, length);
}
