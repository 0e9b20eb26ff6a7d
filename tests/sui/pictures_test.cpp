// The committed pictures: their sizes, depths and bitmap layouts, the key
// pixel of the glyphs, the generated ConnectedGlyphData, the skin compiled
// into the controls, and that rerunning the generator gives the same files.

#include "ConnectedGlyphData.h"
#include "SkinPictures.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <algorithm>
#include <cstdlib>

class PicturesTest : public QObject {
    Q_OBJECT
private slots:
    void bitmapLayout_data();
    void bitmapLayout();
    void glyphKeyPixelAndAlpha_data();
    void glyphKeyPixelAndAlpha();
    void connectedGlyphData();
    void pngPictures_data();
    void pngPictures();
    void windowsIcon();
    void skinIsCompiledIn();
    void generatorReproducesCommittedFiles();
};

namespace {

// Generous: the machine is shared with other test trees.
constexpr int kGeneratorDeadlineMs = 60000;

QByteArray ReadPicture(const QString& name) {
    QFile f(QDir(QStringLiteral(ZARN_PICTURES_DIR)).filePath(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

// Qt's raster engine picks its blending code by processor, so an antialiased
// edge may land one level apart on another machine. Pictures are compared by
// their pixels within this many levels per channel; everything else (the
// bitmaps, the generated source) byte for byte.
constexpr int kRasterLevelTolerance = 2;

// "" when the two pictures match within the tolerance, else where they differ.
QString PixelDifference(const QImage& drawnPicture, const QImage& committedPicture) {
    const QImage a = drawnPicture.convertToFormat(QImage::Format_ARGB32);
    const QImage b = committedPicture.convertToFormat(QImage::Format_ARGB32);
    if (a.isNull() || b.isNull())
        return QStringLiteral("not a readable picture");
    if (a.size() != b.size())
        return QStringLiteral("size differs");
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const int worst = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                        std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
            if (worst > kRasterLevelTolerance)
                return QStringLiteral("pixel %1,%2 differs by %3 levels").arg(x).arg(y).arg(worst);
        }
    return {};
}

QString PixelDifference(const QByteArray& drawn, const QByteArray& committed) {
    return PixelDifference(QImage::fromData(drawn), QImage::fromData(committed));
}

// Every picture of an icon file, in file order (Qt's ico reader).
QList<QImage> IconPictures(const QByteArray& file) {
    QBuffer buffer;
    buffer.setData(file);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    QList<QImage> pictures;
    for (int i = 0; i < reader.imageCount(); ++i) {
        if (!reader.jumpToImage(i))
            break;
        pictures.append(reader.read());
    }
    return pictures;
}

QString IconDifference(const QByteArray& drawn, const QByteArray& committed) {
    const QList<QImage> a = IconPictures(drawn), b = IconPictures(committed);
    if (a.isEmpty() || a.size() != b.size())
        return QStringLiteral("%1 pictures drawn, %2 committed").arg(a.size()).arg(b.size());
    for (int i = 0; i < a.size(); ++i) {
        const QString difference = PixelDifference(a[i], b[i]);
        if (!difference.isEmpty())
            return QStringLiteral("picture %1: %2").arg(i).arg(difference);
    }
    return {};
}

quint32 U32(const QByteArray& b, int at) { return qFromLittleEndian<quint32>(b.constData() + at); }
quint16 U16(const QByteArray& b, int at) { return qFromLittleEndian<quint16>(b.constData() + at); }

}  // namespace

void PicturesTest::bitmapLayout_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("colours");
    for (const char* g : {"connect.bmp", "connected.bmp", "load.bmp", "send.bmp"})
        QTest::newRow(g) << g << 48 << 48 << 32 << 0;
    QTest::newRow("banner") << "banner.bmp" << 305 << 50 << 24 << 0;
    QTest::newRow("progress fill") << "progress_fill.bmp" << 13 << 10 << 8 << 10;
    const char* pieces[] = {"title_left.bmp", "title_caption.bmp", "title_caption_end.bmp",
                            "title_middle.bmp", "title_right.bmp"};
    const int widths[] = {31, 136, 17, 13, 14};
    for (int i = 0; i < 5; ++i)
        QTest::newRow(pieces[i]) << pieces[i] << widths[i] << 31 << 24 << 0;
}

void PicturesTest::bitmapLayout() {
    QFETCH(QString, name);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, bits);
    QFETCH(int, colours);
    const QByteArray b = ReadPicture(name);
    QVERIFY2(b.size() >= 54, qPrintable(name));
    const int stride = ((width * bits + 31) / 32) * 4;
    const int offset = 54 + 4 * colours;
    QCOMPARE(b.left(2), QByteArray("BM"));
    QCOMPARE(U32(b, 2), quint32(b.size()));
    QCOMPARE(U32(b, 2), quint32(offset + stride * height));
    QCOMPARE(U32(b, 10), quint32(offset));
    QCOMPARE(U32(b, 14), 40u);
    QCOMPARE(qint32(U32(b, 18)), width);
    QCOMPARE(qint32(U32(b, 22)), height);  // positive: rows bottom-up
    QCOMPARE(U16(b, 26), quint16(1));
    QCOMPARE(U16(b, 28), quint16(bits));
    QCOMPARE(U32(b, 30), 0u);  // uncompressed
    QCOMPARE(U32(b, 38), 3780u);
    QCOMPARE(U32(b, 42), 3780u);
    QCOMPARE(U32(b, 46), quint32(colours));
    if (bits == 32) {
        QCOMPARE(b.size(), 9270);
        QCOMPARE(U32(b, 34), 0u);  // image-size field
    }
    // Qt's reader agrees on what the file is.
    const QImage img = QImage::fromData(b, "BMP");
    QCOMPARE(img.size(), QSize(width, height));
}

void PicturesTest::glyphKeyPixelAndAlpha_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("red");
    QTest::newRow("connect") << "connect.bmp" << true;
    QTest::newRow("connected") << "connected.bmp" << false;
    QTest::newRow("load") << "load.bmp" << false;
    QTest::newRow("send") << "send.bmp" << false;
}

// Bottom-up BGRA: the top-left pixel is the last row's first four bytes.
void PicturesTest::glyphKeyPixelAndAlpha() {
    QFETCH(QString, name);
    QFETCH(bool, red);
    const QByteArray b = ReadPicture(name);
    QCOMPARE(b.size(), 9270);
    const auto pixel = [&b](int x, int y) {
        const int at = 54 + ((47 - y) * 48 + x) * 4;
        return qRgba(quint8(b[at + 2]), quint8(b[at + 1]), quint8(b[at]), quint8(b[at + 3]));
    };
    QCOMPARE(pixel(0, 0), qRgba(0, 0, 0, 0));
    // Every corner is clear; the disc is opaque and of the button's hue.
    for (const QPoint& c : {QPoint(47, 0), QPoint(0, 47), QPoint(47, 47)})
        QCOMPARE(qAlpha(pixel(c.x(), c.y())), 0);
    int hue = 0, white = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x) {
            if ((x - 23.5) * (x - 23.5) + (y - 23.5) * (y - 23.5) > 18 * 18)
                continue;
            const QRgb p = pixel(x, y);
            QCOMPARE(qAlpha(p), 255);
            if (qRed(p) > 230 && qGreen(p) > 230 && qBlue(p) > 230)
                ++white;
            else if (red ? qRed(p) > qBlue(p) + 60 : qBlue(p) > qRed(p) + 60)
                ++hue;
        }
    QVERIFY2(hue > 400, qPrintable(QString::number(hue)));
    QVERIFY2(white > 60, qPrintable(QString::number(white)));  // the symbol
}

void PicturesTest::connectedGlyphData() {
    QCOMPARE(sizeof(ConnectedGlyphData), size_t(9270));
    const QByteArray file = ReadPicture(QStringLiteral("connected.bmp"));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(ConnectedGlyphData), 9270), file);
}

void PicturesTest::pngPictures_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    for (const char* kind : {"controlbox", "close", "maximize", "minimize"})
        for (const char* state : {"normal", "hover", "pressed"}) {
            const QString n = QStringLiteral("title_%1_%2.png").arg(kind, state);
            QTest::newRow(qPrintable(n)) << n << QSize(18, 18);
        }
    QTest::newRow("icon") << "icon.png" << QSize(32, 32);
    QTest::newRow("desktop icon 64") << "icon_64.png" << QSize(64, 64);
    QTest::newRow("desktop icon 128") << "icon_128.png" << QSize(128, 128);
    for (const char* face : {"normal", "hover", "pressed", "disabled"}) {
        const QString n = QStringLiteral("button_%1.png").arg(face);
        QTest::newRow(qPrintable(n)) << n << QSize(32, 32);
    }
}

void PicturesTest::pngPictures() {
    QFETCH(QString, name);
    QFETCH(QSize, size);
    const QImage img = QImage::fromData(ReadPicture(name), "PNG");
    QCOMPARE(img.size(), size);
    QVERIFY(img.hasAlphaChannel());
    QCOMPARE(img.depth(), 32);
    QCOMPARE(qAlpha(img.pixel(0, 0)), 0);  // round corners show what is behind
}

// The Windows program's icon: one 32-bit picture per size Windows asks for,
// each the same drawing as the desktop icons of that size, its mask set
// exactly where the picture is transparent.
void PicturesTest::windowsIcon() {
    const QByteArray file = ReadPicture(QStringLiteral("zarn-loader.ico"));
    QVERIFY(file.size() > 6);
    QCOMPARE(U16(file, 0), quint16(0));
    QCOMPARE(U16(file, 2), quint16(1));
    const QList<int> sides = {16, 24, 32, 48, 64, 128};
    QCOMPARE(int(U16(file, 4)), sides.size());
    for (int i = 0; i < sides.size(); ++i) {
        const int entry = 6 + 16 * i;
        QCOMPARE(int(quint8(file[entry])), sides[i]);
        QCOMPARE(int(quint8(file[entry + 1])), sides[i]);
        QCOMPARE(U16(file, entry + 6), quint16(32));
        const quint32 size = U32(file, entry + 8), offset = U32(file, entry + 12);
        QVERIFY(offset + size <= quint32(file.size()));
        QCOMPARE(U32(file, int(offset) + 4), quint32(sides[i]));
        QCOMPARE(U32(file, int(offset) + 8), quint32(2 * sides[i]));
        // The mask's first row is the picture's bottom row.
        const int pixels = int(offset) + 40;
        const int maskRow = pixels + sides[i] * sides[i] * 4;
        for (int x = 0; x < sides[i]; ++x) {
            const bool masked = (quint8(file[maskRow + x / 8]) >> (7 - x % 8)) & 1;
            const int alpha = quint8(file[pixels + 4 * x + 3]);
            QCOMPARE(masked, alpha < 128);
        }
    }
    const QList<QImage> pictures = IconPictures(file);
    QCOMPARE(pictures.size(), sides.size());
    const std::pair<int, const char*> sameAs[] = {{2, "icon.png"}, {4, "icon_64.png"}, {5, "icon_128.png"}};
    for (const auto& [index, png] : sameAs) {
        const QString difference =
            PixelDifference(pictures[index], QImage::fromData(ReadPicture(QString::fromLatin1(png))));
        QVERIFY2(difference.isEmpty(), qPrintable(QString::fromLatin1(png) + ": " + difference));
    }
}

void PicturesTest::skinIsCompiledIn() {
    const sui::SkinPictures& skin = sui::Skin();
    const int widths[] = {31, 136, 17, 13, 14};
    for (int i = 0; i < sui::SkinPictures::kTitlePieceCount; ++i)
        QCOMPARE(skin.titlePieces[i].size(), QSize(widths[i], 31));
    for (int k = 0; k < 4; ++k)
        for (int s = 0; s < 3; ++s)
            QCOMPARE(skin.titleButtons[k][s].size(), QSize(18, 18));
    for (const QImage& face : skin.faces)
        QVERIFY(!face.isNull());
    for (const QImage& border : skin.borders)
        QVERIFY(!border.isNull());
    QCOMPARE(skin.banner.size(), QSize(305, 50));
    QCOMPARE(skin.progressFill.size(), QSize(13, 10));
    QCOMPARE(skin.progressFill.format(), QImage::Format_Indexed8);
    QCOMPARE(skin.icon.size(), QSize(32, 32));
}

// A drawing changed without rerunning the generator (or a generator that is
// not deterministic) shows up here.
void PicturesTest::generatorReproducesCommittedFiles() {
    QTemporaryDir out;
    QVERIFY(out.isValid());
    QProcess gen;
    gen.start(QStringLiteral(ZARN_ARTWORK_EXE), {out.path()});
    QVERIFY(gen.waitForFinished(kGeneratorDeadlineMs));
    QCOMPARE(gen.exitStatus(), QProcess::NormalExit);
    QCOMPARE(gen.exitCode(), 0);
    const QStringList written = QDir(out.path()).entryList(QDir::Files, QDir::Name);
    QVERIFY(written.contains(QStringLiteral("connected.bmp")));
    QVERIFY(written.contains(QStringLiteral("ConnectedGlyphData.cpp")));
    for (const QString& name : written) {
        QFile f(QDir(out.path()).filePath(name));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray drawn = f.readAll();
        if (name.endsWith(QStringLiteral(".png"))) {
            const QString difference = PixelDifference(drawn, ReadPicture(name));
            QVERIFY2(difference.isEmpty(), qPrintable(name + ": " + difference));
        } else if (name.endsWith(QStringLiteral(".ico"))) {
            const QString difference = IconDifference(drawn, ReadPicture(name));
            QVERIFY2(difference.isEmpty(), qPrintable(name + ": " + difference));
        } else {
            QVERIFY2(drawn == ReadPicture(name), qPrintable(name + " differs from the committed file"));
        }
    }
}

QTEST_MAIN(PicturesTest)
#include "pictures_test.moc"
