// A fresh directory under the system's temp folder, removed with its content.
#pragma once

#include <filesystem>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};
