#include "TsuiEdit.h"

#include "FramedText.h"
#include "SuiFonts.h"

#include <QApplication>
#include <QPalette>

TsuiEdit::TsuiEdit(QWidget* parent) : QLineEdit(parent) {
    setFrame(false);
    setFont(sui::EditFont());
    setStyleSheet(sui::FramedTextStyle("TsuiEdit", InfoBackground(),
                                       QApplication::palette().color(QPalette::WindowText)));
}

QColor TsuiEdit::InfoBackground() { return QApplication::palette().color(QPalette::ToolTipBase); }
