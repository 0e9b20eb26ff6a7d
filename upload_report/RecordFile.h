// A record file held open for one append: opened (created when missing) for
// reading and writing, locked exclusively against every other process that
// locks it the same way, and unlocked and closed when the object goes. The
// backend file is chosen by CMake per operating system: flock() on Linux,
// LockFileEx() on Windows (the path goes to CreateFileW as UTF-16 there).
//
// Threads: one object belongs to one thread. Open waits for the lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class RecordFile {
 public:
  // Opens and locks `path` (UTF-8). Nothing, with `error` set, when it
  // cannot.
  static std::unique_ptr<RecordFile> OpenLocked(const std::string& path, std::string& error);
  virtual ~RecordFile() = default;

  // The file's length, -1 on failure.
  virtual int64_t Size() = 0;
  // Reads up to `count` bytes from `offset`; the number read, -1 on failure.
  virtual int64_t ReadAt(int64_t offset, void* buffer, int64_t count) = 0;
  // Cuts the file to `size` bytes.
  virtual bool Truncate(int64_t size) = 0;
  // Writes `bytes` at the end with one system call where the system allows
  // (it loops only over a short write); false when not all of it was written.
  virtual bool Append(const std::string& bytes) = 0;
  // Flushes the file's data to the disk.
  virtual bool Sync() = 0;
  // The system's words for the last failure.
  virtual std::string LastError() const = 0;
};
