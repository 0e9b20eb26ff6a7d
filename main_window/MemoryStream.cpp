#include "MemoryStream.h"

#include <algorithm>
#include <cstring>

void TMemoryStream::Write(const void* data, size_t count) {
  if (count == 0) return;
  const size_t start = static_cast<size_t>(position_);
  if (bytes_.size() < start + count) bytes_.resize(start + count);
  std::memcpy(bytes_.data() + start, data, count);
  position_ = static_cast<int64_t>(start + count);
}

size_t TMemoryStream::Read(void* data, size_t count) {
  const size_t start = static_cast<size_t>(position_);
  if (start >= bytes_.size() || count == 0) return 0;
  const size_t n = std::min(count, bytes_.size() - start);
  std::memcpy(data, bytes_.data() + start, n);
  position_ = static_cast<int64_t>(start + n);
  return n;
}
