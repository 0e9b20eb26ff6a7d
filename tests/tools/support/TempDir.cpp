#include "TempDir.h"

#include <stdlib.h>

#include <gtest/gtest.h>

TempDir::TempDir() {
  std::string pattern = ::testing::TempDir() + "/zarn-sim-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp " << pattern;
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}
