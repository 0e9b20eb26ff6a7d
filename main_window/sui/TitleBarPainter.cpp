#include "TitleBarPainter.h"

#include "SkinPictures.h"

#include <algorithm>

namespace sui {

void PaintTitlePieces(QPainter& p, int left, int top, int width, int captionWidth) {
    const SkinPictures& skin = Skin();
    const int leftW = kTitlePieceWidths[0];
    const int endW = kTitlePieceWidths[2];
    const int rightW = kTitlePieceWidths[4];
    const int cw = std::max(0, std::min(captionWidth, width - leftW - endW - rightW));
    const int middleW = std::max(0, width - leftW - cw - endW - rightW);
    const int h = kTitlePieceHeight;
    int x = left;
    p.drawImage(QRect(x, top, leftW, h), skin.titlePieces[0]);
    x += leftW;
    p.drawImage(QRect(x, top, cw, h), skin.titlePieces[1]);
    x += cw;
    p.drawImage(QRect(x, top, endW, h), skin.titlePieces[2]);
    x += endW;
    p.drawImage(QRect(x, top, middleW, h), skin.titlePieces[3]);
    x += middleW;
    p.drawImage(QRect(x, top, rightW, h), skin.titlePieces[4]);
}

}  // namespace sui
