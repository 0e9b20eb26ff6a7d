#include "RecordSetting.h"

#include <QSettings>

#include "FastTransferSetting.h"

namespace record_setting {

bool On() {
  const QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                           fast_transfer_setting::kOrganisation,
                           fast_transfer_setting::kApplication);
  return settings.value(kOnKey, false).toBool() && !settings.value(kFileKey).toString().isEmpty();
}

QString File() {
  const QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                           fast_transfer_setting::kOrganisation,
                           fast_transfer_setting::kApplication);
  return settings.value(kFileKey).toString();
}

void Save(bool on, const QString& file) {
  QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                     fast_transfer_setting::kOrganisation, fast_transfer_setting::kApplication);
  settings.setValue(kOnKey, on);
  settings.setValue(kFileKey, file);
  settings.sync();
}

}  // namespace record_setting
