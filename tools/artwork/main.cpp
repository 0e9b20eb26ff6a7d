// zarn-artwork: draws every picture of the window and writes them, with the
// connected-state glyph as a C++ constant, into the pictures folder.
//
//   zarn-artwork [--preview DIR] [OUTPUT_DIR]
//
// OUTPUT_DIR defaults to the source tree's main_window/pictures. --preview
// also writes each picture as an 8x enlarged PNG for looking at.

#include "Artwork.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QStringList>

#include <cstdio>

namespace {

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "zarn-artwork: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // Draws into images only; no screen is needed, but fonts are.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QString outDir = QStringLiteral(ZARN_PICTURES_DIR);
    QString previewDir;
    QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--preview") && i + 1 < args.size()) {
            previewDir = args[++i];
        } else if (args[i].startsWith(QLatin1Char('-'))) {
            std::fprintf(stderr, "usage: zarn-artwork [--preview DIR] [OUTPUT_DIR]\n");
            return 2;
        } else {
            outDir = args[i];
        }
    }

    QDir().mkpath(outDir);
    bool ok = true;
    for (const artwork::PictureFile& file : artwork::DrawAll()) {
        ok = WriteFile(QDir(outDir).filePath(file.name), file.bytes) && ok;
        if (!previewDir.isEmpty() && !file.picture.isNull()) {
            QDir().mkpath(previewDir);
            const QImage big =
                file.picture.scaled(file.picture.size() * 8, Qt::IgnoreAspectRatio, Qt::FastTransformation);
            big.save(QDir(previewDir).filePath(file.name + ".png"));
        }
    }
    return ok ? 0 : 1;
}
