#include "TsuiForm.h"

#include "CaptionElision.h"
#include "SkinPictures.h"
#include "SuiFonts.h"
#include "TitleBarPainter.h"
#include "TsuiBuiltInFileTheme.h"
#include "TsuiTitleButton.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include <algorithm>

namespace {

const QColor kBackground(0xE8, 0xE8, 0xE8);
// The caption plate reaches this far past the end of the caption's text.
constexpr int kPlatePastText = 6;

}  // namespace

TsuiForm::TsuiForm(QWidget* parent)
    : QWidget(parent),
      controlBox_(new TsuiTitleButton(sui::TitleButtonKind::ControlBox, this)),
      close_(new TsuiTitleButton(sui::TitleButtonKind::Close, this)),
      maximize_(new TsuiTitleButton(sui::TitleButtonKind::Maximize, this)),
      minimize_(new TsuiTitleButton(sui::TitleButtonKind::Minimize, this)),
      menu_(new QMenu(this)) {
    setGeometry(0, 0, kClientWidth, kClientHeight);
    setFont(sui::WindowFont());
    controlBox_->move(kControlBoxLeft, kTitleButtonTop);
    PlaceTitleButtons();

    menu_->addAction(tr("Mi&nimize"), this, [this] { window()->showMinimized(); });
    menu_->addAction(tr("Ma&ximize/Restore"), this, &TsuiForm::ToggleMaximized);
    menu_->addSeparator();
    menu_->addAction(tr("&Close"), this, [this] { window()->close(); });

    connect(close_, &QAbstractButton::clicked, this, [this] { window()->close(); });
    connect(maximize_, &QAbstractButton::clicked, this, &TsuiForm::ToggleMaximized);
    connect(minimize_, &QAbstractButton::clicked, this, [this] { window()->showMinimized(); });
    connect(controlBox_, &QAbstractButton::clicked, this, &TsuiForm::ShowWindowMenu);
    connect(controlBox_, &TsuiTitleButton::doubleClicked, this, [this] { window()->close(); });

    if (parent)
        AttachToWindow();
}

void TsuiForm::SetCaption(const QString& caption) {
    caption_ = caption;
    if (window() != this)
        window()->setWindowTitle(caption);
    update();
}

QRect TsuiForm::CaptionRect() const {
    const int left = controlBox_->geometry().right() + 1 + kCaptionGap;
    const int right = minimize_->x() - kCaptionGap;
    return QRect(left, kTitleButtonTop, std::max(0, right - left), TsuiTitleButton::kSize);
}

QString TsuiForm::ShownCaption() const {
    return sui::ElideCaption(caption_, QFontMetrics(sui::TitleCaptionFont()), CaptionRect().width());
}

QColor TsuiForm::CaptionColour() const { return TsuiBuiltInFileTheme::CaptionColour(isActiveWindow()); }

void TsuiForm::ToggleMaximized() {
    QWidget* w = window();
    if (w == this)
        return;
    if (w->isMaximized()) {
        w->showNormal();
        if (fixedNormalSize_.isValid()) {
            w->setFixedSize(fixedNormalSize_);
            fixedNormalSize_ = QSize();
        }
        return;
    }
    // A window fixed at its size cannot grow: lift the limit until restored.
    if (w->minimumSize() == w->maximumSize()) {
        fixedNormalSize_ = w->size();
        w->setMinimumSize(0, 0);
        w->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
    w->showMaximized();
}

void TsuiForm::PlaceTitleButtons() {
    const int step = TsuiTitleButton::kSize + kButtonSpacing;
    const int closeX = width() - kRightMargin - TsuiTitleButton::kSize;
    close_->move(closeX, kTitleButtonTop);
    maximize_->move(closeX - step, kTitleButtonTop);
    minimize_->move(closeX - 2 * step, kTitleButtonTop);
}

void TsuiForm::ShowWindowMenu() { menu_->popup(mapToGlobal(QPoint(0, kTitleBarHeight))); }

void TsuiForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    PlaceTitleButtons();
}

void TsuiForm::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange)
        update(0, 0, width(), kTitleBarHeight);
    else if (event->type() == QEvent::ParentChange && parentWidget())
        AttachToWindow();
    QWidget::changeEvent(event);
}

void TsuiForm::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), kBackground);

    const QFont font = sui::TitleCaptionFont();
    const QString shown = ShownCaption();
    const QRect captionRect = CaptionRect();
    // Stretch the caption piece so the dark plate runs past the text; in the
    // bar's coordinates the plate starts under the control box's right edge.
    const int textEnd = kBorderWidth + captionRect.left() + QFontMetrics(font).horizontalAdvance(shown);
    const int plateEndNeeded = textEnd + kPlatePastText;
    const int pieceStart = sui::kTitlePieceWidths[0];
    const int captionWidth =
        std::max(sui::kTitlePieceWidths[1], plateEndNeeded - sui::kPlateEndInClosingPiece - pieceStart);
    // The bar is laid over the window's full width, its top rows and left
    // and right columns belonging to the border outside this form.
    p.save();
    p.setClipRect(0, 0, width(), kTitleBarHeight);
    sui::PaintTitlePieces(p, -kBorderWidth, -sui::kTitlePieceHeight + kTitleBarHeight,
                          width() + 2 * kBorderWidth, captionWidth);
    p.restore();

    p.setFont(font);
    p.setPen(CaptionColour());
    p.drawText(captionRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

bool TsuiForm::InTitleBar(const QPoint& pos) const { return pos.y() >= 0 && pos.y() < kTitleBarHeight; }

void TsuiForm::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !InTitleBar(event->position().toPoint())) {
        QWidget::mousePressEvent(event);
        return;
    }
    event->accept();
    QWidget* w = window();
    if (w == this || w->isMaximized())
        return;
    QWindow* handle = w->windowHandle();
    if (handle && handle->startSystemMove())
        return;
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - w->frameGeometry().topLeft();
}

void TsuiForm::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_ && (event->buttons() & Qt::LeftButton)) {
        window()->move(event->globalPosition().toPoint() - dragOffset_);
        event->accept();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void TsuiForm::mouseReleaseEvent(QMouseEvent* event) {
    dragging_ = false;
    QWidget::mouseReleaseEvent(event);
}

void TsuiForm::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && InTitleBar(event->position().toPoint()) && window() != this) {
        dragging_ = false;
        ToggleMaximized();
        event->accept();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

void TsuiForm::AttachToWindow() {
    QWidget* w = parentWidget();
    if (!w || !w->isWindow() || w == framedWindow_)
        return;
    if (framedWindow_)
        framedWindow_->removeEventFilter(this);
    framedWindow_ = w;
    if (!(w->windowFlags() & Qt::FramelessWindowHint)) {
        const bool wasVisible = w->isVisible();
        w->setWindowFlags(w->windowFlags() | Qt::FramelessWindowHint);
        if (wasVisible)
            w->show();
    }
    w->installEventFilter(this);
    Reframe();
}

void TsuiForm::Reframe() {
    QWidget* w = framedWindow_;
    if (!w)
        return;
    if (!w->isMaximized() && !w->isFullScreen()) {
        const QSize outer(kClientWidth + 2 * kBorderWidth, kClientHeight + 2 * kBorderWidth);
        if (w->minimumSize() == w->maximumSize())
            w->setFixedSize(outer);
        else
            w->resize(outer);
    }
    PlaceInWindow();
}

void TsuiForm::PlaceInWindow() {
    setGeometry(kBorderWidth, kBorderWidth, framedWindow_->width() - 2 * kBorderWidth,
                framedWindow_->height() - 2 * kBorderWidth);
}

bool TsuiForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == framedWindow_) {
        switch (event->type()) {
            case QEvent::Polish:
            case QEvent::Show:
                // The owner may have laid the form over the whole window after
                // creating it; frame it again before the window appears.
                Reframe();
                break;
            case QEvent::Resize: PlaceInWindow(); break;
            case QEvent::Paint: PaintWindowBorder(framedWindow_); break;
            default: break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TsuiForm::PaintWindowBorder(QWidget* w) {
    const sui::SkinPictures& skin = sui::Skin();
    const int b = kBorderWidth;
    const int W = w->width(), H = w->height();
    QPainter p(w);
    // Top edge: the title pieces' first rows, laid as the form lays them.
    p.setClipRect(0, 0, W, b + kTitleBarHeight);
    sui::PaintTitlePieces(p, 0, 0, W, sui::kTitlePieceWidths[1]);
    p.setClipping(false);
    p.drawImage(QRect(0, b + kTitleBarHeight, b, H - 2 * b - kTitleBarHeight),
                skin.Border(sui::BorderPiece::Left));
    p.drawImage(QRect(W - b, b + kTitleBarHeight, b, H - 2 * b - kTitleBarHeight),
                skin.Border(sui::BorderPiece::Right));
    p.drawImage(QRect(b, H - b, W - 2 * b, b), skin.Border(sui::BorderPiece::Bottom));
    p.drawImage(QRect(0, H - b, b, b), skin.Border(sui::BorderPiece::BottomLeft));
    p.drawImage(QRect(W - b, H - b, b, b), skin.Border(sui::BorderPiece::BottomRight));
}
