#include "ByteRing.h"

#include <algorithm>
#include <cstring>

std::size_t TByteRing::Used() const {
  if (full_) return Size();
  if (Size() == 0) return 0;
  return (writePos_ + Size() - readPos_) % Size();
}

std::size_t TByteRing::RoomBeforeWrap() const {
  if (full_) return 0;
  return readPos_ > writePos_ ? readPos_ - writePos_ : Size() - writePos_;
}

void TByteRing::Advance(std::size_t length) {
  if (length == 0) return;
  writePos_ = (writePos_ + length) % Size();
  full_ = writePos_ == readPos_;
}

std::size_t TByteRing::Write(const uint8_t* bytes, std::size_t length) {
  return Fill(length, [&bytes](uint8_t* at, std::size_t room) {
    std::memcpy(at, bytes, room);
    bytes += room;
    return room;
  });
}

bool TByteRing::Peek(uint8_t* to, std::size_t length) const {
  if (length > Used()) return false;
  if (length == 0) return true;
  const std::size_t first = std::min(length, Size() - readPos_);
  std::memcpy(to, data_.data() + readPos_, first);
  std::memcpy(to + first, data_.data(), length - first);
  return true;
}

bool TByteRing::Take(uint8_t* to, std::size_t length) {
  if (!Peek(to, length)) return false;
  if (length != 0) {
    readPos_ = (readPos_ + length) % Size();
    full_ = false;
  }
  return true;
}

std::vector<uint8_t> TByteRing::TakeAll() {
  std::vector<uint8_t> all(Used());
  Peek(all.data(), all.size());
  writePos_ = 0;
  readPos_ = 0;
  full_ = false;
  return all;
}

void TByteRing::Clear() {
  readPos_ = writePos_;
  full_ = false;
}
