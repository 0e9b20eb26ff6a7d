// The one choice the window remembers between runs: whether a DSP upload that
// Send starts uses the fast transfer (DspPacing::AckDriven). Off until the
// user turns it on.
//
// Stored with QSettings in the user's native settings (a file under
// ~/.config on Linux, the registry on Windows) under the organisation and
// application names below; nothing else is stored. A test points
// QSettings::setPath at a scratch folder first.
//
// GUI thread only (a QCoreApplication must exist).
#pragma once

#include <QString>

namespace fast_transfer_setting {

inline const QString kOrganisation = QStringLiteral("ZARN");
inline const QString kApplication = QStringLiteral("Multi-Loader");
inline const QString kKey = QStringLiteral("upload/fastDspTransfer");

// The stored choice; false when none is stored or it is unreadable.
bool Load();
// Stores the choice at once (not only when the program ends), so a crash
// later cannot lose it.
void Save(bool on);

}  // namespace fast_transfer_setting
