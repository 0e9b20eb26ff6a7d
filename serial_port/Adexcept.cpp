// ErrorMsg and the mapping from a negative code to its exception.
#include "Adexcept.h"

#include <cstdlib>

#include "SystemErrorText.h"

namespace {

constexpr std::size_t kMaxSystemTextLength = 255;
constexpr int kLowestInOutErrorMagnitude = 2;
constexpr int kHighestInOutErrorMagnitude = 162;
constexpr const char kGenericFailureMessage[] = "Klest exception";

bool IsInOutErrorCode(int code) {
  return code <= -kLowestInOutErrorMagnitude && code >= -kHighestInOutErrorMagnitude;
}

}  // namespace

// The length of `text` without a UTF-8 character cut off at its end.
std::size_t Utf8CharacterBoundary(const std::string& text) {
  std::size_t start = text.size();
  while (start > 0 && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80) --start;
  if (start == 0) return text.size();
  const auto lead = static_cast<unsigned char>(text[start - 1]);
  const std::size_t needed = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  return text.size() - (start - 1) >= needed ? text.size() : start - 1;
}

// The system's own text for an error number, tidied the way a one-line message
// box needs it: control characters blanked, runs of blanks collapsed.
std::string SystemMessage(int number) {
  const std::string text = SystemErrorDescription(number);
  std::string out;
  for (char raw : text) {
    if (out.size() >= kMaxSystemTextLength) break;
    char c = static_cast<unsigned char>(raw) < 32 ? ' ' : raw;
    if (c == ' ' && !out.empty() && out.back() == ' ') continue;
    out.push_back(c);
  }
  // A text cut at the limit must not end inside a UTF-8 character (system
  // texts in Cyrillic or CJK take two or three bytes a character).
  if (out.size() >= kMaxSystemTextLength) out.resize(Utf8CharacterBoundary(out));
  // Windows ends its texts with ".\r\n", which the blanking leaves as a blank.
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string ErrorMsg(int16_t Code) {
  // Widen before negating: -(-32768) does not fit in 16 bits.
  const int magnitude = std::abs(static_cast<int>(Code));
  std::string text = MessageNumberToString(magnitude);
  if (!text.empty()) return text;
  return SystemMessage(magnitude);
}

std::string CheckExceptionMessage(int Code) {
  if (Code == ecOutOfMemory) return EOutOfMemory().what();
  if (IsInOutErrorCode(Code)) return ErrorMsg(static_cast<int16_t>(-Code));
  switch (Code) {
    case ecBadId:
    case ecCommNotOpen:
    case ecAlreadyOpen:
    case ecNoPortSelected:
    case ecPermissionDenied:
    case ecOutputBufferTooSmall:
    case ecBufferIsEmpty:
    case ecTapiNoMem: return ErrorMsg(static_cast<int16_t>(Code));
    default: return kGenericFailureMessage;
  }
}

void RaiseWithMessage(int Code, const std::string& message) {
  switch (Code) {
    case ecBadId: throw EBadId(Code, message);
    case ecCommNotOpen: throw ECommNotOpen(Code, message);
    case ecAlreadyOpen: throw EAlreadyOpen(Code, message);
    case ecNoPortSelected: throw ENoPortSelected(Code, message);
    case ecPermissionDenied: throw EPermissionDenied(Code, message);
    case ecOutputBufferTooSmall: throw EOutputBufferTooSmall(Code, message);
    case ecBufferIsEmpty: throw EBufferIsEmpty(Code, message);
    case ecTapiNoMem: throw ETapiNoMem(Code, message);
    case ecOutOfMemory: throw EOutOfMemory();
    default: break;
  }
  if (IsInOutErrorCode(Code)) throw EInOutError(-Code, message);
  throw EAPDException(0, kGenericFailureMessage);
}

int CheckException(const TApdBaseComponent* /*Component*/, int Code) {
  if (Code >= 0) return Code;
  RaiseWithMessage(Code, CheckExceptionMessage(Code));
}
