// Bitmap files for button glyphs: the 32-bit layout the glyphs are stored in
// (BITMAPINFOHEADER, pixel data at offset 54, bottom-up BGRA rows, no colour
// table), read and written without Qt's BMP plug-in so that alpha survives a
// save/load round trip exactly.
//
// Threads: plain functions on caller-owned data; any thread.
#pragma once

#include <QByteArray>
#include <QImage>

#include <cstddef>
#include <cstdint>

#include "Adexcept.h"
#include "MemoryStream.h"

// A byte block that is not a bitmap this program can show.
class EInvalidGraphic : public Exception {
 public:
  EInvalidGraphic() : Exception("Bitmap image is not valid") {}
  const char* ClassName() const override { return "EInvalidGraphic"; }
};

// Decodes one bitmap file. 32- and 24-bit uncompressed files are decoded here
// (a 32-bit file whose alpha bytes are all 0 counts as opaque); other kinds go
// to Qt's reader. Returns a Format_ARGB32 image. Raises EInvalidGraphic for
// anything malformed, truncated or absurdly large.
QImage DecodeBitmapFile(const uint8_t* data, size_t size);

// Encodes `image` as a 32-bit bitmap file with alpha: 54 + 4 * w * h bytes.
QByteArray EncodeBitmapFile32(const QImage& image);

// Reads one bitmap file from the stream's position onward (its length comes
// from the file header) and leaves the position behind it. Raises
// EInvalidGraphic when the bytes there are not a whole bitmap file; the
// position has then moved past what was read.
QImage LoadBitmapFromStream(TMemoryStream& stream);

// Writes `image` as a 32-bit bitmap file at the stream's position.
void SaveBitmapToStream(const QImage& image, TMemoryStream& stream);
