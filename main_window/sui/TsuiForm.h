#pragma once
// The skinned frame: fills the window's client area (487 x 384), draws the
// 28-pixel title bar from the skin's five pieces at its top and the flat
// #E8E8E8 background elsewhere, and is the parent of every visible control.
//
// Title bar: the control box at the left (a click opens the window menu
// "Mi&nimize", "Ma&ximize/Restore", "&Close"; a double click closes), the
// caption 5 pixels right of it, cut with "..." when too long, and close,
// maximize and minimize at the right. Dragging the bar moves the window
// (not while maximized); a double click toggles maximized.
//
// Frame: when the form's parent is a top-level window, the form makes that
// window frameless and frames itself in it: the window grows by the skin's
// border (3 pixels left, right and bottom; 3 pixels on top, where the title
// bar's pieces continue), the form sits at (3, 3), follows the window's size
// when it is maximized, and the window's border is painted from the skin.
// It does so when created and again when the window is polished and shown,
// so an owner that first laid the form over the whole window (or fixed the
// window at the client size) still gets the frame; a window fixed at its
// size stays fixed at the framed size. The window's position stays where its
// owner puts it.
//
// GUI thread only.

#include <QMenu>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QWidget>

class TsuiTitleButton;

class TsuiForm : public QWidget {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 487;
    static constexpr int kClientHeight = 384;
    static constexpr int kTitleBarHeight = 28;  // the title pieces' 31 rows less the 3 of the top border
    static constexpr int kBorderWidth = 3;
    static constexpr int kControlBoxLeft = 3;
    static constexpr int kTitleButtonTop = 5;
    static constexpr int kCaptionGap = 5;   // control box to caption
    static constexpr int kRightMargin = 4;  // close button to the right edge
    static constexpr int kButtonSpacing = 1;

    explicit TsuiForm(QWidget* parent = nullptr);

    // The title-bar text; also the top-level window's title.
    void SetCaption(const QString& caption);
    QString Caption() const { return caption_; }
    // The caption as the bar shows it now, cut with "..." when too long.
    QString ShownCaption() const;
    // Where the caption's text starts and the room it has.
    QRect CaptionRect() const;
    // The caption's colour now: white when the window is active, else the
    // inactive-caption colour.
    QColor CaptionColour() const;

    TsuiTitleButton* ControlBox() const { return controlBox_; }
    TsuiTitleButton* CloseButton() const { return close_; }
    TsuiTitleButton* MaximizeButton() const { return maximize_; }
    TsuiTitleButton* MinimizeButton() const { return minimize_; }
    // The control box's menu; its actions act like the title-bar buttons.
    QMenu* WindowMenu() const { return menu_; }

public slots:
    void ToggleMaximized();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PlaceTitleButtons();
    void ShowWindowMenu();
    void AttachToWindow();
    void Reframe();
    void PlaceInWindow();
    void PaintWindowBorder(QWidget* window);
    bool InTitleBar(const QPoint& pos) const;

    QString caption_;
    TsuiTitleButton* controlBox_;
    TsuiTitleButton* close_;
    TsuiTitleButton* maximize_;
    TsuiTitleButton* minimize_;
    QMenu* menu_;
    QWidget* framedWindow_ = nullptr;
    QSize fixedNormalSize_;  // valid while a fixed-size window is maximized
    // Fallback drag when the window system has no move of its own.
    bool dragging_ = false;
    QPoint dragOffset_;
};
