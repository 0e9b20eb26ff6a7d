#pragma once
// A hyperlink label in bold underlined 32-pixel MS Sans Serif: #0000FF,
// #FF0000 while the pointer is over it, the hand cursor, no tooltip. A left
// click opens URL() with the desktop's handler, nothing when it is blank.
// GUI thread only.

#include <QColor>
#include <QLabel>
#include <QString>
#include <QUrl>

#include <functional>

class TsuiURLLabel : public QLabel {
    Q_OBJECT
public:
    static inline const QColor kLinkColour{0x00, 0x00, 0xFF};
    static inline const QColor kHoverColour{0xFF, 0x00, 0x00};

    // Opens a link; QDesktopServices::openUrl unless replaced (tests).
    using UrlOpener = std::function<bool(const QUrl&)>;
    static void SetUrlOpener(UrlOpener opener);

    explicit TsuiURLLabel(QWidget* parent = nullptr);

    void SetURL(const QString& url);
    QString URL() const { return url_; }
    // The colour the text is drawn in now.
    QColor TextColour() const;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* e) override;

private:
    void SetTextColour(const QColor& colour);

    QString url_;
};
