#pragma once
// One of the title bar's buttons (control box, close, maximize, minimize):
// shows its normal picture, its pointer-over picture while the pointer is
// over it and its pressed picture while the left button is held on it.
// Emits clicked() on release over it, doubleClicked() on a double click.
// GUI thread only.

#include "SkinPictures.h"

#include <QAbstractButton>

class TsuiTitleButton : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr int kSize = 18;

    TsuiTitleButton(sui::TitleButtonKind kind, QWidget* parent = nullptr);

    sui::TitleButtonKind Kind() const { return kind_; }
    // The picture state the button shows now.
    sui::TitleButtonState State() const;

    QSize sizeHint() const override { return {kSize, kSize}; }

signals:
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool event(QEvent* e) override;

private:
    sui::TitleButtonKind kind_;
};
