// FormatMessageW with the system table only: numbers it does not know give ""
// instead of a text about a missing message resource. The text comes in the
// user's language where Windows has it (see SystemMessageLookup.h) and
// leaves as UTF-8. The system allocates the buffer, so no text is too long
// for it (a fixed buffer fails with ERROR_INSUFFICIENT_BUFFER instead).
#include <windows.h>

#include "SystemErrorText.h"
#include "SystemMessageLookup.h"
#include "Utf16Text.h"

std::wstring FirstSystemMessage(const MessageInLanguage& formatIn) {
  for (const DWORD language : kSystemMessageLanguages) {
    if (std::optional<std::wstring> text = formatIn(language)) return *text;
  }
  return {};
}

namespace {

std::optional<std::wstring> FormatSystemMessage(DWORD number, DWORD language) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
      nullptr, number, language, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (length == 0 || buffer == nullptr) {
    if (buffer != nullptr) LocalFree(buffer);
    return std::nullopt;
  }
  std::wstring text(buffer, length);
  LocalFree(buffer);
  return text;
}

}  // namespace

std::string SystemErrorDescription(int number) {
  if (number < 0) return {};
  const auto code = static_cast<DWORD>(number);
  return Utf8FromWide(
      FirstSystemMessage([code](DWORD language) { return FormatSystemMessage(code, language); }));
}
