// TByteRing: the engine's receive and transmit rings. A fixed block of bytes
// with a write position, a read position and a full flag; equal positions
// mean empty unless the flag is set. Bytes come out in the order they went in,
// across the end of the block.
//
// Threads: none of its own; the engine guards each ring with that ring's lock
// (Awuser.h) around every call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class TByteRing {
 public:
  // A ring without room (before the port opens and after it closes).
  TByteRing() = default;
  // `size` bytes, zero-filled and empty. Raises std::bad_alloc.
  explicit TByteRing(std::size_t size) : data_(size, 0) {}

  std::size_t Size() const { return data_.size(); }
  std::size_t Used() const;
  std::size_t Free() const { return Size() - Used(); }
  bool Empty() const { return Used() == 0; }
  bool Full() const { return full_; }

  // Copies as many of `length` bytes in as there is room for, at the write
  // position; the count.
  std::size_t Write(const uint8_t* bytes, std::size_t length);
  // Lets `source(at, room)` put up to `limit` bytes straight into the free
  // room, in at most two pieces (up to the end of the block, then from its
  // start); `source` returns how many it put, and a short piece ends the
  // fill. The count.
  template <class Source>
  std::size_t Fill(std::size_t limit, Source&& source);
  // Copies exactly `length` bytes from the read position; false, and nothing
  // copied, when fewer are in the ring.
  bool Peek(uint8_t* to, std::size_t length) const;
  // Peek, and the bytes leave the ring.
  bool Take(uint8_t* to, std::size_t length);
  // Every byte at once, in order; the ring starts over empty at position 0.
  std::vector<uint8_t> TakeAll();
  // Drops every byte.
  void Clear();

 private:
  // Counts `length` bytes put at the write position.
  void Advance(std::size_t length);
  // The free room that follows the write position without wrapping.
  std::size_t RoomBeforeWrap() const;

  std::vector<uint8_t> data_;
  std::size_t writePos_ = 0;
  std::size_t readPos_ = 0;
  bool full_ = false;
};

template <class Source>
std::size_t TByteRing::Fill(std::size_t limit, Source&& source) {
  if (full_ || Size() == 0) return 0;
  const std::size_t want = limit < Free() ? limit : Free();
  std::size_t filled = 0;
  while (filled < want) {
    const std::size_t piece = want - filled < RoomBeforeWrap() ? want - filled : RoomBeforeWrap();
    if (piece == 0) break;
    const std::size_t put = source(data_.data() + writePos_, piece);
    Advance(put);
    filled += put;
    if (put < piece) break;
  }
  return filled;
}
