#include "ImageBuilder.h"

#include "BigEndian.h"

std::vector<uint8_t> MakeImage(const std::string& nameTag, const std::vector<uint8_t>& body,
                               uint32_t bodySize) {
  std::vector<uint8_t> image(64);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(0xA0 + i);
  WriteBigEndian32(image.data() + 16, bodySize);
  for (size_t i = 32; i < 64; ++i) image[i] = 0;
  for (size_t i = 0; i < nameTag.size() && i < 32; ++i)
    image[32 + i] = static_cast<uint8_t>(nameTag[i]);
  image.insert(image.end(), body.begin(), body.end());
  return image;
}

std::vector<uint8_t> PatternBody(size_t length) {
  std::vector<uint8_t> body(length);
  for (size_t i = 0; i < length; ++i) body[i] = static_cast<uint8_t>((i * 7) ^ (i / 8188 * 31));
  return body;
}
