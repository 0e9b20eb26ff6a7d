// RecordFile on POSIX: open(O_RDWR | O_CREAT | O_APPEND), flock(LOCK_EX),
// pread, ftruncate, write and fsync. O_APPEND puts every write at the end
// even if another process that ignores the lock has written meanwhile.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "../RecordFile.h"

namespace {

// rw-r--r-- before the umask: a record others on the bench may read.
constexpr mode_t kNewFileMode = 0644;

std::string SystemText(int error) { return std::generic_category().message(error); }

class PosixRecordFile final : public RecordFile {
 public:
  explicit PosixRecordFile(int fd) : fd_(fd) {}
  ~PosixRecordFile() override {
    flock(fd_, LOCK_UN);
    close(fd_);
  }

  int64_t Size() override {
    struct stat info {};
    if (fstat(fd_, &info) != 0) return Failed();
    return info.st_size;
  }

  int64_t ReadAt(int64_t offset, void* buffer, int64_t count) override {
    int64_t done = 0;
    while (done < count) {
      const ssize_t got =
          pread(fd_, static_cast<char*>(buffer) + done, static_cast<size_t>(count - done),
                static_cast<off_t>(offset + done));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return Failed();
      if (got == 0) break;
      done += got;
    }
    return done;
  }

  bool Truncate(int64_t size) override {
    if (ftruncate(fd_, static_cast<off_t>(size)) == 0) return true;
    Failed();
    return false;
  }

  bool Append(const std::string& bytes) override {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t wrote = write(fd_, bytes.data() + done, bytes.size() - done);
      if (wrote < 0 && errno == EINTR) continue;
      if (wrote <= 0) {
        if (wrote == 0) errno = EIO;
        Failed();
        return false;
      }
      done += static_cast<size_t>(wrote);
    }
    return true;
  }

  bool Sync() override {
    if (fsync(fd_) == 0) return true;
    Failed();
    return false;
  }

  std::string LastError() const override { return lastError_; }

 private:
  int64_t Failed() {
    lastError_ = SystemText(errno);
    return -1;
  }

  const int fd_;
  std::string lastError_;
};

}  // namespace

std::unique_ptr<RecordFile> RecordFile::OpenLocked(const std::string& path, std::string& error) {
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, kNewFileMode);
  if (fd < 0) {
    error = SystemText(errno);
    return nullptr;
  }
  int locked = 0;
  do {
    locked = flock(fd, LOCK_EX);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    error = SystemText(errno);
    close(fd);
    return nullptr;
  }
  return std::make_unique<PosixRecordFile>(fd);
}
