#include <limits.h>
#include <unistd.h>

#include "../HostName.h"

namespace {
// POSIX leaves HOST_NAME_MAX optional; 255 is the longest name it allows.
constexpr size_t kMaxHostName = 256;
}  // namespace

std::string ThisHostName() {
  char name[kMaxHostName + 1] = {};
  if (gethostname(name, kMaxHostName) != 0) return {};
  return name;
}
