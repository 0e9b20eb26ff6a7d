// The process-wide handle of the image file being uploaded. Both task kinds
// share it; only one task runs at a time, so only one thread uses it at a
// time (the task's body, then its termination notice on the main thread).
//
// The handle is closed exactly once: the first Close releases the file and
// marks the handle closed, a Close of a closed handle does nothing. The
// termination notice closes it when the body left it open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

class ImageFile {
 public:
  ImageFile() = default;
  ~ImageFile();
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;

  // Opens `path` read-only at position 0, closing a file still open first.
  // Only a regular file is opened, and the open never blocks (see
  // RegularFile.h). Returns false (and leaves the handle closed) when it
  // cannot be opened or is no regular file; LastError() then tells why.
  bool Open(const std::string& path);
  bool IsOpen() const { return file_ != nullptr; }

  // The position of the end of the file, or -1 when it cannot be found or no
  // file is open. Leaves the position at the end.
  int64_t Length();
  // Moves the position to `offset` from the start; false on failure.
  bool Seek(int64_t offset);
  // Reads up to `count` bytes at the position and moves on. Returns the number
  // read (0 at the end), or -1 on a read error or when no file is open.
  int64_t Read(void* buffer, size_t count);

  // Closes the file if it is open; does nothing otherwise.
  void Close();

  // Text of the system error behind the last failed Open, Length, Seek or Read.
  const std::string& LastError() const { return lastError_; }
  // How many times a file was really closed since the process started; lets a
  // test tell that a file was closed exactly once.
  int CloseCount() const { return closeCount_; }

 private:
  void NoteError(int errorNumber);

  std::FILE* file_ = nullptr;
  std::string lastError_;
  int closeCount_ = 0;
};

// The one handle of the process.
ImageFile& TheImageFile();
