// Not a test: draws the README's picture of the window during an upload.
// Runs the real window against the simulated STB on a pseudo-terminal,
// waits until the progress bar has passed `--at` percent, grabs the window
// and saves it.
//
//   readme_screenshot OUTPUT.png [--at PERCENT]
//
// Build it on demand (`ninja readme_screenshot`); run it with
// QT_QPA_PLATFORM=offscreen or under xvfb-run.

#include "StbSimulator.h"
#include "TsuiButton.h"
#include "TsuiMemo.h"
#include "TsuiProgressBar.h"
#include "Unit1.h"
#include "WholeScale.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int kBodyBytes = 96 * 1024;  // about 9 s on the paced line
constexpr int kPollMs = 20;
constexpr int kGiveUpMs = 30000;

QString MakeImage(const QString& folder) {
    QByteArray bytes(64 + kBodyBytes, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[16 + i] = char(quint32(kBodyBytes) >> (24 - 8 * i));
    bytes.replace(32, 4, QByteArray("DAT\0", 4));
    for (int i = 64; i < bytes.size(); ++i)
        bytes[i] = char(i * 31);
    const QString path = QDir(folder).filePath(QStringLiteral("receiver_v2.zarn"));
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    sui::UseWholeScaleFactors();
    QApplication app(argc, argv);
    sui::PixelMultiplier::InstallOn(app);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: readme_screenshot OUTPUT.png [--at PERCENT]\n");
        return 2;
    }
    const QString output = args[1];
    const int at = args.size() >= 4 && args[2] == QLatin1String("--at") ? args[3].toInt() : 42;

    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/firmware-XXXXXX"));
    qputenv("ZARN_PORT_DIR", QFile::encodeName(work.path()));
    stbsim::SimOptions options;
    options.pace = true;
    options.makePortLink = true;
    options.portDir = work.path().toStdString();
    options.greetInterval = std::chrono::milliseconds(400);
    stbsim::StbSimulator sim(options);
    sim.Start();
    const auto comNumber = uint16_t(std::stoi(sim.PortName().substr(3)));

    const QString image = MakeImage(work.path());
    auto* form = new TForm1;
    Form1 = form;
    // After the window, which installs its own port prompt.
    SetPortPromptHook([comNumber]() -> std::optional<uint16_t> { return comNumber; });
    form->OpenDialog1->SetChooser(
        [image](const TCommonFileDialog&) { return std::optional<QString>(image); });
    form->show();
    form->SpeedButton5->click();
    form->SpeedButton1->click();
    form->SpeedButton2->click();

    int waited = 0;
    int status = 1;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        waited += kPollMs;
        const TsuiProgressBar* bar = form->ProgressBar1;
        const bool far = bar->Max() > bar->Min() && (qint64(bar->Position()) - bar->Min()) * 100 >=
                                                        qint64(at) * (bar->Max() - bar->Min());
        if (far) {
            status = form->grab().save(output) ? 0 : 1;
            app.quit();
        } else if (waited > kGiveUpMs) {
            std::fprintf(stderr, "readme_screenshot: the upload did not get that far:\n%s\n",
                         qPrintable(form->Memo1->toPlainText()));
            app.quit();
        }
    });
    poll.start(kPollMs);
    app.exec();

    form->SpeedButton1->click();  // Disconnect: stop the task
    delete form;                  // waits for the task's end
    Form1 = nullptr;
    SetPortPromptHook(nullptr);
    return status;
}
