// The memo and edit frames, the memo's scroll bar and margin, the banner
// panel's stretch, and the hyperlink's colours, cursor and click.

#include "SuiFonts.h"
#include "TsuiEdit.h"
#include "TsuiImagePanel.h"
#include "TsuiMemo.h"
#include "TsuiURLLabel.h"

#include <QScrollBar>
#include <QToolTip>
#include <QtTest>

#include <memory>

class TextControlsTest : public QObject {
    Q_OBJECT
private slots:
    void framedWithInnerRing_data();
    void framedWithInnerRing();
    void memoLook();
    void fontsAtFixedPixelHeights_data();
    void fontsAtFixedPixelHeights();
    void imagePanelStretches();
    void linkColoursFollowPointer();
    void linkClickOpensUrl_data();
    void linkClickOpensUrl();
    void linkShowsNoTooltip();

private:
    QList<QUrl> opened_;
};

void TextControlsTest::framedWithInnerRing_data() {
    QTest::addColumn<bool>("memo");
    QTest::newRow("memo") << true;
    QTest::newRow("edit") << false;
}

// 1-pixel #09206A frame, then 1 pixel of the control's own background.
void TextControlsTest::framedWithInnerRing() {
    QFETCH(bool, memo);
    std::unique_ptr<QWidget> w;
    QColor background;
    if (memo) {
        w = std::make_unique<TsuiMemo>();
        w->resize(316, 185);
        background = TsuiMemo::kBackground;
    } else {
        w = std::make_unique<TsuiEdit>();
        w->resize(473, 22);
        background = TsuiEdit::InfoBackground();
    }
    const QImage shot = w->grab().toImage();
    const QColor frame(0x09, 0x20, 0x6A);
    const int W = w->width(), H = w->height();
    for (const QPoint& p : {QPoint(0, 0), QPoint(W / 2, 0), QPoint(0, H / 2), QPoint(W / 2, H - 1),
                            QPoint(W - 1, H - 1), QPoint(W - 1, 0)})
        QCOMPARE(shot.pixelColor(p), frame);
    QCOMPARE(shot.pixelColor(1, H / 2), background);
    QCOMPARE(shot.pixelColor(W / 3, 1), background);
    QCOMPARE(shot.pixelColor(W / 3, H - 2), background);
}

void TextControlsTest::memoLook() {
    TsuiMemo memo;
    memo.resize(316, 185);
    QCOMPARE(TsuiMemo::kBackground, QColor(0xC0, 0xDC, 0xC0));
    QCOMPARE(memo.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(memo.document()->documentMargin(), qreal(TsuiMemo::kInnerMargin));
    memo.show();
    QVERIFY(QTest::qWaitForWindowExposed(&memo));
    QVERIFY(memo.verticalScrollBar()->isVisible());  // shown while the log is empty
    // Text is blue.
    memo.setPlainText(QStringLiteral("WWWWWWWW"));
    const QImage shot = memo.grab().toImage();
    int blue = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 120; ++x)
            blue += shot.pixelColor(x, y) == QColor(0, 0, 0xFF);
    QVERIFY(blue > 20);
}

void TextControlsTest::fontsAtFixedPixelHeights_data() {
    QTest::addColumn<QFont>("font");
    QTest::addColumn<int>("pixels");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("fixedPitch");
    QTest::newRow("window") << sui::WindowFont() << 11 << false << false;
    QTest::newRow("title caption") << sui::TitleCaptionFont() << 11 << true << false;
    QTest::newRow("buttons") << sui::ButtonFont() << 19 << true << true;
    QTest::newRow("memo") << sui::MemoFont() << 13 << true << true;
    QTest::newRow("edit") << sui::EditFont() << 15 << false << false;
    QTest::newRow("link") << sui::LinkFont() << 32 << true << false;
    QTest::newRow("progress caption") << sui::ProgressFont() << 11 << false << false;
}

void TextControlsTest::fontsAtFixedPixelHeights() {
    QFETCH(QFont, font);
    QFETCH(int, pixels);
    QFETCH(bool, bold);
    QFETCH(bool, fixedPitch);
    QCOMPARE(font.pixelSize(), pixels);
    QCOMPARE(font.bold(), bold);
    const QFontInfo info(font);
    QCOMPARE(info.pixelSize(), pixels);
    QCOMPARE(info.fixedPitch(), fixedPitch);
}

void TextControlsTest::imagePanelStretches() {
    QImage picture(2, 2, QImage::Format_RGB32);
    picture.setPixelColor(0, 0, Qt::red);
    picture.setPixelColor(1, 0, Qt::green);
    picture.setPixelColor(0, 1, Qt::blue);
    picture.setPixelColor(1, 1, Qt::yellow);
    TsuiImagePanel panel;
    panel.resize(489, 61);
    panel.SetPicture(picture);
    const QImage shot = panel.grab().toImage();
    QCOMPARE(shot.pixelColor(0, 0), QColor(Qt::red));
    QCOMPARE(shot.pixelColor(488, 0), QColor(Qt::green));
    QCOMPARE(shot.pixelColor(0, 60), QColor(Qt::blue));
    QCOMPARE(shot.pixelColor(488, 60), QColor(Qt::yellow));
}

void TextControlsTest::linkColoursFollowPointer() {
    QWidget host;
    host.resize(400, 120);
    auto* link = new TsuiURLLabel(&host);
    link->setGeometry(10, 10, 291, 37);
    link->setText(QStringLiteral("by ZARN Team"));
    QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(link->font().underline(), true);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QTest::mouseMove(&host, QPoint(380, 100));
    QTRY_COMPARE(link->TextColour(), QColor(0x00, 0x00, 0xFF));

    const auto count = [link](const QColor& c) {
        const QImage shot = link->grab().toImage();
        int n = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                n += shot.pixelColor(x, y) == c;
        return n;
    };
    QVERIFY(count(QColor(0, 0, 0xFF)) > 100);
    QTest::mouseMove(&host, QPoint(40, 25));
    QTRY_COMPARE(link->TextColour(), QColor(0xFF, 0x00, 0x00));
    QVERIFY(count(QColor(0xFF, 0, 0)) > 100);
    QCOMPARE(count(QColor(0, 0, 0xFF)), 0);
    QTest::mouseMove(&host, QPoint(380, 100));
    QTRY_COMPARE(link->TextColour(), QColor(0x00, 0x00, 0xFF));
}

void TextControlsTest::linkClickOpensUrl_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<QPoint>("release");
    QTest::addColumn<QString>("opened");
    QTest::newRow("address") << "https://zarn.example.org/" << QPoint(20, 15) << "https://zarn.example.org/";
    QTest::newRow("blank") << "   " << QPoint(20, 15) << "";
    QTest::newRow("empty") << "" << QPoint(20, 15) << "";
    QTest::newRow("released elsewhere") << "https://zarn.example.org/" << QPoint(350, 100) << "";
}

void TextControlsTest::linkClickOpensUrl() {
    QFETCH(QString, url);
    QFETCH(QPoint, release);
    QFETCH(QString, opened);
    opened_.clear();
    TsuiURLLabel::SetUrlOpener([this](const QUrl& u) {
        opened_.append(u);
        return true;
    });
    QWidget host;
    host.resize(400, 120);
    auto* link = new TsuiURLLabel(&host);
    link->setGeometry(0, 0, 291, 37);
    link->setText(QStringLiteral("by ZARN Team"));
    link->SetURL(url);
    QCOMPARE(link->URL(), url);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QTest::mousePress(link, Qt::LeftButton, {}, QPoint(20, 15));
    QTest::mouseRelease(link, Qt::LeftButton, {}, release);
    TsuiURLLabel::SetUrlOpener(nullptr);
    if (opened.isEmpty()) {
        QVERIFY(opened_.isEmpty());
    } else {
        QCOMPARE(opened_.size(), 1);
        QCOMPARE(opened_.first(), QUrl(opened));
    }
}

void TextControlsTest::linkShowsNoTooltip() {
    TsuiURLLabel link;
    link.setToolTip(QStringLiteral("should never show"));
    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), QPoint(5, 5));
    QVERIFY(QCoreApplication::sendEvent(&link, &help));
    QVERIFY(help.isAccepted());
    QVERIFY(!QToolTip::isVisible());
}

QTEST_MAIN(TextControlsTest)
#include "text_controls_test.moc"
