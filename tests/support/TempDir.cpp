#include "TempDir.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

TempDir::TempDir(const std::string& prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("mkdtemp " + pattern + ": " + std::strerror(errno));
  }
  dir_ = pattern;
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::string TempDir::Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
  const std::string file = (dir_ / name).string();
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return file;
}

std::string TempDir::MakeFifo(const std::string& name) const {
  const std::string path = (dir_ / name).string();
  if (mkfifo(path.c_str(), 0600) != 0) throw std::runtime_error("cannot make the FIFO " + path);
  return path;
}

std::string TempDir::MakeSocket(const std::string& name) const {
  const std::string path = (dir_ / name).string();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) throw std::runtime_error("socket path too long");
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  // The socket file stays after the descriptor is closed.
  const bool bound =
      fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  if (fd >= 0) close(fd);
  if (!bound) throw std::runtime_error("cannot make the socket " + path);
  return path;
}
