// A growable block of bytes in memory with one read/write position, for the
// glyph streams that carry bitmap files between the button and memory.
//
// Threads: not synchronised; the window uses its streams on the GUI thread
// only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class TMemoryStream {
 public:
  // Bytes held; a write past the end grows it, nothing shrinks it.
  int64_t Size() const { return static_cast<int64_t>(bytes_.size()); }

  int64_t Position() const { return position_; }
  // A position beyond the end is allowed; a write there fills the gap with
  // zeros first, a read there reads nothing. Negative positions become 0.
  void SetPosition(int64_t position) { position_ = position < 0 ? 0 : position; }

  // Writes `count` bytes at the position and moves the position behind them.
  void Write(const void* data, size_t count);

  // Copies up to `count` bytes from the position onward and moves the
  // position behind them; returns how many bytes were copied.
  size_t Read(void* data, size_t count);

  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  int64_t position_ = 0;
};
