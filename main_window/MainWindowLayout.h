// The main window's stored layout: where each control sits, the fonts the
// layout gives them, the credit line and the pictures it carries. Pixels,
// relative to the client area, not scaled by the desktop's DPI setting.
//
// Threads: the picture loaders run on the GUI thread.
#pragma once

#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

namespace MainWindowLayout {

inline constexpr QSize kClientSize{487, 384};
inline constexpr QPoint kWindowPosition{617, 182};

inline constexpr QRect kBannerRect{0, 28, 489, 61};  // 2 px wider than the window on purpose
inline constexpr QRect kPathEditRect{8, 93, 473, 22};
inline constexpr QRect kConnectButtonRect{8, 120, 153, 57};
inline constexpr QRect kLoadButtonRect{8, 184, 153, 57};
inline constexpr QRect kSendButtonRect{8, 248, 153, 57};
inline constexpr QRect kMemoRect{165, 120, 316, 185};
inline constexpr QRect kProgressBarRect{8, 312, 473, 25};
inline constexpr QRect kUrlLabelRect{96, 343, 291, 37};

inline const QString kCreditText = QStringLiteral("by ZARN Team");
inline const QString kCreditUrl = QStringLiteral("https://zarn-loader.example.org/");

// Resource paths of the stored layout's glyphs.
inline const QString kConnectGlyph = QStringLiteral(":/sui/connect.bmp");
inline const QString kLoadGlyph = QStringLiteral(":/sui/load.bmp");
inline const QString kSendGlyph = QStringLiteral(":/sui/send.bmp");

// "ZARN Multi-Loader V1.20": the window's caption and the application title.
QString ApplicationCaption();

// The window's default font (MS Sans Serif, 11 px) and the buttons' (Courier
// New, 19 px, bold), with the free faces that stand in for them.
QFont WindowFont();
QFont ButtonFont();

// A glyph of the stored layout; a null image when the resource is missing or
// not a bitmap (the button then shows its caption alone).
QImage LoadGlyphResource(const QString& path);

// The banner picture, or a null image while the artwork has none.
QImage LoadBanner();

}  // namespace MainWindowLayout
