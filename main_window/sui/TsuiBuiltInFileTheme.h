#pragma once
// The skin held inside the executable: a blue, glossy theme that gives the
// push buttons their faces (normal, pointer over, pressed, disabled), the
// frame its title-bar pieces, title-bar buttons and border strips, and the
// caption colours. Every skinned control draws from the same built-in
// pictures (SkinPictures); this object is the window's handle on them.
// GUI thread only; the pictures never change after loading.

#include "SkinPictures.h"

#include <QColor>
#include <QImage>
#include <QObject>

class TsuiBuiltInFileTheme : public QObject {
    Q_OBJECT
public:
    explicit TsuiBuiltInFileTheme(QObject* parent = nullptr);

    const QImage& ButtonFace(sui::FaceState state) const { return sui::Skin().Face(state); }
    const QImage& TitlePiece(int index) const { return sui::Skin().titlePieces[index]; }
    const QImage& TitleButton(sui::TitleButtonKind kind, sui::TitleButtonState state) const {
        return sui::Skin().TitleButton(kind, state);
    }
    const QImage& Border(sui::BorderPiece piece) const { return sui::Skin().Border(piece); }

    // Colour of the title-bar caption: white while the window is active,
    // the inactive-caption text colour otherwise.
    static QColor CaptionColour(bool active);
};
