#include "TempDir.h"

#include <cstdlib>
#include <stdexcept>
#include <string>

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zarn-serial-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}
