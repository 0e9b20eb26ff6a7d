#pragma once
// The skinned frame: fills the window's client area, draws the title bar at
// its top and the flat window background elsewhere, and is the parent of
// every visible control. GUI thread only.

#include <QString>
#include <QWidget>

class TsuiForm : public QWidget {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 487;
    static constexpr int kClientHeight = 384;
    static constexpr int kTitleBarHeight = 28;

    explicit TsuiForm(QWidget* parent = nullptr);

    // The title-bar text; also the top-level window's title.
    void SetCaption(const QString& caption);
    QString Caption() const { return caption_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString caption_;
};
