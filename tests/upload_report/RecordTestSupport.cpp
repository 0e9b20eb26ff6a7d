#include "RecordTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "UploadRecord.h"

namespace record_test {

namespace {
std::atomic<int> folders{0};
}  // namespace

ScratchFolder::ScratchFolder() {
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() /
      ("zarn_record_" + std::to_string(stamp) + "_" + std::to_string(++folders));
  std::filesystem::create_directories(folder);
  const std::u8string text = folder.u8string();
  path_.assign(text.begin(), text.end());
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::u8path(path_), ignored);
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteRaw(const std::string& path, const std::string& bytes, bool append) {
  std::ofstream out(std::filesystem::u8path(path),
                    std::ios::binary | (append ? std::ios::app : std::ios::trunc));
  out << bytes;
}

Rows ReadRecord(const std::string& path) {
  const std::string text = ReadAll(path);
  if (!text.empty()) {
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  }
  const auto rows = ParseCsv(text);
  EXPECT_TRUE(rows.has_value());
  if (!rows || rows->empty()) return {};
  EXPECT_EQ(rows->front(), RecordColumns());
  for (const Strings& row : *rows) EXPECT_EQ(row.size(), RecordColumns().size());
  return Rows(rows->begin() + 1, rows->end());
}

size_t Column(const std::string& name) {
  const Strings& columns = RecordColumns();
  return static_cast<size_t>(std::find(columns.begin(), columns.end(), name) - columns.begin());
}

Strings RowOf(const std::string& id, const std::string& payload) {
  Strings row(RecordColumns().size(), "");
  row[0] = id;
  row[Column("file")] = payload;
  return row;
}

}  // namespace record_test
