#include "MainWindowLayout.h"

#include <QFile>

#include "GlyphBitmap.h"
#include "SkinPictures.h"
#include "SuiFontFamilies.h"

namespace MainWindowLayout {

namespace {
constexpr int kWindowFontPixels = 11;
constexpr int kButtonFontPixels = 19;

QImage LoadBitmapResource(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QImage();
  const QByteArray bytes = file.readAll();
  try {
    return DecodeBitmapFile(reinterpret_cast<const uint8_t*>(bytes.constData()),
                            static_cast<size_t>(bytes.size()));
  } catch (const EInvalidGraphic&) {
    return QImage();
  }
}
}  // namespace

QString ApplicationCaption() { return QStringLiteral("ZARN Multi-Loader V1.20"); }

QFont WindowFont() {
  QFont font;
  font.setFamilies(sui::SystemFontFamilies().sansSerif);
  font.setPixelSize(kWindowFontPixels);
  return font;
}

QFont ButtonFont() {
  QFont font;
  font.setFamilies(sui::SystemFontFamilies().courier);
  font.setPixelSize(kButtonFontPixels);
  font.setBold(true);
  font.setStyleHint(QFont::TypeWriter);
  return font;
}

QImage LoadGlyphResource(const QString& path) {
  sui::RegisterSkinResources();
  return LoadBitmapResource(path);
}

QImage LoadBanner() { return sui::Skin().banner; }

}  // namespace MainWindowLayout
