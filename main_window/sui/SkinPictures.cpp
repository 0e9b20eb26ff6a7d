#include "SkinPictures.h"

#include <QString>
#include <QtGlobal>

// Resources of a static library are not pulled in by the linker on their own.
// Registered at start-up too, so ":/sui/..." paths (the application icon)
// work before the first skinned control exists.
static void InitSkinResources() { Q_INIT_RESOURCE(sui_pictures); }
namespace {
[[maybe_unused]] const bool kSkinResourcesRegistered = (InitSkinResources(), true);
}  // namespace

namespace sui {

void RegisterSkinResources() { InitSkinResources(); }

namespace {

QImage Load(const char* name) {
    QImage img(QStringLiteral(":/sui/") + QLatin1String(name));
    return img.isNull() ? img : img.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

SkinPictures LoadAll() {
    InitSkinResources();
    SkinPictures s;
    const char* const pieces[] = {"title_left.bmp", "title_caption.bmp", "title_caption_end.bmp",
                                  "title_middle.bmp", "title_right.bmp"};
    for (int i = 0; i < SkinPictures::kTitlePieceCount; ++i)
        s.titlePieces[i] = Load(pieces[i]);
    const char* const kinds[] = {"controlbox", "close", "maximize", "minimize"};
    const char* const states[] = {"normal", "hover", "pressed"};
    for (int k = 0; k < 4; ++k)
        for (int st = 0; st < 3; ++st)
            s.titleButtons[k][st] =
                Load(QStringLiteral("title_%1_%2.png").arg(kinds[k], states[st]).toLatin1().constData());
    const char* const faces[] = {"button_normal.png", "button_hover.png", "button_pressed.png",
                                 "button_disabled.png"};
    for (int i = 0; i < 4; ++i)
        s.faces[i] = Load(faces[i]);
    const char* const borders[] = {"border_left.png", "border_right.png", "border_bottom.png",
                                   "border_bottomleft.png", "border_bottomright.png"};
    for (int i = 0; i < 5; ++i)
        s.borders[i] = Load(borders[i]);
    // The 8-bit fill keeps its own format: stretched, it stays crisp stripes.
    s.progressFill = QImage(QStringLiteral(":/sui/progress_fill.bmp"));
    s.banner = QImage(QStringLiteral(":/sui/banner.bmp"));
    s.icon = QImage(QStringLiteral(":/sui/icon.png"));
    return s;
}

}  // namespace

const SkinPictures& Skin() {
    static const SkinPictures skin = LoadAll();
    return skin;
}

void DrawNineSlice(QPainter& p, const QRect& target, const QImage& face, int margin) {
    if (face.isNull() || target.isEmpty())
        return;
    const int m = qMin(margin, qMin(target.width(), target.height()) / 2);
    const int fw = face.width(), fh = face.height();
    const int xs[4] = {0, margin, fw - margin, fw};
    const int ys[4] = {0, margin, fh - margin, fh};
    const int xd[4] = {target.left(), target.left() + m, target.right() + 1 - m, target.right() + 1};
    const int yd[4] = {target.top(), target.top() + m, target.bottom() + 1 - m, target.bottom() + 1};
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) {
            const QRect src(xs[col], ys[row], xs[col + 1] - xs[col], ys[row + 1] - ys[row]);
            const QRect dst(xd[col], yd[row], xd[col + 1] - xd[col], yd[row + 1] - yd[row]);
            if (!dst.isEmpty() && !src.isEmpty())
                p.drawImage(dst, face, src);
        }
}

}  // namespace sui
