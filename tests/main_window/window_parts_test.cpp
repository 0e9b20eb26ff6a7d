// The window's building blocks: the glyph bitmap files and the streams that
// carry them, the file dialog record, and the desktop's message boxes.
#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstring>

#include "BoxPresenter.h"
#include "ConnectedGlyphData.h"
#include "FileDialogs.h"
#include "GlyphBitmap.h"
#include "MainWindowLayout.h"
#include "MemoryStream.h"

namespace {

constexpr int kDeadlineMs = 10000;

// A picture with every alpha level and colour channel in use.
QImage TestPicture(int w, int h) {
  QImage image(w, h, QImage::Format_ARGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      image.setPixel(x, y, qRgba(x * 5, y * 5, (x + y) & 0xFF, (x * 7 + y * 3 + 1) & 0xFF));
  return image;
}

uint32_t Le32At(const QByteArray& b, int offset) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(b[offset + i]);
  return v;
}
void PutLe32At(QByteArray& b, int offset, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[offset + i] = static_cast<char>(v >> (8 * i));
}

QImage Decode(const QByteArray& bytes) {
  return DecodeBitmapFile(reinterpret_cast<const uint8_t*>(bytes.constData()),
                          static_cast<size_t>(bytes.size()));
}

}  // namespace

class WindowPartsTest : public QObject {
  Q_OBJECT

 private slots:
  void glyphFileLayout() {
    const QByteArray file = EncodeBitmapFile32(TestPicture(48, 48));
    QCOMPARE(file.size(), 9270);
    QCOMPARE(file.left(2), QByteArray("BM"));
    QCOMPARE(Le32At(file, 2), 9270u);
    QCOMPARE(Le32At(file, 10), 54u);
    QCOMPARE(Le32At(file, 14), 40u);
    QCOMPARE(Le32At(file, 18), 48u);
    QCOMPARE(Le32At(file, 22), 48u);
    QCOMPARE(Le32At(file, 28) & 0xFFFF, 32u);
    QCOMPARE(Le32At(file, 30), 0u);
    QCOMPARE(Le32At(file, 34), 0u);
    QCOMPARE(Le32At(file, 38), 3780u);
    QCOMPARE(Le32At(file, 42), 3780u);
    // Bottom-up rows, BGRA: the first pixel stored is the bottom-left one.
    const QRgb bottomLeft = TestPicture(48, 48).pixel(0, 47);
    QCOMPARE(static_cast<uint8_t>(file[54]), static_cast<uint8_t>(qBlue(bottomLeft)));
    QCOMPARE(static_cast<uint8_t>(file[57]), static_cast<uint8_t>(qAlpha(bottomLeft)));
  }

  void glyphRoundTripKeepsEveryPixel_data() {
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::newRow("glyph size") << 48 << 48;
    QTest::newRow("odd width") << 3 << 5;
    QTest::newRow("one pixel") << 1 << 1;
  }
  void glyphRoundTripKeepsEveryPixel() {
    QFETCH(int, w);
    QFETCH(int, h);
    const QImage picture = TestPicture(w, h);
    QCOMPARE(Decode(EncodeBitmapFile32(picture)), picture);
  }

  void layoutGlyphsAndConnectedGlyphDecode() {
    for (const QString& path : {MainWindowLayout::kConnectGlyph, MainWindowLayout::kLoadGlyph,
                                MainWindowLayout::kSendGlyph}) {
      const QImage glyph = MainWindowLayout::LoadGlyphResource(path);
      QVERIFY2(!glyph.isNull(), qPrintable(path));
      QCOMPARE(glyph.size(), QSize(48, 48));
    }
    const QImage connected = DecodeBitmapFile(ConnectedGlyphData, sizeof ConnectedGlyphData);
    QCOMPARE(connected.size(), QSize(48, 48));
    QVERIFY(connected != MainWindowLayout::LoadGlyphResource(MainWindowLayout::kConnectGlyph));
  }

  void plainThirtyTwoBitIsOpaque() {
    QByteArray file = EncodeBitmapFile32(TestPicture(4, 4));
    for (int i = 54 + 3; i < file.size(); i += 4) file[i] = 0;
    const QImage image = Decode(file);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) QCOMPARE(qAlpha(image.pixel(x, y)), 255);
  }

  void twentyFourBitTopDown() {
    // 2 x 2, 24-bit, top-down (negative height), rows padded to 8 bytes.
    QByteArray file(54 + 16, '\0');
    file[0] = 'B';
    file[1] = 'M';
    PutLe32At(file, 2, static_cast<uint32_t>(file.size()));
    PutLe32At(file, 10, 54);
    PutLe32At(file, 14, 40);
    PutLe32At(file, 18, 2);
    PutLe32At(file, 22, static_cast<uint32_t>(-2));
    file[26] = 1;
    file[28] = 24;
    const char rows[16] = {0, 0, '\xFF', 0, '\xFF', 0, 0, 0, '\xFF', 0, 0, 1, 2, 3, 0, 0};
    std::memcpy(file.data() + 54, rows, sizeof rows);
    const QImage image = Decode(file);
    QCOMPARE(image.size(), QSize(2, 2));
    QCOMPARE(image.pixel(0, 0), qRgb(255, 0, 0));
    QCOMPARE(image.pixel(1, 0), qRgb(0, 255, 0));
    QCOMPARE(image.pixel(0, 1), qRgb(0, 0, 255));
    QCOMPARE(image.pixel(1, 1), qRgb(3, 2, 1));
  }

  void malformedBitmapsAreRefused_data() {
    QTest::addColumn<QByteArray>("file");
    const QByteArray good = EncodeBitmapFile32(TestPicture(4, 4));
    QByteArray wrongSignature = good;
    wrongSignature[0] = 'X';
    QByteArray sizeBeyondData = good;
    PutLe32At(sizeBeyondData, 2, static_cast<uint32_t>(good.size() + 1));
    QByteArray pixelsBeyondFile = good;
    PutLe32At(pixelsBeyondFile, 10, 60);
    QByteArray zeroWidth = good;
    PutLe32At(zeroWidth, 18, 0);
    QByteArray hugeHeight = good;
    PutLe32At(hugeHeight, 22, 0x7FFFFFFF);
    QByteArray hugeNegativeHeight = good;
    PutLe32At(hugeNegativeHeight, 22, 0x80000000u);
    QByteArray truncated = good.left(good.size() - 1);
    PutLe32At(truncated, 2, static_cast<uint32_t>(truncated.size()));
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("signature only") << QByteArray("BM");
    QTest::newRow("wrong signature") << wrongSignature;
    QTest::newRow("file size beyond the data") << sizeBeyondData;
    QTest::newRow("pixels beyond the file") << pixelsBeyondFile;
    QTest::newRow("zero width") << zeroWidth;
    QTest::newRow("huge height") << hugeHeight;
    QTest::newRow("huge negative height") << hugeNegativeHeight;
    QTest::newRow("truncated pixels") << truncated;
  }
  void malformedBitmapsAreRefused() {
    QFETCH(QByteArray, file);
    QVERIFY_THROWS_EXCEPTION(EInvalidGraphic, Decode(file));
  }

  // The glyph streams: a load always starts at 0 and a save lands behind what
  // the last load read, so the first picture written is never overwritten.
  void streamKeepsItsFirstPicture() {
    TMemoryStream stream;
    const QImage first = TestPicture(48, 48);
    const QImage second = TestPicture(48, 48).mirrored();
    SaveBitmapToStream(first, stream);
    QCOMPARE(stream.Position(), int64_t(9270));
    stream.SetPosition(0);
    QCOMPARE(LoadBitmapFromStream(stream), first);
    QCOMPARE(stream.Position(), int64_t(9270));
    SaveBitmapToStream(second, stream);
    QCOMPARE(stream.Size(), int64_t(2 * 9270));
    stream.SetPosition(0);
    QCOMPARE(LoadBitmapFromStream(stream), first);
    QCOMPARE(LoadBitmapFromStream(stream), second);
  }

  void loadFromShortStreamFails() {
    TMemoryStream stream;
    const QByteArray file = EncodeBitmapFile32(TestPicture(4, 4));
    stream.Write(file.constData(), static_cast<size_t>(file.size() - 10));
    stream.SetPosition(0);
    QVERIFY_THROWS_EXCEPTION(EInvalidGraphic, LoadBitmapFromStream(stream));
    stream.SetPosition(stream.Size());
    QVERIFY_THROWS_EXCEPTION(EInvalidGraphic, LoadBitmapFromStream(stream));
  }

  void memoryStreamWritesPastTheEnd() {
    TMemoryStream stream;
    stream.SetPosition(3);
    stream.Write("ab", 2);
    QCOMPARE(stream.Size(), int64_t(5));
    QCOMPARE(stream.Bytes()[0], uint8_t(0));
    char out[8] = {};
    stream.SetPosition(4);
    QCOMPARE(stream.Read(out, sizeof out), size_t(1));
    QCOMPARE(out[0], 'b');
    QCOMPARE(stream.Read(out, sizeof out), size_t(0));
    stream.SetPosition(-5);
    QCOMPARE(stream.Position(), int64_t(0));
  }

  // The desktop dialog opens on the record's settings and takes a typed name
  // of a file that does not exist.
  void openDialogShowsFilterAndTakesTypedName() {
    QTemporaryDir dir;
    TOpenDialog dialog;
    dialog.Title = QStringLiteral("Open ZARN file");
    dialog.Options = ofEnableSizing;
    dialog.Filter = QStringLiteral(
        "Zarn files (*.ZARN; *.ZFL; *.DAT; *.ZCN; *.DSP; *.LOGO)| *.zarn; *.zfl; *.dat; *.zcn; *.dsp; *.logo| All "
        "files (*.*)|*.*");
    dialog.FilterIndex = 1;
    const QString typed = dir.filePath(QStringLiteral("not-there.zarn"));
    QStringList filters;
    QString selectedFilter;
    QString title;
    QTimer::singleShot(0, [&] {
      auto* shown = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (shown == nullptr) return;
      filters = shown->nameFilters();
      selectedFilter = shown->selectedNameFilter();
      title = shown->windowTitle();
      shown->selectFile(typed);
      QMetaObject::invokeMethod(shown, "accept");
    });
    QVERIFY(dialog.Execute());
    QCOMPARE(title, QStringLiteral("Open ZARN file"));
    QCOMPARE(filters.size(), 2);
    QCOMPARE(selectedFilter, filters.first());
    QVERIFY(filters.first().endsWith(QStringLiteral("(*.zarn *.zfl *.dat *.zcn *.dsp *.logo)")));
    QVERIFY(filters.last().endsWith(QStringLiteral("(*.*)")));
    QCOMPARE(dialog.FileName, typed);
  }

  void openDialogCancelKeepsFileName() {
    TOpenDialog dialog;
    dialog.FileName = QStringLiteral("/earlier/choice.zarn");
    QTimer::singleShot(0, [] {
      if (auto* shown = qobject_cast<QFileDialog*>(QApplication::activeModalWidget()))
        shown->reject();
    });
    QVERIFY(!dialog.Execute());
    QCOMPARE(dialog.FileName, QStringLiteral("/earlier/choice.zarn"));
  }

  // A modeless box reports its dismissal once, however it goes.
  void desktopModelessBoxReportsDismissalOnce_data() {
    QTest::addColumn<bool>("byOkButton");
    QTest::newRow("OK clicked") << true;
    QTest::newRow("closed by the program") << false;
  }
  void desktopModelessBoxReportsDismissalOnce() {
    QFETCH(bool, byOkButton);
    SetBoxPresenter(nullptr);
    int dismissals = 0;
    const std::function<void()> dismiss = Boxes().ShowModeless(
        nullptr, QStringLiteral("Error"), QStringLiteral("Bad STB response! Aborting ..."),
        BoxIcon::None, [&dismissals] { ++dismissals; });
    QMessageBox* box = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* b = qobject_cast<QMessageBox*>(w); b != nullptr && b->isVisible()) box = b;
    QVERIFY(box != nullptr);
    QCOMPARE(box->windowTitle(), QStringLiteral("Error"));
    QCOMPARE(box->icon(), QMessageBox::NoIcon);
    QVERIFY(!box->isModal());
    QCOMPARE(dismissals, 0);
    if (byOkButton) {
      box->button(QMessageBox::Ok)->click();
    } else {
      dismiss();
    }
    QCOMPARE(dismissals, 1);
    dismiss();
    QTRY_VERIFY_WITH_TIMEOUT(
        [] {
          for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<QMessageBox*>(w) != nullptr) return false;
          return true;
        }(),
        kDeadlineMs);
    QCOMPARE(dismissals, 1);
  }
};

QTEST_MAIN(WindowPartsTest)
#include "window_parts_test.moc"
