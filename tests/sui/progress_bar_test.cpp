// The progress bar's caption and fill edge, as numbers and as pixels.

#include "TsuiProgressBar.h"

#include <QImage>
#include <QtTest>

#include <climits>

class ProgressBarTest : public QObject {
    Q_OBJECT
private slots:
    void captionAndEdge_data();
    void captionAndEdge();
    void drawnPixels_data();
    void drawnPixels();
    void stepSaturates();
    void startsEmpty();
};

namespace {
constexpr int kBarWidth = 473;
constexpr int kBarHeight = 25;
}  // namespace

void ProgressBarTest::captionAndEdge_data() {
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("edge");

    QTest::newRow("half of 1024") << 0 << 1024 << 512 << "50%" << 236;
    QTest::newRow("start 0..100") << 0 << 100 << 0 << "0%" << 1;
    QTest::newRow("fraction dropped") << 0 << 3 << 1 << "33%" << 157;
    QTest::newRow("at maximum") << 0 << 1024 << 1024 << "100%" << 472;
    QTest::newRow("min equals max") << 0 << 0 << 0 << "0%" << 1;
    QTest::newRow("min equals max, position above") << 5 << 5 << 9 << "0%" << 1;
    QTest::newRow("max below min") << 10 << 0 << 5 << "0%" << 1;
    QTest::newRow("beyond maximum") << 0 << 100 << 150 << "100%" << 472;
    QTest::newRow("at minimum, offset range") << 20 << 120 << 20 << "0%" << 1;
    QTest::newRow("below minimum") << 20 << 120 << 3 << "0%" << 1;
    QTest::newRow("tiny step rounds to no fill") << 0 << 1000 << 1 << "0%" << 1;
    QTest::newRow("offset range middle") << 100 << 300 << 200 << "50%" << 236;
    // An image's byte count as the maximum: position * 100 overflows an int.
    QTest::newRow("large range") << 0 << INT_MAX << INT_MAX / 2 << "49%" << 235;
    QTest::newRow("full int range") << INT_MIN << INT_MAX << 0 << "50%" << 236;
}

void ProgressBarTest::captionAndEdge() {
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(int, position);
    QFETCH(QString, caption);
    QFETCH(int, edge);

    TsuiProgressBar bar;
    bar.resize(kBarWidth, kBarHeight);
    bar.SetMin(min);
    bar.SetMax(max);
    bar.SetPosition(position);
    QCOMPARE(bar.CaptionText(), caption);
    QCOMPARE(bar.FillEdge(), edge);
}

void ProgressBarTest::drawnPixels_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("edge");
    QTest::newRow("empty") << 0 << 1;
    QTest::newRow("half") << 512 << 236;
    QTest::newRow("full") << 1024 << 472;
}

// The fill picture covers x 1..edge-1 between y 1 and h-2, #E7E7E7 from the
// edge to w-2, a #7F7F7F frame all round.
void ProgressBarTest::drawnPixels() {
    QFETCH(int, position);
    QFETCH(int, edge);

    TsuiProgressBar bar;
    bar.resize(kBarWidth, kBarHeight);
    QImage marker(4, 4, QImage::Format_RGB32);
    marker.fill(QColor(0x10, 0x20, 0xF0));
    bar.SetFillPicture(marker);
    bar.SetMax(1024);
    bar.SetPosition(position);
    const QImage shot = bar.grab().toImage();

    const QColor frame(0x7F, 0x7F, 0x7F);
    const QColor empty(0xE7, 0xE7, 0xE7);
    const QColor fill(0x10, 0x20, 0xF0);
    for (int x : {0, kBarWidth / 2, kBarWidth - 1}) {
        QCOMPARE(shot.pixelColor(x, 0), frame);
        QCOMPARE(shot.pixelColor(x, kBarHeight - 1), frame);
    }
    QCOMPARE(shot.pixelColor(0, kBarHeight / 2), frame);
    QCOMPARE(shot.pixelColor(kBarWidth - 1, kBarHeight / 2), frame);
    // Sample the top inner row, clear of the centred caption.
    const int y = 1;
    if (edge > 1) {
        QCOMPARE(shot.pixelColor(1, y), fill);
        QCOMPARE(shot.pixelColor(edge - 1, y), fill);
        QCOMPARE(shot.pixelColor(edge - 1, kBarHeight - 2), fill);
    }
    if (edge < kBarWidth - 1) {
        QCOMPARE(shot.pixelColor(edge, y), empty);
        QCOMPARE(shot.pixelColor(kBarWidth - 2, y), empty);
    }
}

void ProgressBarTest::stepSaturates() {
    TsuiProgressBar bar;
    bar.resize(kBarWidth, kBarHeight);
    bar.SetMax(INT_MAX);
    bar.SetPosition(INT_MAX - 1);
    bar.StepBy(10);
    QCOMPARE(bar.Position(), INT_MAX);
    bar.SetPosition(0);
    bar.StepBy(7);
    bar.StepBy(-2);
    QCOMPARE(bar.Position(), 5);
}

void ProgressBarTest::startsEmpty() {
    TsuiProgressBar bar;
    bar.resize(kBarWidth, kBarHeight);
    QCOMPARE(bar.Min(), 0);
    QCOMPARE(bar.Max(), 100);
    QCOMPARE(bar.Position(), 0);
    QCOMPARE(bar.CaptionText(), QStringLiteral("0%"));
    QCOMPARE(bar.FillEdge(), 1);
}

QTEST_MAIN(ProgressBarTest)
#include "progress_bar_test.moc"
