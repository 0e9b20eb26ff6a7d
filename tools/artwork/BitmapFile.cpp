#include "BitmapFile.h"

#include <QtEndian>

#include <stdexcept>

namespace artwork {
namespace {

constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;
constexpr qint32 kPixelsPerMetre = 3780;  // 96 dots per inch

void Put16(QByteArray& out, quint16 v) {
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

void Put32(QByteArray& out, quint32 v) {
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

int RowStride(int width, int bitsPerPixel) { return ((width * bitsPerPixel + 31) / 32) * 4; }

QByteArray Headers(const QImage& image, int bitsPerPixel, int colours, bool sizeField) {
    const int stride = RowStride(image.width(), bitsPerPixel);
    const quint32 pixelBytes = quint32(stride) * quint32(image.height());
    const quint32 offset = kFileHeaderSize + kInfoHeaderSize + 4 * colours;
    QByteArray out;
    out.append("BM", 2);
    Put32(out, offset + pixelBytes);
    Put16(out, 0);
    Put16(out, 0);
    Put32(out, offset);
    Put32(out, kInfoHeaderSize);
    Put32(out, quint32(image.width()));
    Put32(out, quint32(image.height()));  // positive height: rows bottom-up
    Put16(out, 1);
    Put16(out, quint16(bitsPerPixel));
    Put32(out, 0);  // no compression
    Put32(out, sizeField ? pixelBytes : 0);
    Put32(out, quint32(kPixelsPerMetre));
    Put32(out, quint32(kPixelsPerMetre));
    Put32(out, quint32(colours));
    Put32(out, 0);
    return out;
}

void PadRow(QByteArray& out, int written, int stride) {
    for (int i = written; i < stride; ++i)
        out.append('\0');
}

}  // namespace

QByteArray EncodeBitmap32(const QImage& image) {
    const QImage src = image.convertToFormat(QImage::Format_ARGB32);
    QByteArray out = Headers(src, 32, 0, false);
    for (int y = src.height() - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        for (int x = 0; x < src.width(); ++x) {
            out.append(char(qBlue(row[x])));
            out.append(char(qGreen(row[x])));
            out.append(char(qRed(row[x])));
            out.append(char(qAlpha(row[x])));
        }
    }
    return out;
}

QByteArray EncodeBitmap24(const QImage& image) {
    const QImage src = image.convertToFormat(QImage::Format_RGB32);
    QByteArray out = Headers(src, 24, 0, true);
    const int stride = RowStride(src.width(), 24);
    for (int y = src.height() - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        for (int x = 0; x < src.width(); ++x) {
            out.append(char(qBlue(row[x])));
            out.append(char(qGreen(row[x])));
            out.append(char(qRed(row[x])));
        }
        PadRow(out, src.width() * 3, stride);
    }
    return out;
}

QByteArray EncodeBitmap8(const QImage& image) {
    if (image.format() != QImage::Format_Indexed8 || image.colorCount() > 256)
        throw std::invalid_argument("EncodeBitmap8 needs an indexed image of at most 256 colours");
    const QList<QRgb> table = image.colorTable();
    QByteArray out = Headers(image, 8, int(table.size()), true);
    for (QRgb c : table) {
        out.append(char(qBlue(c)));
        out.append(char(qGreen(c)));
        out.append(char(qRed(c)));
        out.append('\0');
    }
    const int stride = RowStride(image.width(), 8);
    for (int y = image.height() - 1; y >= 0; --y) {
        out.append(reinterpret_cast<const char*>(image.constScanLine(y)), image.width());
        PadRow(out, image.width(), stride);
    }
    return out;
}

}  // namespace artwork
