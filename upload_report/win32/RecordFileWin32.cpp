// RecordFile on Windows: CreateFileW (the UTF-8 path as UTF-16) with
// OPEN_ALWAYS, LockFileEx over the whole possible length (exclusive, waiting),
// ReadFile at an offset, SetEndOfFile, WriteFile at the end and
// FlushFileBuffers. The lock covers every byte, so a second process waits in
// its own LockFileEx until the first has unlocked.
#include <windows.h>

#include <system_error>
#include <vector>

#include "../RecordFile.h"

namespace {

// The lock covers offsets 0 to 2^64 - 1: the whole file, however it grows.
constexpr DWORD kWholeRangeLow = MAXDWORD;
constexpr DWORD kWholeRangeHigh = MAXDWORD;

std::string SystemText(DWORD error) {
  return std::system_category().message(static_cast<int>(error));
}

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                         static_cast<int>(utf8.size()), nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                      wide.data(), length);
  return wide;
}

OVERLAPPED At(int64_t offset) {
  OVERLAPPED overlapped{};
  overlapped.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset) & MAXDWORD);
  overlapped.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
  return overlapped;
}

class Win32RecordFile final : public RecordFile {
 public:
  explicit Win32RecordFile(HANDLE handle) : handle_(handle) {}
  ~Win32RecordFile() override {
    OVERLAPPED whole = At(0);
    UnlockFileEx(handle_, 0, kWholeRangeLow, kWholeRangeHigh, &whole);
    CloseHandle(handle_);
  }

  int64_t Size() override {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle_, &size)) return Failed();
    return size.QuadPart;
  }

  int64_t ReadAt(int64_t offset, void* buffer, int64_t count) override {
    OVERLAPPED at = At(offset);
    DWORD got = 0;
    if (!ReadFile(handle_, buffer, static_cast<DWORD>(count), &got, &at)) {
      if (GetLastError() == ERROR_HANDLE_EOF) return 0;
      return Failed();
    }
    return got;
  }

  bool Truncate(int64_t size) override {
    LARGE_INTEGER to{};
    to.QuadPart = size;
    if (SetFilePointerEx(handle_, to, nullptr, FILE_BEGIN) && SetEndOfFile(handle_)) return true;
    Failed();
    return false;
  }

  bool Append(const std::string& bytes) override {
    size_t done = 0;
    while (done < bytes.size()) {
      const int64_t end = Size();
      if (end < 0) return false;
      OVERLAPPED at = At(end);
      DWORD wrote = 0;
      if (!WriteFile(handle_, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &wrote,
                     &at) ||
          wrote == 0) {
        Failed();
        return false;
      }
      done += wrote;
    }
    return true;
  }

  bool Sync() override {
    if (FlushFileBuffers(handle_)) return true;
    Failed();
    return false;
  }

  std::string LastError() const override { return lastError_; }

 private:
  int64_t Failed() {
    lastError_ = SystemText(GetLastError());
    return -1;
  }

  const HANDLE handle_;
  std::string lastError_;
};

}  // namespace

std::unique_ptr<RecordFile> RecordFile::OpenLocked(const std::string& path, std::string& error) {
  const std::wstring wide = Wide(path);
  if (wide.empty()) {
    error = SystemText(ERROR_INVALID_NAME);
    return nullptr;
  }
  const HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = SystemText(GetLastError());
    return nullptr;
  }
  OVERLAPPED whole = At(0);
  if (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK, 0, kWholeRangeLow, kWholeRangeHigh, &whole)) {
    error = SystemText(GetLastError());
    CloseHandle(handle);
    return nullptr;
  }
  return std::make_unique<Win32RecordFile>(handle);
}
