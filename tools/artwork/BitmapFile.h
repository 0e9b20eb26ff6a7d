#pragma once
// Windows bitmap files written byte by byte, so each picture has exactly the
// layout the window expects: a 14-byte file header, a 40-byte information
// header, 3780 pixels per metre both ways, bottom-up rows padded to 4 bytes.

#include <QByteArray>
#include <QImage>

namespace artwork {

// 32 bits per pixel, BGRA with straight (not premultiplied) alpha, no colour
// table, image-size field 0. A 48 x 48 picture makes a 9270-byte file.
QByteArray EncodeBitmap32(const QImage& image);

// 24 bits per pixel, BGR, no colour table.
QByteArray EncodeBitmap24(const QImage& image);

// 8 bits per pixel with the image's colour table (at most 256 entries).
// `image` must be QImage::Format_Indexed8.
QByteArray EncodeBitmap8(const QImage& image);

}  // namespace artwork
