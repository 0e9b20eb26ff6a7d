#include "TsuiBuiltInFileTheme.h"

namespace {
const QColor kActiveCaption(0xFF, 0xFF, 0xFF);
// Windows' inactive caption text colour (COLOR_INACTIVECAPTIONTEXT).
const QColor kInactiveCaption(0xD4, 0xD0, 0xC8);
}  // namespace

TsuiBuiltInFileTheme::TsuiBuiltInFileTheme(QObject* parent) : QObject(parent) { sui::Skin(); }

QColor TsuiBuiltInFileTheme::CaptionColour(bool active) { return active ? kActiveCaption : kInactiveCaption; }
