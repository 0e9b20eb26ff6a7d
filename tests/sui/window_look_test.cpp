// The whole window's look: every control's place, size and tab order, its
// fonts, and pixel facts of a screenshot of the window.

#include "SkinPictures.h"
#include "TsuiButton.h"
#include "TsuiEdit.h"
#include "TsuiForm.h"
#include "TsuiImagePanel.h"
#include "TsuiMemo.h"
#include "TsuiProgressBar.h"
#include "TsuiURLLabel.h"
#include "Unit1.h"

#include <QtTest>

#include <memory>

class WindowLookTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void geometry_data();
    void geometry();
    void tabOrder();
    void fonts();
    void glyphsInOneColumn();
    void screenshotPixelFacts();

private:
    QWidget* Control(const QString& name) const;
    std::unique_ptr<TForm1> form_;
};

void WindowLookTest::init() {
    form_ = std::make_unique<TForm1>();
    Form1 = form_.get();
}

void WindowLookTest::cleanup() {
    form_.reset();
    Form1 = nullptr;
}

QWidget* WindowLookTest::Control(const QString& name) const {
    TForm1& f = *form_;
    const std::pair<const char*, QWidget*> members[] = {
        {"suiImagePanel1", f.suiImagePanel1}, {"suiEdit1", f.suiEdit1},
        {"SpeedButton1", f.SpeedButton1},     {"SpeedButton5", f.SpeedButton5},
        {"SpeedButton2", f.SpeedButton2},     {"Memo1", f.Memo1},
        {"ProgressBar1", f.ProgressBar1},     {"suiURLLabel1", f.suiURLLabel1},
    };
    for (const auto& [n, w] : members)
        if (name == QLatin1String(n))
            return w;
    return nullptr;
}

void WindowLookTest::geometry_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("banner") << "suiImagePanel1" << QRect(0, 28, 489, 61);
    QTest::newRow("path edit") << "suiEdit1" << QRect(8, 93, 473, 22);
    QTest::newRow("connect") << "SpeedButton1" << QRect(8, 120, 153, 57);
    QTest::newRow("load") << "SpeedButton5" << QRect(8, 184, 153, 57);
    QTest::newRow("send") << "SpeedButton2" << QRect(8, 248, 153, 57);
    QTest::newRow("memo") << "Memo1" << QRect(165, 120, 316, 185);
    QTest::newRow("progress bar") << "ProgressBar1" << QRect(8, 312, 473, 25);
    QTest::newRow("hyperlink") << "suiURLLabel1" << QRect(96, 343, 291, 37);
}

void WindowLookTest::geometry() {
    QFETCH(QString, name);
    QFETCH(QRect, rect);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    QWidget* w = Control(name);
    QVERIFY(w);
    QCOMPARE(w->parentWidget(), form_->suiForm1);
    QCOMPARE(w->geometry(), rect);
    QVERIFY(w->isVisible());
}

// Tab order 2..7: Connect, Load, Send, memo, banner, path edit.
void WindowLookTest::tabOrder() {
    const QList<QWidget*> order = {form_->SpeedButton1, form_->SpeedButton5,   form_->SpeedButton2,
                                   form_->Memo1,        form_->suiImagePanel1, form_->suiEdit1};
    QList<QWidget*> chain;
    QWidget* w = form_->SpeedButton1;
    for (int guard = 0; guard < 100 && chain.size() < order.size(); ++guard) {
        if (order.contains(w) && !chain.contains(w))
            chain.append(w);
        w = w->nextInFocusChain();
    }
    QCOMPARE(chain, order);
}

void WindowLookTest::fonts() {
    for (TsuiButton* b : {form_->SpeedButton1, form_->SpeedButton5, form_->SpeedButton2}) {
        QCOMPARE(QFontInfo(b->font()).pixelSize(), 19);
        QVERIFY(b->font().bold());
        QVERIFY(QFontInfo(b->font()).fixedPitch());
    }
    QCOMPARE(QFontInfo(form_->Memo1->font()).pixelSize(), 13);
    QVERIFY(form_->Memo1->font().bold());
    QCOMPARE(QFontInfo(form_->suiEdit1->font()).pixelSize(), 15);
    QCOMPARE(QFontInfo(form_->suiURLLabel1->font()).pixelSize(), 32);
    QVERIFY(form_->suiURLLabel1->font().underline());
    QCOMPARE(form_->suiURLLabel1->cursor().shape(), Qt::PointingHandCursor);
}

void WindowLookTest::glyphsInOneColumn() {
    const int x = form_->SpeedButton1->GlyphRect().left();
    QVERIFY(!form_->SpeedButton1->Glyph().isNull());
    QCOMPARE(form_->SpeedButton5->GlyphRect().left(), x);
    QCOMPARE(form_->SpeedButton2->GlyphRect().left(), x);
}

void WindowLookTest::screenshotPixelFacts() {
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    const int b = TsuiForm::kBorderWidth;
    QCOMPARE(form_->size(), QSize(487 + 2 * b, 384 + 2 * b));
    QCOMPARE(form_->suiForm1->geometry(), QRect(b, b, 487, 384));
    const QImage shot = form_->grab().toImage();
    const auto at = [&](int x, int y) { return shot.pixelColor(x + b, y + b); };  // client coordinates

    // Flat background between and below the controls.
    const QColor background(0xE8, 0xE8, 0xE8);
    for (const QPoint& p :
         {QPoint(163, 200), QPoint(4, 118), QPoint(484, 200), QPoint(4, 360), QPoint(470, 370)})
        QCOMPARE(at(p.x(), p.y()), background);

    // The memo's frame at its place, its money-green ring inside.
    const QColor memoFrame(0x09, 0x20, 0x6A);
    for (const QPoint& p :
         {QPoint(165, 120), QPoint(165 + 315, 120 + 184), QPoint(165, 200), QPoint(300, 120)})
        QCOMPARE(at(p.x(), p.y()), memoFrame);
    QCOMPARE(at(166, 200), QColor(0xC0, 0xDC, 0xC0));
    QCOMPARE(at(164, 200), background);
    // The path edit's frame too.
    QCOMPARE(at(8, 93), memoFrame);
    QCOMPARE(at(8 + 472, 93 + 21), memoFrame);

    // The progress bar's frame; empty at start.
    const QColor barFrame(0x7F, 0x7F, 0x7F);
    for (const QPoint& p : {QPoint(8, 312), QPoint(8 + 472, 312 + 24), QPoint(8, 325), QPoint(200, 312)})
        QCOMPARE(at(p.x(), p.y()), barFrame);
    QCOMPARE(at(9, 313), QColor(0xE7, 0xE7, 0xE7));

    // The title bar is 28 rows: rows 0 and 27 are the middle piece's rows 3
    // and 30, row 28 is the banner's.
    const QImage& middle = sui::Skin().titlePieces[3];
    const int x = 330;
    QCOMPARE(at(x, 0), middle.pixelColor(5, 3));
    QCOMPARE(at(x, 27), middle.pixelColor(5, 30));
    QVERIFY(at(x, 28) != middle.pixelColor(5, 30));
    // The window's top edge above the client area is the pieces' first rows.
    QCOMPARE(shot.pixelColor(x + b, 0), middle.pixelColor(5, 0));

    // The caption is drawn in white on the bar (the window is active here or
    // not, white or the inactive colour; either way it is there).
    const QRect caption = form_->suiForm1->CaptionRect();
    int captionPixels = 0;
    const QColor captionColour = form_->suiForm1->CaptionColour();
    for (int y = caption.top(); y <= caption.bottom(); ++y)
        for (int cx = caption.left(); cx < caption.left() + 100; ++cx)
            captionPixels += at(cx, y) == captionColour;
    QVERIFY(captionPixels > 30);
}

QTEST_MAIN(WindowLookTest)
#include "window_look_test.moc"
