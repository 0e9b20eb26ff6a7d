// The glyph buttons: caption and glyph as one centred group, the glyph's
// key colour, the pressed offset and its release, the disabled look, the
// focus rectangle and the keys that click.

#include "SuiFonts.h"
#include "TsuiButton.h"

#include <QtTest>

#include <memory>

class ButtonTest : public QObject {
    Q_OBJECT
private slots:
    void groupIsCentred_data();
    void groupIsCentred();
    void glyphsShareOneColumn();
    void keyColourIsSeeThrough();
    void pressedOffsetAndReleaseWhenPointerLeaves();
    void faceFollowsState();
    void disabledLook();
    void focusRectangle();
    void keysClick_data();
    void keysClick();

private:
    static QImage SolidGlyph(const QColor& key, const QColor& body);
    static std::unique_ptr<TsuiButton> MakeButton(const QString& caption, const QImage& glyph);
};

namespace {
constexpr int kWidth = 153;
constexpr int kHeight = 57;
const QColor kMagenta(0xFF, 0x00, 0xFF);
const QColor kGlyphRed(0xE0, 0x10, 0x10);
}  // namespace

// A 48x48 glyph: an opaque key-coloured border 4 pixels wide around a body.
QImage ButtonTest::SolidGlyph(const QColor& key, const QColor& body) {
    QImage g(48, 48, QImage::Format_ARGB32);
    g.fill(key);
    for (int y = 4; y < 44; ++y)
        for (int x = 4; x < 44; ++x)
            g.setPixelColor(x, y, body);
    return g;
}

std::unique_ptr<TsuiButton> ButtonTest::MakeButton(const QString& caption, const QImage& glyph) {
    auto b = std::make_unique<TsuiButton>();
    b->resize(kWidth, kHeight);
    b->setText(caption);
    b->SetGlyph(glyph);
    return b;
}

void ButtonTest::groupIsCentred_data() {
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("withGlyph");
    QTest::newRow("Connect with glyph") << " Connect" << true;
    QTest::newRow("DisCnct with glyph") << " DisCnct" << true;
    QTest::newRow("caption alone") << " Load   " << false;
    QTest::newRow("empty caption") << "" << true;
}

void ButtonTest::groupIsCentred() {
    QFETCH(QString, caption);
    QFETCH(bool, withGlyph);
    auto b = MakeButton(caption, withGlyph ? SolidGlyph(kMagenta, kGlyphRed) : QImage());
    const QRect text = b->CaptionRect();
    const QRect glyph = b->GlyphRect();
    QCOMPARE(text.width(), QFontMetrics(b->font()).horizontalAdvance(caption));
    const int right = withGlyph ? glyph.right() : text.right();
    if (withGlyph) {
        QCOMPARE(glyph.left(), text.right() + 1 + TsuiButton::kGlyphGap);
        QCOMPARE(glyph.top(), (kHeight - 48) / 2);
    } else {
        QVERIFY(glyph.isNull());
    }
    // Equal room left and right, to the pixel of rounding.
    const int leftRoom = text.left();
    const int rightRoom = kWidth - 1 - right;
    QVERIFY2(qAbs(leftRoom - rightRoom) <= 1, qPrintable(QString("%1 vs %2").arg(leftRoom).arg(rightRoom)));
    QVERIFY(qAbs((text.top() + text.bottom()) - (kHeight - 1)) <= 1);
}

// Eight-character captions in a fixed-pitch font put the glyphs in one column.
void ButtonTest::glyphsShareOneColumn() {
    QVERIFY(QFontInfo(sui::ButtonFont()).fixedPitch());
    int column = -1;
    for (const char* caption : {" Connect", " DisCnct", " Load   ", " Send   "}) {
        auto b = MakeButton(QString::fromLatin1(caption), SolidGlyph(kMagenta, kGlyphRed));
        const int x = b->GlyphRect().left();
        if (column < 0)
            column = x;
        QCOMPARE(x, column);
        // And on screen: the glyph's first body column is where it should be.
        const QImage shot = b->grab().toImage();
        const QPoint body = b->GlyphRect().topLeft() + QPoint(4, 4);
        QCOMPARE(shot.pixelColor(body), kGlyphRed);
        QVERIFY(shot.pixelColor(body - QPoint(1, 0)) != kGlyphRed);
    }
}

void ButtonTest::keyColourIsSeeThrough() {
    const QImage glyph = SolidGlyph(kMagenta, kGlyphRed);
    auto b = MakeButton(" Connect", glyph);
    QCOMPARE(b->Glyph(), glyph);  // kept as given
    const QImage shot = b->grab().toImage();
    const QPoint origin = b->GlyphRect().topLeft();
    QVERIFY(shot.pixelColor(origin + QPoint(1, 1)) != kMagenta);
    QVERIFY(shot.pixelColor(origin + QPoint(46, 20)) != kMagenta);
    QCOMPARE(shot.pixelColor(origin + QPoint(20, 20)), kGlyphRed);

    // A glyph whose corner is fully transparent keeps its own alpha.
    QImage alpha = SolidGlyph(Qt::transparent, kGlyphRed);
    alpha.setPixelColor(10, 10, QColor(0, 0, 0, 0));
    b->SetGlyph(alpha);
    const QImage shot2 = b->grab().toImage();
    QCOMPARE(shot2.pixelColor(origin + QPoint(20, 20)), kGlyphRed);
    QVERIFY(shot2.pixelColor(origin + QPoint(10, 10)) != QColor(Qt::black));
}

void ButtonTest::pressedOffsetAndReleaseWhenPointerLeaves() {
    auto b = MakeButton(" Connect", SolidGlyph(kMagenta, kGlyphRed));
    b->show();
    QVERIFY(QTest::qWaitForWindowExposed(b.get()));
    const QRect text0 = b->CaptionRect();
    const QRect glyph0 = b->GlyphRect();
    const QPoint inside(20, 20);
    const QPoint body = glyph0.topLeft() + QPoint(4, 4);
    QSignalSpy clicked(b.get(), &QAbstractButton::clicked);

    QTest::mousePress(b.get(), Qt::LeftButton, {}, inside);
    QCOMPARE(b->CaptionRect(), text0.translated(1, 1));
    QCOMPARE(b->GlyphRect(), glyph0.translated(1, 1));
    QImage shot = b->grab().toImage();
    QVERIFY(shot.pixelColor(body) != kGlyphRed);
    QCOMPARE(shot.pixelColor(body + QPoint(1, 1)), kGlyphRed);

    // Held, but the pointer leaves: back in place, and releasing there is no click.
    QTest::mouseMove(b.get(), QPoint(kWidth + 30, kHeight + 30));
    QTRY_COMPARE(b->GlyphRect(), glyph0);
    QCOMPARE(b->CaptionRect(), text0);
    shot = b->grab().toImage();
    QCOMPARE(shot.pixelColor(body), kGlyphRed);
    // Back over it while still held: pressed again.
    QTest::mouseMove(b.get(), inside);
    QTRY_COMPARE(b->GlyphRect(), glyph0.translated(1, 1));
    QTest::mouseMove(b.get(), QPoint(kWidth + 30, kHeight + 30));
    QTRY_COMPARE(b->GlyphRect(), glyph0);
    QTest::mouseRelease(b.get(), Qt::LeftButton, {}, QPoint(kWidth + 30, kHeight + 30));
    QCOMPARE(clicked.count(), 0);

    QTest::mouseClick(b.get(), Qt::LeftButton, {}, inside);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(b->GlyphRect(), glyph0);
}

void ButtonTest::faceFollowsState() {
    QWidget host;
    host.resize(kWidth + 100, kHeight + 100);
    auto* b = new TsuiButton(&host);
    b->setGeometry(0, 0, kWidth, kHeight);
    b->setText(" Send   ");
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QTest::mouseMove(&host, QPoint(kWidth / 2, kHeight / 2));
    QTRY_COMPARE(b->FaceState(), sui::FaceState::Hover);
    const QColor hover = b->grab().toImage().pixelColor(10, kHeight - 10);
    QTest::mouseMove(&host, QPoint(kWidth + 50, kHeight + 50));
    QTRY_COMPARE(b->FaceState(), sui::FaceState::Normal);
    const QColor normal = b->grab().toImage().pixelColor(10, kHeight - 10);
    b->setDown(true);
    QCOMPARE(b->FaceState(), sui::FaceState::Pressed);
    const QColor pressed = b->grab().toImage().pixelColor(10, kHeight - 10);
    b->setDown(false);
    b->setEnabled(false);
    QCOMPARE(b->FaceState(), sui::FaceState::Disabled);
    const QColor disabled = b->grab().toImage().pixelColor(10, kHeight - 10);
    QVERIFY(qGray(pressed.rgb()) < qGray(normal.rgb()));
    QVERIFY(qGray(hover.rgb()) > qGray(normal.rgb()));
    QCOMPARE(disabled.red(), disabled.blue());  // grey, not blue
    QVERIFY(normal.blue() > normal.red());      // the skin is blue
    // The window shows around the rounded face: the corner pixel is see-through.
    QImage onRed(kWidth, kHeight, QImage::Format_ARGB32);
    onRed.fill(Qt::red);
    b->setEnabled(true);
    b->render(&onRed, QPoint(), QRegion(), QWidget::DrawChildren);
    QCOMPARE(onRed.pixelColor(0, 0), QColor(Qt::red));
}

void ButtonTest::disabledLook() {
    auto b = MakeButton(" Connect", SolidGlyph(kMagenta, kGlyphRed));
    b->setEnabled(false);
    const QImage shot = b->grab().toImage();
    const QPoint body = b->GlyphRect().topLeft() + QPoint(20, 20);
    const QColor greyed = shot.pixelColor(body);
    QVERIFY(qAbs(greyed.red() - greyed.green()) <= 2 && qAbs(greyed.green() - greyed.blue()) <= 2);

    // The caption: #808080 strokes with white one pixel right and down.
    const QRect text = b->CaptionRect();
    int grey = 0, embossed = 0;
    for (int y = text.top(); y <= text.bottom(); ++y)
        for (int x = text.left(); x <= text.right(); ++x) {
            if (shot.pixelColor(x, y) == QColor(0x80, 0x80, 0x80)) {
                ++grey;
                if (shot.pixelColor(x + 1, y + 1) == QColor(Qt::white))
                    ++embossed;
            }
        }
    QVERIFY(grey > 20);
    QVERIFY(embossed > 5);
    // An enabled caption is black, not embossed.
    b->setEnabled(true);
    const QImage on = b->grab().toImage();
    int black = 0;
    for (int y = text.top(); y <= text.bottom(); ++y)
        for (int x = text.left(); x <= text.right(); ++x)
            black += on.pixelColor(x, y) == QColor(Qt::black);
    QVERIFY(black > 20);
}

void ButtonTest::focusRectangle() {
    auto b = MakeButton(" Load   ", QImage());
    b->show();
    QVERIFY(QTest::qWaitForWindowActive(b.get()));
    b->clearFocus();
    QTRY_VERIFY(!b->hasFocus());
    const QImage plain = b->grab().toImage();
    b->setFocus();
    QTRY_VERIFY(b->hasFocus());
    const QImage focused = b->grab().toImage();
    // Dotted: alternate pixels along the top line 2 pixels inside the edge.
    const int y = TsuiButton::kFocusInset;
    int dots = 0;
    for (int x = 10; x < 40; ++x)
        dots += focused.pixelColor(x, y) == QColor(Qt::black);
    QVERIFY2(dots >= 14 && dots <= 16, qPrintable(QString::number(dots)));
    QVERIFY(focused.pixelColor(y, kHeight / 2) != plain.pixelColor(y, kHeight / 2) ||
            focused.pixelColor(y, kHeight / 2 + 1) != plain.pixelColor(y, kHeight / 2 + 1));
    QVERIFY(plain.pixelColor(10, y) != QColor(Qt::black) || plain.pixelColor(11, y) != QColor(Qt::black));
}

void ButtonTest::keysClick_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("space") << int(Qt::Key_Space);
    QTest::newRow("return") << int(Qt::Key_Return);
    QTest::newRow("enter") << int(Qt::Key_Enter);
}

void ButtonTest::keysClick() {
    QFETCH(int, key);
    auto b = MakeButton(" Send   ", QImage());
    b->show();
    QVERIFY(QTest::qWaitForWindowActive(b.get()));
    b->setFocus();
    QSignalSpy clicked(b.get(), &QAbstractButton::clicked);
    QTest::keyPress(b.get(), Qt::Key(key));
    QCOMPARE(clicked.count(), 0);  // on release, not on press
    QTest::keyRelease(b.get(), Qt::Key(key));
    QCOMPARE(clicked.count(), 1);
}

QTEST_MAIN(ButtonTest)
#include "button_test.moc"
