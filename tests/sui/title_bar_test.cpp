// The skinned frame: caption cut with "...", the title bar's buttons, menu
// and drag, and the border it lays around the client area.

#include "CaptionElision.h"
#include "SuiFonts.h"
#include "TsuiBuiltInFileTheme.h"
#include "TsuiForm.h"
#include "TsuiTitleButton.h"

#include <QAction>
#include <QMenu>
#include <QtTest>

#include <memory>

class TitleBarTest : public QObject {
    Q_OBJECT
private slots:
    void elision_data();
    void elision();
    void formCutsLongCaption();
    void captionStartsRightOfControlBox();
    void titleBarIsTwentyEightRows();
    void buttonsRightToLeft();
    void buttonPictureFollowsPointerAndPress();
    void windowMenuItems();
    void menuAndButtonsAct_data();
    void menuAndButtonsAct();
    void doubleClickBarTogglesMaximized();
    void doubleClickControlBoxCloses();
    void dragMovesWindowButNotWhenMaximized();
    void framesItsWindow();
    void captionColourFollowsActivation();

private:
    struct Window {
        std::unique_ptr<QWidget> top;
        TsuiForm* form;
    };
    static Window MakeWindow(const QString& caption = QStringLiteral("ZARN Multi-Loader V1.20"));
};

TitleBarTest::Window TitleBarTest::MakeWindow(const QString& caption) {
    Window w{std::make_unique<QWidget>(), nullptr};
    w.form = new TsuiForm(w.top.get());
    w.form->SetCaption(caption);
    w.top->move(617, 182);
    return w;
}

void TitleBarTest::elision_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("extra");  // width given beyond the text's own, may be negative
    QTest::addColumn<bool>("cut");

    QTest::newRow("fits exactly") << "ZARN Multi-Loader V1.20" << 0 << false;
    QTest::newRow("room to spare") << "ZARN" << 40 << false;
    QTest::newRow("one pixel short") << "ZARN Multi-Loader V1.20" << -1 << true;
    QTest::newRow("half the room") << "ZARN Multi-Loader V1.20 with a long suffix" << -120 << true;
    QTest::newRow("empty") << "" << 0 << false;
}

void TitleBarTest::elision() {
    QFETCH(QString, text);
    QFETCH(int, extra);
    QFETCH(bool, cut);
    const QFontMetrics fm(sui::TitleCaptionFont());
    const int width = fm.horizontalAdvance(text) + extra;
    const QString shown = sui::ElideCaption(text, fm, width);
    QVERIFY(fm.horizontalAdvance(shown) <= width);
    if (!cut) {
        QCOMPARE(shown, text);
        return;
    }
    QVERIFY(shown.endsWith(QStringLiteral("...")));
    QVERIFY(!shown.contains(QChar(0x2026)));
    const QString kept = shown.chopped(3);
    QVERIFY(text.startsWith(kept));
    // The longest prefix that fits: one more character would not.
    QVERIFY(fm.horizontalAdvance(text.left(kept.size() + 1) + "...") > width);
}

void TitleBarTest::formCutsLongCaption() {
    Window w = MakeWindow(QStringLiteral("ZARN Multi-Loader V1.20 - ") + QString(60, QLatin1Char('W')));
    const QString shown = w.form->ShownCaption();
    QVERIFY(shown.endsWith(QStringLiteral("...")));
    QVERIFY(shown.startsWith(QStringLiteral("ZARN Multi-Loader")));
    QVERIFY(QFontMetrics(sui::TitleCaptionFont()).horizontalAdvance(shown) <= w.form->CaptionRect().width());
    // The window's own title keeps the whole text.
    QCOMPARE(w.top->windowTitle(), w.form->Caption());

    w.form->SetCaption(QStringLiteral("ZARN Multi-Loader V1.20"));
    QCOMPARE(w.form->ShownCaption(), QStringLiteral("ZARN Multi-Loader V1.20"));
}

void TitleBarTest::captionStartsRightOfControlBox() {
    Window w = MakeWindow();
    const QRect box = w.form->ControlBox()->geometry();
    QCOMPARE(box.left(), TsuiForm::kControlBoxLeft);
    QCOMPARE(w.form->CaptionRect().left(), box.right() + 1 + 5);
    QVERIFY(w.form->CaptionRect().right() < w.form->MinimizeButton()->x());
}

// Rows 0..27 are the bar's picture; row 28 is the flat #E8E8E8 background.
void TitleBarTest::titleBarIsTwentyEightRows() {
    TsuiForm form;
    form.resize(TsuiForm::kClientWidth, TsuiForm::kClientHeight);
    const QImage shot = form.grab().toImage();
    const QColor background(0xE8, 0xE8, 0xE8);
    const int x = 330;  // middle piece: plain bar, clear of the caption and the buttons
    for (int y = 0; y < TsuiForm::kTitleBarHeight; ++y)
        QVERIFY2(shot.pixelColor(x, y) != background, qPrintable(QString("row %1").arg(y)));
    for (int y : {TsuiForm::kTitleBarHeight, TsuiForm::kTitleBarHeight + 1, form.height() - 1})
        QCOMPARE(shot.pixelColor(x, y), background);
    // The bar is blue: more blue than red in its middle.
    const QColor mid = shot.pixelColor(x, TsuiForm::kTitleBarHeight / 2);
    QVERIFY(mid.blue() > mid.red() + 60);
}

void TitleBarTest::buttonsRightToLeft() {
    Window w = MakeWindow();
    const QRect close = w.form->CloseButton()->geometry();
    const QRect max = w.form->MaximizeButton()->geometry();
    const QRect min = w.form->MinimizeButton()->geometry();
    for (const QRect& r : {close, max, min}) {
        QCOMPARE(r.size(), QSize(18, 18));
        QCOMPARE(r.top(), TsuiForm::kTitleButtonTop);
        QVERIFY(r.bottom() < TsuiForm::kTitleBarHeight);
    }
    QCOMPARE(close.right(), w.form->width() - 1 - TsuiForm::kRightMargin);
    QCOMPARE(max.right() + 1 + 1, close.left());
    QCOMPARE(min.right() + 1 + 1, max.left());
}

void TitleBarTest::buttonPictureFollowsPointerAndPress() {
    Window w = MakeWindow();
    w.top->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.top.get()));
    TsuiTitleButton* close = w.form->CloseButton();
    const QPoint centre = close->rect().center();
    const auto picture = [&] { return close->grab().toImage(); };

    QTest::mouseMove(w.form, QPoint(200, 200));
    QTRY_COMPARE(close->State(), sui::TitleButtonState::Normal);
    const QImage normal = picture();
    QTest::mouseMove(close, centre);
    QTRY_COMPARE(close->State(), sui::TitleButtonState::Hover);
    const QImage hover = picture();
    // Press, then slide off while held: the pressed picture goes with the pointer.
    QSignalSpy clicked(close, &QAbstractButton::clicked);
    QTest::mousePress(close, Qt::LeftButton, {}, centre);
    QCOMPARE(close->State(), sui::TitleButtonState::Pressed);
    const QImage pressed = picture();
    QTest::mouseMove(close, QPoint(40, 40));
    QTRY_VERIFY(close->State() != sui::TitleButtonState::Pressed);
    QTest::mouseRelease(close, Qt::LeftButton, {}, QPoint(40, 40));
    QCOMPARE(clicked.count(), 0);

    QVERIFY(normal != hover);
    QVERIFY(normal != pressed);
    QVERIFY(hover != pressed);
    // Lighter under the pointer, darker pressed: compare the face's middle.
    const QPoint probe(3, 12);
    QVERIFY(qGray(hover.pixel(probe)) > qGray(normal.pixel(probe)));
    QVERIFY(qGray(pressed.pixel(probe)) < qGray(normal.pixel(probe)));
}

void TitleBarTest::windowMenuItems() {
    Window w = MakeWindow();
    QStringList texts;
    for (QAction* a : w.form->WindowMenu()->actions())
        texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
    QCOMPARE(texts, (QStringList{"Mi&nimize", "Ma&ximize/Restore", "-", "&Close"}));
}

void TitleBarTest::menuAndButtonsAct_data() {
    QTest::addColumn<bool>("viaMenu");
    QTest::newRow("title-bar buttons") << false;
    QTest::newRow("control-box menu") << true;
}

void TitleBarTest::menuAndButtonsAct() {
    QFETCH(bool, viaMenu);
    Window w = MakeWindow();
    w.top->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.top.get()));
    const QList<QAction*> items = w.form->WindowMenu()->actions();
    const auto act = [&](TsuiTitleButton* button, int item) {
        if (viaMenu)
            items[item]->trigger();
        else
            QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    };

    act(w.form->MaximizeButton(), 1);
    QTRY_VERIFY(w.top->isMaximized());
    act(w.form->MaximizeButton(), 1);
    QTRY_VERIFY(!w.top->isMaximized());
    act(w.form->MinimizeButton(), 0);
    QTRY_VERIFY(w.top->isMinimized());
    w.top->showNormal();
    QTRY_VERIFY(w.top->isVisible() && !w.top->isMinimized());
    act(w.form->CloseButton(), 3);
    QTRY_VERIFY(!w.top->isVisible());
}

void TitleBarTest::doubleClickBarTogglesMaximized() {
    Window w = MakeWindow();
    w.top->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.top.get()));
    const QPoint onBar(250, 10);
    QTest::mouseDClick(w.form, Qt::LeftButton, {}, onBar);
    QTRY_VERIFY(w.top->isMaximized());
    // The controls keep their places; the form follows the window.
    QCOMPARE(w.form->geometry(), w.top->rect().adjusted(3, 3, -3, -3));
    QTest::mouseDClick(w.form, Qt::LeftButton, {}, onBar);
    QTRY_VERIFY(!w.top->isMaximized());
    QTRY_COMPARE(w.form->size(), QSize(TsuiForm::kClientWidth, TsuiForm::kClientHeight));
    // Below the bar a double click does nothing.
    QTest::mouseDClick(w.form, Qt::LeftButton, {}, QPoint(250, 200));
    QVERIFY(!w.top->isMaximized());
}

void TitleBarTest::doubleClickControlBoxCloses() {
    Window w = MakeWindow();
    w.top->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.top.get()));
    QTest::mouseDClick(w.form->ControlBox(), Qt::LeftButton, {}, QPoint(9, 9));
    QTRY_VERIFY(!w.top->isVisible());
}

void TitleBarTest::dragMovesWindowButNotWhenMaximized() {
    Window w = MakeWindow();
    w.top->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.top.get()));
    const QPoint start = w.top->pos();
    const QPoint grip(250, 12);
    QTest::mousePress(w.form, Qt::LeftButton, {}, grip);
    QTest::mouseMove(w.form, grip + QPoint(30, 20));
    QTest::mouseRelease(w.form, Qt::LeftButton, {}, grip + QPoint(30, 20));
    QTRY_COMPARE(w.top->pos(), start + QPoint(30, 20));

    w.form->ToggleMaximized();
    QTRY_VERIFY(w.top->isMaximized());
    const QPoint maxPos = w.top->pos();
    QTest::mousePress(w.form, Qt::LeftButton, {}, grip);
    QTest::mouseMove(w.form, grip + QPoint(30, 20));
    QTest::mouseRelease(w.form, Qt::LeftButton, {}, grip + QPoint(30, 20));
    QCOMPARE(w.top->pos(), maxPos);
}

// The window is the client area plus the skin's border; even an owner that
// fixed the window at the client size and laid the form over it gets it.
void TitleBarTest::framesItsWindow() {
    QWidget top;
    top.setFixedSize(TsuiForm::kClientWidth, TsuiForm::kClientHeight);
    auto* form = new TsuiForm(&top);
    form->setGeometry(0, 0, TsuiForm::kClientWidth, TsuiForm::kClientHeight);
    top.show();
    QVERIFY(QTest::qWaitForWindowExposed(&top));
    const int b = TsuiForm::kBorderWidth;
    QCOMPARE(top.size(), QSize(TsuiForm::kClientWidth + 2 * b, TsuiForm::kClientHeight + 2 * b));
    QCOMPARE(top.minimumSize(), top.maximumSize());
    QCOMPARE(form->geometry(), QRect(b, b, TsuiForm::kClientWidth, TsuiForm::kClientHeight));
    QVERIFY(top.windowFlags() & Qt::FramelessWindowHint);

    const QImage shot = top.grab().toImage();
    const QColor frame(0x0A, 0x24, 0x6A);
    QCOMPARE(shot.pixelColor(0, top.height() / 2), frame);
    QCOMPARE(shot.pixelColor(top.width() - 1, top.height() / 2), frame);
    QCOMPARE(shot.pixelColor(top.width() / 2, top.height() - 1), frame);
    QCOMPARE(shot.pixelColor(top.width() / 2, 0), frame);

    // Maximizing a fixed window lifts the limit; restoring puts it back.
    form->ToggleMaximized();
    QTRY_VERIFY(top.isMaximized());
    form->ToggleMaximized();
    QTRY_VERIFY(!top.isMaximized());
    QCOMPARE(top.minimumSize(), QSize(TsuiForm::kClientWidth + 2 * b, TsuiForm::kClientHeight + 2 * b));
    QCOMPARE(top.maximumSize(), top.minimumSize());
}

void TitleBarTest::captionColourFollowsActivation() {
    QCOMPARE(TsuiBuiltInFileTheme::CaptionColour(true), QColor(Qt::white));
    QVERIFY(TsuiBuiltInFileTheme::CaptionColour(false) != QColor(Qt::white));

    Window w = MakeWindow();
    w.top->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.top.get()));
    w.top->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.top.get()));
    QCOMPARE(w.form->CaptionColour(), QColor(Qt::white));

    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QTRY_COMPARE(w.form->CaptionColour(), TsuiBuiltInFileTheme::CaptionColour(false));
}

QTEST_MAIN(TitleBarTest)
#include "title_bar_test.moc"
