#include "TsuiMemo.h"

TsuiMemo::TsuiMemo(QWidget* parent) : QPlainTextEdit(parent) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}
