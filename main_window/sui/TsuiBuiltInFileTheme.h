#pragma once
// The skin held inside the executable: button faces, border pieces and the
// title-bar pictures that the skinned controls draw themselves from.
// Lives on the GUI thread; its pictures are loaded once and never change.

#include <QObject>

class TsuiBuiltInFileTheme : public QObject {
    Q_OBJECT
public:
    explicit TsuiBuiltInFileTheme(QObject* parent = nullptr);
};
