#include "MainWindowLayout.h"

#include <QFile>

#include "GlyphBitmap.h"

// Resources of a static library are registered by name, at global scope.
static void InitWindowResources() { Q_INIT_RESOURCE(glyphs); }

namespace MainWindowLayout {

namespace {
constexpr int kWindowFontPixels = 11;
constexpr int kButtonFontPixels = 19;

QImage LoadBitmapResource(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QImage();
  const QByteArray bytes = file.readAll();
  try {
    return DecodeBitmapFile(reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<size_t>(bytes.size()));
  } catch (const EInvalidGraphic&) {
    return QImage();
  }
}
}  // namespace

QString ApplicationCaption() { return QStringLiteral("ZARN Multi-Loader V1.20"); }

QFont WindowFont() {
  QFont font;
  font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
  font.setPixelSize(kWindowFontPixels);
  return font;
}

QFont ButtonFont() {
  QFont font;
  font.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"), QStringLiteral("DejaVu Sans Mono")});
  font.setPixelSize(kButtonFontPixels);
  font.setBold(true);
  font.setStyleHint(QFont::TypeWriter);
  return font;
}

QImage LoadGlyphResource(const QString& path) {
  InitWindowResources();
  return LoadBitmapResource(path);
}

QImage LoadBanner() {
  for (const char* path : {":/main_window/banner.bmp", ":/pictures/banner.bmp", ":/sui/banner.bmp"}) {
    QImage banner = LoadBitmapResource(QString::fromLatin1(path));
    if (!banner.isNull()) return banner;
  }
  return QImage();
}

}  // namespace MainWindowLayout
