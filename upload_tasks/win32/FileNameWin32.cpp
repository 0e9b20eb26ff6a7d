// The file name of a path on Windows: what follows its last '\' or '/', or,
// for a drive-relative path such as "C:FIRM.DSP", what follows the drive.
// Device and long-path prefixes ("\\?\C:\...", "\\server\share\...") end in a
// separator, so the last separator settles them too.
#include "YmodemBlocks.h"

namespace ymodem {
namespace {

constexpr std::string_view kSeparators = "\\/";
constexpr std::size_t kDrivePrefixLength = 2;  // "C:"

bool HasDrivePrefix(std::string_view path) {
  if (path.size() < kDrivePrefixLength || path[1] != ':') return false;
  const char letter = path[0];
  return (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
}

}  // namespace

std::string_view NameWithoutDirectory(std::string_view path) {
  const std::size_t separator = path.find_last_of(kSeparators);
  if (separator != std::string_view::npos) return path.substr(separator + 1);
  return HasDrivePrefix(path) ? path.substr(kDrivePrefixLength) : path;
}

}  // namespace ymodem
