#pragma once
// A single-line text control on the info-background colour in Arial, with
// the skin's #09206A frame and a ring of background inside it. GUI thread
// only.

#include <QLineEdit>

class TsuiEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TsuiEdit(QWidget* parent = nullptr);

    // The system's tooltip background colour, which the edit shows.
    static QColor InfoBackground();
};
