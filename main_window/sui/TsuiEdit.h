#pragma once
// A single-line text control with the skin's frame. GUI thread only.

#include <QLineEdit>

class TsuiEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TsuiEdit(QWidget* parent = nullptr);
};
