#include "GlyphBitmap.h"

#include <cstring>
#include <vector>

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;
constexpr size_t kHeadersSize = kFileHeaderSize + kInfoHeaderSize;
constexpr uint32_t kPixelsPerMetre = 3780;  // 96 dots per inch
constexpr int64_t kMaxSide = 8192;          // far beyond any glyph; guards allocations
constexpr uint32_t kBiRgb = 0;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

QImage DecodeUncompressed(const uint8_t* data, size_t size, uint32_t offBits, int64_t width,
                          int64_t height, int bitCount) {
  const bool bottomUp = height > 0;
  const int64_t rows = bottomUp ? height : -height;
  const int64_t stride = ((width * bitCount + 31) / 32) * 4;
  if (offBits > size || static_cast<uint64_t>(stride * rows) > size - offBits)
    throw EInvalidGraphic();

  QImage image(static_cast<int>(width), static_cast<int>(rows), QImage::Format_ARGB32);
  bool anyAlpha = false;
  for (int64_t y = 0; y < rows; ++y) {
    const uint8_t* src = data + offBits + stride * (bottomUp ? rows - 1 - y : y);
    auto* dst = reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(y)));
    for (int64_t x = 0; x < width; ++x) {
      const uint8_t* px = src + x * (bitCount / 8);
      const int alpha = bitCount == 32 ? px[3] : 0xFF;
      anyAlpha = anyAlpha || (bitCount == 32 && alpha != 0);
      dst[x] = qRgba(px[2], px[1], px[0], alpha);
    }
  }
  if (bitCount == 32 && !anyAlpha) {
    // Plain 32-bit files leave the fourth byte 0: they are opaque pictures.
    for (int y = 0; y < image.height(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
      for (int x = 0; x < image.width(); ++x) line[x] |= 0xFF000000u;
    }
  }
  return image;
}

}  // namespace

QImage DecodeBitmapFile(const uint8_t* data, size_t size) {
  if (data == nullptr || size < kHeadersSize || data[0] != 'B' || data[1] != 'M')
    throw EInvalidGraphic();
  const uint32_t fileSize = Le32(data + 2);
  if (fileSize < kHeadersSize || fileSize > size) throw EInvalidGraphic();
  size = fileSize;
  const uint32_t offBits = Le32(data + 10);
  const uint32_t infoSize = Le32(data + 14);
  if (infoSize < kInfoHeaderSize) {
    // Old core headers: leave them to Qt.
    QImage image = QImage::fromData(data, static_cast<int>(size), "BMP");
    if (image.isNull()) throw EInvalidGraphic();
    return image.convertToFormat(QImage::Format_ARGB32);
  }
  const int64_t width = static_cast<int32_t>(Le32(data + 18));
  const int64_t height = static_cast<int32_t>(Le32(data + 22));
  const int bitCount = Le16(data + 28);
  const uint32_t compression = Le32(data + 30);
  if (width <= 0 || width > kMaxSide || height == 0 || height > kMaxSide || height < -kMaxSide)
    throw EInvalidGraphic();
  if (compression == kBiRgb && (bitCount == 32 || bitCount == 24))
    return DecodeUncompressed(data, size, offBits, width, height, bitCount);

  QImage image = QImage::fromData(data, static_cast<int>(size), "BMP");
  if (image.isNull()) throw EInvalidGraphic();
  return image.convertToFormat(QImage::Format_ARGB32);
}

QByteArray EncodeBitmapFile32(const QImage& source) {
  const QImage image = source.convertToFormat(QImage::Format_ARGB32);
  const uint32_t width = static_cast<uint32_t>(image.width());
  const uint32_t height = static_cast<uint32_t>(image.height());
  const uint32_t pixelBytes = width * height * 4;
  QByteArray file(static_cast<qsizetype>(kHeadersSize + pixelBytes), '\0');
  auto* p = reinterpret_cast<uint8_t*>(file.data());
  p[0] = 'B';
  p[1] = 'M';
  PutLe32(p + 2, static_cast<uint32_t>(kHeadersSize + pixelBytes));
  PutLe32(p + 10, static_cast<uint32_t>(kHeadersSize));
  PutLe32(p + 14, static_cast<uint32_t>(kInfoHeaderSize));
  PutLe32(p + 18, width);
  PutLe32(p + 22, height);
  PutLe16(p + 26, 1);
  PutLe16(p + 28, 32);
  PutLe32(p + 30, kBiRgb);
  PutLe32(p + 34, 0);  // image size: may be 0 for uncompressed pixels
  PutLe32(p + 38, kPixelsPerMetre);
  PutLe32(p + 42, kPixelsPerMetre);
  uint8_t* out = p + kHeadersSize;
  for (uint32_t row = 0; row < height; ++row) {
    const auto* line =
        reinterpret_cast<const QRgb*>(image.constScanLine(static_cast<int>(height - 1 - row)));
    for (uint32_t x = 0; x < width; ++x) {
      *out++ = static_cast<uint8_t>(qBlue(line[x]));
      *out++ = static_cast<uint8_t>(qGreen(line[x]));
      *out++ = static_cast<uint8_t>(qRed(line[x]));
      *out++ = static_cast<uint8_t>(qAlpha(line[x]));
    }
  }
  return file;
}

QImage LoadBitmapFromStream(TMemoryStream& stream) {
  uint8_t header[kFileHeaderSize];
  if (stream.Read(header, sizeof header) != sizeof header || header[0] != 'B' || header[1] != 'M')
    throw EInvalidGraphic();
  const uint32_t fileSize = Le32(header + 2);
  if (fileSize < kHeadersSize ||
      static_cast<int64_t>(fileSize) - static_cast<int64_t>(kFileHeaderSize) >
          stream.Size() - stream.Position())
    throw EInvalidGraphic();
  std::vector<uint8_t> file(fileSize);
  std::memcpy(file.data(), header, sizeof header);
  stream.Read(file.data() + kFileHeaderSize, fileSize - kFileHeaderSize);
  return DecodeBitmapFile(file.data(), file.size());
}

void SaveBitmapToStream(const QImage& image, TMemoryStream& stream) {
  const QByteArray file = EncodeBitmapFile32(image);
  stream.Write(file.constData(), static_cast<size_t>(file.size()));
}
