#pragma once
// A hyperlink label: a click opens URL() with the desktop's handler unless
// it is blank. GUI thread only.

#include <QLabel>
#include <QString>

class TsuiURLLabel : public QLabel {
    Q_OBJECT
public:
    explicit TsuiURLLabel(QWidget* parent = nullptr);

    void SetURL(const QString& url);
    QString URL() const { return url_; }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString url_;
};
