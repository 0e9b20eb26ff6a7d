// Both directions through MultiByteToWideChar/WideCharToMultiByte with
// CP_UTF8. For CP_UTF8 the only flag either call takes besides 0 is the
// "fail on invalid input" one, and the default-character arguments must be
// null; without that flag invalid input turns into U+FFFD. A length of 0 is
// an invalid parameter to both calls, so the empty text never reaches them.
// Each size is an int.
#include <windows.h>

#include <climits>
#include <cstring>
#include <stdexcept>

#include "Utf16Text.h"

namespace {

int CallLength(size_t length) {
  if (length > static_cast<size_t>(INT_MAX)) {
    throw std::length_error("text too long for a Windows conversion");
  }
  return static_cast<int>(length);
}

}  // namespace

std::wstring WideFromUtf8(std::string_view text) {
  if (text.empty()) return {};
  const int inLength = CallLength(text.size());
  const int needed = MultiByteToWideChar(CP_UTF8, 0, text.data(), inLength, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  const int written = MultiByteToWideChar(CP_UTF8, 0, text.data(), inLength, wide.data(), needed);
  wide.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return wide;
}

std::string Utf8FromWide(std::wstring_view text) {
  if (text.empty()) return {};
  const int inLength = CallLength(text.size());
  const int needed =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), inLength, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string narrow(static_cast<size_t>(needed), '\0');
  const int written = WideCharToMultiByte(CP_UTF8, 0, text.data(), inLength, narrow.data(), needed,
                                          nullptr, nullptr);
  narrow.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return narrow;
}

std::wstring WideFromValueBytes(std::string_view bytes) {
  std::wstring wide(bytes.size() / sizeof(wchar_t), L'\0');
  std::memcpy(wide.data(), bytes.data(), wide.size() * sizeof(wchar_t));
  const size_t end = wide.find(L'\0');
  if (end != std::wstring::npos) wide.resize(end);
  return wide;
}
