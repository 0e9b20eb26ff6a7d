#pragma once
// The status log's control: multi-line text on money green (#C0DCC0) in
// bold blue Courier New, the skin's #09206A frame with a ring of background
// inside it, a 2-pixel inner margin and a vertical scroll bar in the skin's
// own drawing (TsuiScrollBarStyle) that is always shown. GUI thread only.

#include <QPlainTextEdit>

class TsuiMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int kInnerMargin = 2;
    static inline const QColor kBackground{0xC0, 0xDC, 0xC0};
    static inline const QColor kTextColour{0x00, 0x00, 0xFF};

    explicit TsuiMemo(QWidget* parent = nullptr);
};
