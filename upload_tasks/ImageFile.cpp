#include "ImageFile.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include "RegularFile.h"

ImageFile::~ImageFile() { Close(); }

void ImageFile::NoteError(int errorNumber) {
  lastError_ = std::generic_category().message(errorNumber);
}

bool ImageFile::Open(const std::string& path) {
  Close();
  // Only a regular file: a folder would fail at the first read, a FIFO would
  // block the task, a device has no length worth sending.
  file_ = OpenRegularFile(path, lastError_);
  return file_ != nullptr;
}

int64_t ImageFile::Length() {
  if (file_ == nullptr) return -1;
  errno = 0;
  if (std::fseek(file_, 0, SEEK_END) != 0) {
    NoteError(errno);
    return -1;
  }
  const long end = std::ftell(file_);
  if (end < 0) {
    NoteError(errno);
    return -1;
  }
  return end;
}

bool ImageFile::Seek(int64_t offset) {
  if (file_ == nullptr) return false;
  errno = 0;
  if (std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) {
    NoteError(errno);
    return false;
  }
  return true;
}

int64_t ImageFile::Read(void* buffer, size_t count) {
  if (file_ == nullptr) return -1;
  errno = 0;
  const size_t got = std::fread(buffer, 1, count, file_);
  if (got < count && std::ferror(file_)) {
    NoteError(errno != 0 ? errno : EIO);
    std::clearerr(file_);
    return -1;
  }
  return static_cast<int64_t>(got);
}

void ImageFile::Close() {
  if (file_ == nullptr) return;
  std::fclose(file_);
  file_ = nullptr;
  ++closeCount_;
}

ImageFile& TheImageFile() {
  static ImageFile file;
  return file;
}
