// glibc keeps the plain description apart from strerror's "Unknown error N"
// fallback, which would put a made-up text in a message box.
#include <cstring>

#include "SystemErrorText.h"

std::string SystemErrorDescription(int number) {
  const char* text = strerrordesc_np(number);
  return text == nullptr ? std::string() : std::string(text);
}
