// The window on a scaled desktop. The offscreen screen's logical DPI comes
// from ZARN_TEST_DPI (ctest runs this program once per setting), and the
// window must come out at the whole factor that setting allows, its pixels
// being its 1x picture enlarged square by square.

#include "TsuiMemo.h"
#include "Unit1.h"
#include "WholeScale.h"

#include <QtTest>

#include <memory>

namespace {

constexpr int kBaseDpi = 96;

int TestDpi() { return qEnvironmentVariableIntValue("ZARN_TEST_DPI"); }

// The factor the desktop's setting allows: the whole part of dpi / 96.
int ExpectedFactor() { return qMax(1, TestDpi() / kBaseDpi); }

// The window's pixels as its widgets paint them on its screen, in device
// pixels, after a repaint cycle: the work Qt has posted (a text control lays
// its text out), the update request with which Qt starts a repaint, then the
// paints (a grab, as the offscreen screen's own grab copies a window at its
// logical size).
QImage ScreenPixels(QWidget& window) {
    QCoreApplication::processEvents();
    QEvent updateRequest(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(&window, &updateRequest);
    return window.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The window painted at 1x by Qt alone, as a 100 % desktop shows it.
QImage PictureAtOneX(QWidget& window) {
    auto* multiplier = qApp->findChild<sui::PixelMultiplier*>();
    if (multiplier)
        qApp->removeEventFilter(multiplier);
    QImage picture(window.size(), QImage::Format_RGB32);
    picture.fill(Qt::black);
    window.render(&picture);
    if (multiplier)
        qApp->installEventFilter(multiplier);
    return picture;
}

// Where `screen` is not `picture` enlarged `factor` times: the first
// differing device pixel, or an empty string.
QString FirstDifference(const QImage& screen, const QImage& picture, int factor) {
    if (screen.size() != picture.size() * factor)
        return QStringLiteral("screen %1x%2, picture %3x%4")
            .arg(screen.width())
            .arg(screen.height())
            .arg(picture.width())
            .arg(picture.height());
    for (int y = 0; y < screen.height(); ++y)
        for (int x = 0; x < screen.width(); ++x)
            if (screen.pixel(x, y) != picture.pixel(x / factor, y / factor))
                return QStringLiteral("device pixel (%1,%2)").arg(x).arg(y);
    return {};
}

}  // namespace

class WholeScaleTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void windowTakesTheWholeFactor();
    void pixelsAreTheOneXPictureEnlarged();
    void laterPaintsStayEnlarged();

private:
    std::unique_ptr<TForm1> form_;
};

void WholeScaleTest::init() {
    form_ = std::make_unique<TForm1>();
    Form1 = form_.get();
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
}

void WholeScaleTest::cleanup() {
    form_.reset();
    Form1 = nullptr;
}

void WholeScaleTest::windowTakesTheWholeFactor() {
    const int factor = ExpectedFactor();
    QCOMPARE(form_->devicePixelRatioF(), qreal(factor));
    // The 487 x 384 client inside the skin's 3-pixel border, as at 100 %.
    QCOMPARE(form_->size(), QSize(493, 390));
    QCOMPARE(ScreenPixels(*form_).size(), QSize(493, 390) * factor);
    QCOMPARE(sui::PixelMultiplier::FactorFor(*form_), factor > 1 ? factor : 0);
}

void WholeScaleTest::pixelsAreTheOneXPictureEnlarged() {
    const int factor = ExpectedFactor();
    form_->Memo1->appendPlainText(QStringLiteral("Waiting for STB..."));
    const QImage screen = ScreenPixels(*form_);
    QCOMPARE(FirstDifference(screen, PictureAtOneX(*form_), factor), QString());
}

// A control repainting on its own (the log gaining lines) paints only its part of
// the window: that part must be enlarged from the same 1x picture.
void WholeScaleTest::laterPaintsStayEnlarged() {
    const int factor = ExpectedFactor();
    const QImage before = ScreenPixels(*form_);
    for (int i = 0; i < 12; ++i)
        form_->Memo1->appendPlainText(QStringLiteral("Packet %1 sent").arg(i));
    QVERIFY(ScreenPixels(*form_) != before);
    const QImage screen = ScreenPixels(*form_);
    QCOMPARE(FirstDifference(screen, PictureAtOneX(*form_), factor), QString());
}

int main(int argc, char** argv) {
    // The offscreen screen with the desktop setting under test.
    QTemporaryDir folder;
    const QString config = folder.filePath(QStringLiteral("screen.json"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return 2;
    file.write(QStringLiteral(R"({"screens":[{"name":"scaled","x":0,"y":0,"width":2400,"height":1800,)"
                              R"("logicalDpi":%1,"logicalBaseDpi":96,"dpr":1}]})")
                   .arg(TestDpi())
                   .toUtf8());
    file.close();
    qputenv("QT_QPA_PLATFORM", QFile::encodeName(QStringLiteral("offscreen:configfile=") + config));
    sui::UseWholeScaleFactors();
    QApplication app(argc, argv);
    sui::PixelMultiplier::InstallOn(app);
    WholeScaleTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "whole_scale_test.moc"
