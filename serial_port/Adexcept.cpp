// ErrorMsg and the mapping from a negative code to its exception.
#include "Adexcept.h"

#include <cstdlib>

#include "SystemErrorText.h"

namespace {

constexpr std::size_t kMaxSystemTextLength = 255;
constexpr int kLowestInOutErrorMagnitude = 2;
constexpr int kHighestInOutErrorMagnitude = 162;

// The system's own text for an error number, tidied the way a one-line message
// box needs it: control characters blanked, runs of blanks collapsed.
std::string SystemErrorText(int number) {
  const std::string text = SystemErrorDescription(number);
  std::string out;
  for (char raw : text) {
    if (out.size() >= kMaxSystemTextLength) break;
    char c = static_cast<unsigned char>(raw) < 32 ? ' ' : raw;
    if (c == ' ' && !out.empty() && out.back() == ' ') continue;
    out.push_back(c);
  }
  // Windows ends its texts with ".\r\n", which the blanking leaves as a blank.
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

}  // namespace

std::string ErrorMsg(int16_t Code) {
  // Widen before negating: -(-32768) does not fit in 16 bits.
  const int magnitude = std::abs(static_cast<int>(Code));
  std::string text = MessageNumberToString(magnitude);
  if (!text.empty()) return text;
  return SystemErrorText(magnitude);
}

int CheckException(const TApdBaseComponent* /*Component*/, int Code) {
  if (Code >= 0) return Code;
  const std::string message = ErrorMsg(static_cast<int16_t>(Code));
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
  if (Code <= -kLowestInOutErrorMagnitude && Code >= -kHighestInOutErrorMagnitude) {
    throw EInOutError(-Code, ErrorMsg(static_cast<int16_t>(-Code)));
  }
  throw EAPDException(0, "Klest exception");
}
