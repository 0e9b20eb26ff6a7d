// The window's record of uploads: whether "Record uploads..." is on and the
// CSV file it appends to (UploadRecord.h). Both are remembered between runs
// beside the "Fast DSP transfer" choice (FastTransferSetting.h: the same
// QSettings organisation and application); the file stays remembered while
// recording is off, so turning it on again offers the same file.
//
// GUI thread only (a QCoreApplication must exist).
#pragma once

#include <QString>

namespace record_setting {

inline const QString kOnKey = QStringLiteral("upload/recordUploads");
inline const QString kFileKey = QStringLiteral("upload/recordFile");

// Recording is on and has a file; false when nothing is stored.
bool On();
// The record file last chosen; "" when none.
QString File();
// Stores both at once, so a crash later cannot lose them.
void Save(bool on, const QString& file);

}  // namespace record_setting
