#pragma once
// Windows bitmap files written byte by byte, so each picture has exactly the
// layout the window expects: a 14-byte file header, a 40-byte information
// header, 3780 pixels per metre both ways, bottom-up rows padded to 4 bytes.

#include <QByteArray>
#include <QImage>
#include <QList>

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

namespace artwork {

// A Windows icon file (.ico) holding one 32-bit image per picture: each a
// 40-byte information header of twice the picture's height, the BGRA pixels
// with straight alpha bottom-up, then the 1-bit mask (set where alpha is
// below half), rows padded to 4 bytes. Pictures of at most 256 x 256.
QByteArray EncodeIcon(const QList<QImage>& pictures);

}  // namespace artwork
