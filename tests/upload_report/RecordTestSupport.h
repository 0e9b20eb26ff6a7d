// What the record tests share: a scratch folder of their own, reading a
// record back as whole rows, and rows of the record's width. Portable: paths
// are UTF-8 strings and reach the file system as std::filesystem::u8path,
// so the Windows build opens them through the wide calls.
#pragma once

#include <string>
#include <vector>

namespace record_test {

using Strings = std::vector<std::string>;
using Rows = std::vector<Strings>;

// A new empty folder under the system's temporary folder, removed with all it
// holds when the object goes.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

std::string ReadAll(const std::string& path);
// Writes `bytes` to `path`, at its end when `append`.
void WriteRaw(const std::string& path, const std::string& bytes, bool append);
// The record parsed; fails the test when it is not whole rows of the
// record's columns under one header. The rows after the header.
Rows ReadRecord(const std::string& path);
size_t Column(const std::string& name);
// A row of the record's width whose first field names it and whose `file`
// column carries `payload`.
Strings RowOf(const std::string& id, const std::string& payload = "x");

}  // namespace record_test
