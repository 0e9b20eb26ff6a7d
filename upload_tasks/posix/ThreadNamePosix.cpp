#include "../ThreadName.h"

#include <pthread.h>

namespace {
// Linux keeps at most 15 characters and the terminating zero.
constexpr size_t kMaxThreadNameLength = 15;
}  // namespace

bool NameCurrentThread(const std::string& name) {
  return pthread_setname_np(pthread_self(), name.substr(0, kMaxThreadNameLength).c_str()) == 0;
}

std::string CurrentThreadName() {
  char name[kMaxThreadNameLength + 1] = {};
  if (pthread_getname_np(pthread_self(), name, sizeof name) != 0) return "";
  return name;
}
