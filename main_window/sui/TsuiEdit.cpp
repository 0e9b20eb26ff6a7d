#include "TsuiEdit.h"

TsuiEdit::TsuiEdit(QWidget* parent) : QLineEdit(parent) {}
