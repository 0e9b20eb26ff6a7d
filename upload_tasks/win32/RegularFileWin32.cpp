// OpenRegularFile on Windows: a directory is told by its attributes; the
// open itself never waits (a pipe with no free instance fails at once), and
// the open handle's type tells a disk file from a pipe or a character device
// (NUL, COM1). Only a disk file becomes a stream. The path is UTF-8 and goes
// to the ...W calls as UTF-16: the ...A calls would take it as the ANSI code
// page and turn every character outside it into '?'.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdint>

#include "RegularFile.h"
#include "SystemErrorText.h"
#include "win32/Utf16Text.h"

namespace {

// The system's text for `error` in UTF-8 and the user's language, without
// the ".\r\n" Windows ends it with (std::system_category's text would be in
// the ANSI code page).
std::string SystemText(DWORD error) {
  std::string text = SystemErrorDescription(static_cast<int>(error));
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text.empty() ? "Unknown error code" : text;
}

std::string NotRegular(const char* kind) {
  return std::string("it is ") + kind + ", not a regular file";
}

}  // namespace

std::FILE* OpenRegularFile(const std::string& path, std::string& problem) {
  const std::wstring widePath = WideFromUtf8(path);
  const DWORD attributes = GetFileAttributesW(widePath.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    problem = NotRegular("a directory");
    return nullptr;
  }
  HANDLE handle = CreateFileW(widePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
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
