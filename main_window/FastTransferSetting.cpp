#include "FastTransferSetting.h"

#include <QSettings>

namespace fast_transfer_setting {
bool Load() {
  const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, kOrganisation,
                           kApplication);
  return settings.value(kKey, false).toBool();
}

void Save(bool on) {
  QSettings settings(QSettings::NativeFormat, QSettings::UserScope, kOrganisation, kApplication);
  settings.setValue(kKey, on);
  settings.sync();
}

}  // namespace fast_transfer_setting
