// Builds ZARN image files for the upload tests in a temporary folder of the
// test's own (tests run in parallel, so no fixed paths).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A 64-byte header with `nameTag` at offset 32 and `bodySize` at offset 16
// (big-endian), the other bytes a recognisable pattern, then `body`.
std::vector<uint8_t> MakeImage(const std::string& nameTag, const std::vector<uint8_t>& body,
                               uint32_t bodySize);
inline std::vector<uint8_t> MakeImage(const std::string& nameTag,
                                      const std::vector<uint8_t>& body) {
  return MakeImage(nameTag, body, static_cast<uint32_t>(body.size()));
}
// `length` bytes of a pattern that differs from chunk to chunk.
std::vector<uint8_t> PatternBody(size_t length);

// A folder under the test temp dir, removed with its content at destruction.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& Path() const { return path_; }
  // Writes `bytes` to the file `name` in the folder; returns its path.
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const;

 private:
  std::string path_;
};
