// Builds ZARN images for the upload tests (a TempDir of the test's own writes
// them to files: tests run in parallel, so no fixed paths).
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
