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

// The rows of a 32-bit picture, bottom row first, each pixel as B G R A (no
// padding: a 32-bit row is always a whole number of 4-byte words).
void AppendPixelsBottomUp(QByteArray& out, const QImage& argb32) {
    for (int y = argb32.height() - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const QRgb*>(argb32.constScanLine(y));
        for (int x = 0; x < argb32.width(); ++x) {
            out.append(char(qBlue(row[x])));
            out.append(char(qGreen(row[x])));
            out.append(char(qRed(row[x])));
            out.append(char(qAlpha(row[x])));
        }
    }
}

}  // namespace

QByteArray EncodeBitmap32(const QImage& image) {
    const QImage src = image.convertToFormat(QImage::Format_ARGB32);
    QByteArray out = Headers(src, 32, 0, false);
    AppendPixelsBottomUp(out, src);
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

namespace {

constexpr int kIconDirSize = 6;
constexpr int kIconEntrySize = 16;
constexpr int kLargestIconSide = 256;  // written as 0 in the directory
constexpr int kMaskAlphaLimit = 128;

QByteArray IconImage(const QImage& picture) {
    const QImage src = picture.convertToFormat(QImage::Format_ARGB32);
    const int maskStride = RowStride(src.width(), 1);
    QByteArray out;
    Put32(out, kInfoHeaderSize);
    Put32(out, quint32(src.width()));
    Put32(out, quint32(2 * src.height()));  // the pixels and the mask
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, 0);
    Put32(out, quint32(src.width() * src.height() * 4 + maskStride * src.height()));
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    AppendPixelsBottomUp(out, src);
    for (int y = src.height() - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        QByteArray bits(maskStride, '\0');
        for (int x = 0; x < src.width(); ++x)
            if (qAlpha(row[x]) < kMaskAlphaLimit)
                bits[x / 8] = char(bits[x / 8] | (0x80 >> (x % 8)));
        out.append(bits);
    }
    return out;
}

}  // namespace

QByteArray EncodeIcon(const QList<QImage>& pictures) {
    QList<QByteArray> images;
    for (const QImage& p : pictures) {
        if (p.width() > kLargestIconSide || p.height() > kLargestIconSide)
            throw std::invalid_argument("icon pictures are at most 256 x 256");
        images.append(IconImage(p));
    }
    QByteArray out;
    Put16(out, 0);
    Put16(out, 1);  // icons, not cursors
    Put16(out, quint16(pictures.size()));
    quint32 offset = kIconDirSize + kIconEntrySize * quint32(pictures.size());
    for (int i = 0; i < pictures.size(); ++i) {
        out.append(char(pictures[i].width() % kLargestIconSide));
        out.append(char(pictures[i].height() % kLargestIconSide));
        out.append('\0');  // no colour table
        out.append('\0');
        Put16(out, 1);
        Put16(out, 32);
        Put32(out, quint32(images[i].size()));
        Put32(out, offset);
        offset += quint32(images[i].size());
    }
    for (const QByteArray& image : images)
        out.append(image);
    return out;
}

}  // namespace artwork
