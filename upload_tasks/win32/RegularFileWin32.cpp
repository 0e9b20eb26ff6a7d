// OpenRegularFile on Windows: a directory is told by its attributes; the
// open itself never waits (a pipe with no free instance fails at once), and
// the open handle's type tells a disk file from a pipe or a character device
// (NUL, COM1). Only a disk file becomes a stream.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <system_error>

#include "RegularFile.h"

namespace {

std::string SystemText(DWORD error) {
  return std::system_category().message(static_cast<int>(error));
}

std::string NotRegular(const char* kind) {
  return std::string("it is ") + kind + ", not a regular file";
}

}  // namespace

std::FILE* OpenRegularFile(const std::string& path, std::string& problem) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    problem = NotRegular("a directory");
    return nullptr;
  }
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    problem = SystemText(GetLastError());
    return nullptr;
  }
  const char* kind = nullptr;
  switch (GetFileType(handle)) {
    case FILE_TYPE_DISK: break;
    case FILE_TYPE_PIPE: kind = "a named pipe (FIFO)"; break;
    case FILE_TYPE_CHAR: kind = "a character device"; break;
    default: kind = "a special file"; break;
  }
  if (kind != nullptr) {
    CloseHandle(handle);
    problem = NotRegular(kind);
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    problem = SystemText(ERROR_TOO_MANY_OPEN_FILES);
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, "rb");
  if (file == nullptr) {
    _close(fd);  // closes the handle too
    problem = SystemText(ERROR_NOT_ENOUGH_MEMORY);
  }
  return file;
}
