// SHA-256 (FIPS 180-4), for the fingerprint of an image in zarn-upload's
// --info and in the upload record: a file's identity that a production line
// can compare with its release notes.
//
// One Sha256 object hashes one message and belongs to one thread; the free
// function is pure.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class Sha256 {
 public:
  using Digest = std::array<uint8_t, 32>;

  Sha256();
  // Adds `length` bytes at `data` to the message.
  void Update(const uint8_t* data, size_t length);
  // The digest of everything added; the object is spent afterwards.
  Digest Finish();

 private:
  void Compress(const uint8_t* block);

  std::array<uint32_t, 8> state_;
  std::array<uint8_t, 64> block_{};
  size_t blockFill_ = 0;
  uint64_t messageBytes_ = 0;
};

// Lower-case hex of a digest: 64 characters.
std::string HexDigest(const Sha256::Digest& digest);
