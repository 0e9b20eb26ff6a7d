// OpenRegularFile on POSIX: the kind is read with stat() for a clear word,
// the open is non-blocking (a FIFO opened for reading returns at once), and
// the kind is read again from the open descriptor, so a path swapped for a
// FIFO between the two looks is still refused. O_NONBLOCK is cleared before
// the descriptor becomes a stream.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "RegularFile.h"

namespace {

std::string SystemText(int error) { return std::generic_category().message(error); }

// Empty for a regular file, else the sentence that says what `mode` is.
std::string NotRegular(mode_t mode) {
  if (S_ISREG(mode)) return "";
  const char* kind = "a special file";
  if (S_ISDIR(mode)) kind = "a directory";
  if (S_ISFIFO(mode)) kind = "a named pipe (FIFO)";
  if (S_ISSOCK(mode)) kind = "a socket";
  if (S_ISCHR(mode)) kind = "a character device";
  if (S_ISBLK(mode)) kind = "a block device";
  return std::string("it is ") + kind + ", not a regular file";
}

}  // namespace

std::FILE* OpenRegularFile(const std::string& path, std::string& problem) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    problem = SystemText(errno);
    return nullptr;
  }
  if (problem = NotRegular(info.st_mode); !problem.empty()) return nullptr;

  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    problem = SystemText(errno);
    return nullptr;
  }
  const auto fail = [&](std::string why) {
    close(fd);
    problem = std::move(why);
    return nullptr;
  };
  if (fstat(fd, &info) != 0) return fail(SystemText(errno));
  if (std::string why = NotRegular(info.st_mode); !why.empty()) return fail(why);
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return fail(SystemText(errno));
  std::FILE* file = fdopen(fd, "rb");
  if (file == nullptr) return fail(SystemText(errno));
  return file;
}
