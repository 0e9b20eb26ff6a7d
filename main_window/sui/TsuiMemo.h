#pragma once
// The status log's control: a read-only multi-line text with a permanent
// vertical scroll bar. GUI thread only.

#include <QPlainTextEdit>

class TsuiMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TsuiMemo(QWidget* parent = nullptr);
};
