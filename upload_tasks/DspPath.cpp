#include "DspPath.h"

#include <cctype>

namespace {

constexpr char kDspSuffix[] = ".DSP";
constexpr size_t kDspSuffixLength = sizeof kDspSuffix - 1;

}  // namespace

bool IsDspPath(const std::string& path) {
  const std::string tail =
      path.size() > kDspSuffixLength ? path.substr(path.size() - kDspSuffixLength) : path;
  std::string upper;
  for (char c : tail) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper == kDspSuffix;
}
