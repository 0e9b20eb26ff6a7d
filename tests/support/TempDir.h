// A fresh folder of its own under the system's temp folder (tests run in
// parallel, so nothing uses a fixed path), removed with its content at
// destruction.
//
// Errors: a folder that cannot be made throws std::runtime_error.
// Threads: const members may be used from any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class TempDir {
 public:
  // The folder's name starts with `prefix`, so a leftover tells its maker.
  explicit TempDir(const std::string& prefix = "zarn-test");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  // The path of `name` inside the folder.
  std::filesystem::path operator/(const std::filesystem::path& name) const { return dir_ / name; }
  // Writes `bytes` to the file `name` in the folder; returns its path.
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const;
  // Makes a named pipe (nobody writes to it) or a bound Unix socket `name` in
  // the folder; returns its path.
  std::string MakeFifo(const std::string& name) const;
  std::string MakeSocket(const std::string& name) const;

 private:
  std::filesystem::path dir_;
  std::string path_;
};
