#pragma once
// A panel that stretches one picture over its whole area and shows no text.
// GUI thread only.

#include <QImage>
#include <QWidget>

class TsuiImagePanel : public QWidget {
    Q_OBJECT
public:
    explicit TsuiImagePanel(QWidget* parent = nullptr);

    void SetPicture(const QImage& picture);
    QImage Picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
};
