#pragma once
// A flat progress bar with a centred percentage caption and a stretched fill
// picture. Range and position may be set in any order; the caption and fill
// edge follow ProgressBarMath. GUI thread only (tasks reach it through the
// window, which marshals their calls to this thread).

#include <QImage>
#include <QString>
#include <QWidget>

class TsuiProgressBar : public QWidget {
    Q_OBJECT
public:
    explicit TsuiProgressBar(QWidget* parent = nullptr);

    int Min() const { return min_; }
    int Max() const { return max_; }
    int Position() const { return position_; }
    void SetMin(int min);
    void SetMax(int max);
    void SetPosition(int position);
    // Moves the position by `delta`; saturates instead of overflowing.
    void StepBy(int delta);

    // What the bar shows: "<percent>%".
    QString CaptionText() const;
    // x of the fill's right edge at the bar's current width; 1 means no fill.
    int FillEdge() const;

    // The picture stretched over the filled part; the skin's by default.
    void SetFillPicture(const QImage& picture);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int min_ = 0;
    int max_ = 100;
    int position_ = 0;
    QImage fill_;
};
