#pragma once
// The skin's scroll bar, drawn here in flat colours and square pixels: a
// track, a thumb and two buttons with solid arrows. The platform styles draw
// their buttons from caches made at the screen's pixel ratio, so on a scaled
// desktop the enlarged 100 % window would show other buttons; these are the
// same pixels at every scale. Geometry and behaviour stay the platform
// style's. Set on a scroll bar (which it may be a child of); GUI thread only.

#include <QProxyStyle>

class TsuiScrollBarStyle : public QProxyStyle {
    Q_OBJECT
public:
    static inline const QColor kTrack{0xF0, 0xF0, 0xF0};
    static inline const QColor kFace{0xE4, 0xE4, 0xE4};
    static inline const QColor kPressedFace{0xC8, 0xC8, 0xC8};
    static inline const QColor kEdge{0xA0, 0xA0, 0xA0};
    static inline const QColor kArrow{0x40, 0x40, 0x40};
    static inline const QColor kDisabledArrow{0xA0, 0xA0, 0xA0};

    using QProxyStyle::QProxyStyle;

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget = nullptr) const override;
};
