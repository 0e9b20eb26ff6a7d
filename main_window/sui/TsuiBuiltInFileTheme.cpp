#include "TsuiBuiltInFileTheme.h"

TsuiBuiltInFileTheme::TsuiBuiltInFileTheme(QObject* parent) : QObject(parent) {}
